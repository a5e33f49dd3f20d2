#include "job/BDestination.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "TestProblemDescriptions.h"
#include "job/BGroup.h"
#include "job/BJobFile.h"
#include "job_test_support.h"

using job_test::ReadStream;
using job_test::spacedHex;

namespace {

using Writer = std::function<void(UKeyOutStream&)>;

// A stream whose record 'LL' holds what `body` writes: one run per destination, as a group writes.
std::string Runs(const Writer& body) {
    return job_test::RecordStream(UKey('L', 'L'), body);
}

std::string WriteRuns(const std::vector<const BDestination*>& destinations) {
    return Runs([&](UKeyOutStream& out) {
        for (const BDestination* d : destinations) d->DestinationKeyStreamOut(out);
    });
}

std::vector<std::unique_ptr<BDestination>> ReadRuns(BJobFile& job, const std::string& bytes) {
    return ReadStream(bytes, [&](UKeyInStream& in) {
        std::vector<std::unique_ptr<BDestination>> result;
        in >> UKeyInStream::StartRecord(UKey('L', 'L'));
        while (in.Next()) {
            result.push_back(std::make_unique<BDestination>(job));
            result.back()->DestinationKeyStreamIn(in);
        }
        return result;
    });
}

TEST(BDestination, IdentifierTravelsAsIntegerOnlyWhenDigitsFitAnInt) {
    const struct {
        const char* written;
        int storedType;
        const char *storedHex, *readBack;
    } cases[] = {
        {"0042", 2, "2A", "42"},
        {"", 2, "", "0"},
        {"2147483647", 2, "7F FF FF FF", "2147483647"},
        // Beyond the integer range: a string, longer than an integer, so read as text.
        {"2147483648", 5, "32 31 34 37 34 38 33 36 34 38", "2147483648"},
        {"A17-X", 5, "41 31 37 2D 58", "A17-X"},
        // A string of up to four bytes fits the integer read and comes back as its number.
        {"A17", 5, "41 31 37", "4272439"},
    };
    for (const auto& c : cases) {
        BJobFile job;
        BDestination d(job);
        d.SetIdentifier(c.written);
        const std::string bytes = WriteRuns({&d});
        const auto [type, raw] = ReadStream(bytes, [](UKeyInStream& in) {
            in >> UKeyInStream::StartRecord(UKey('L', 'L')) >> UKey('I', 'D');
            UKeyInStream::FieldInfo info;
            EXPECT_TRUE(in.PeekField(info));
            std::string text;
            in.Read8BitStringWithUnknownEncoding(text);
            return std::pair{info.type, text};
        });
        EXPECT_EQ(std::pair(int(type), spacedHex(raw)), std::pair(c.storedType, std::string(c.storedHex)))
            << c.written;
        EXPECT_EQ(ReadRuns(job, bytes)[0]->GetIdentifier(), c.readBack);
    }
    // -1 is the marker of "no integer", so the field is taken as the string of its four bytes.
    const std::pair<Writer, ustring> foreign[] = {
        {[](UKeyOutStream& out) { out << UKey('I', 'D') << -1; }, ustring("\xFF\xFF\xFF\xFF")},
        {[](UKeyOutStream& out) { out << UKey('I', 'D') << -5; }, "-5"},
        {[](UKeyOutStream& out) { out << UKey('C', 'C') << ustring("NL"); }, ""},
    };
    BJobFile job;
    for (const auto& [write, identifier] : foreign)
        EXPECT_EQ(ReadRuns(job, Runs(write))[0]->GetIdentifier(), identifier);
}

// Every field is written whatever its value, the comments only when there are some.
TEST(BDestination, FieldsInKeyOrder) {
    BJobFile job;
    BDestination d(job);
    d.AddComment({-1, "page", "f", "t", "v", "", true});
    const std::string keys = ReadStream(WriteRuns({&d}), [](UKeyInStream& in) {
        std::string keys;
        in >> UKeyInStream::StartRecord(UKey('L', 'L'));
        for (const auto& field : in.IndexedFields())
            keys += std::string{char(field.key >> 8), char(field.key), ' '};
        return keys;
    });
    EXPECT_EQ(keys, "CC RC R1 NC N1 SC S1 St CN Co NS SX SY Ex MK Ro Bl Br Bt Bb Tl Tr Tt Tb ID UF ");
}

TEST(BDestination, SymmetricBleedsTypeAreaSizesAndDroppedComments) {
    BJobFile job;
    auto back = ReadRuns(job, Runs([](UKeyOutStream& out) {
                             out << UKey('S', 'X') << 210.0 << UKey('S', 'Y') << 297.0;
                             out << UKey('B', 'X') << 3.0 << UKey('B', 'Y') << 5.0;
                             out << UKey('B', 'l') << 99.0;  // ignored beside 'BX'
                             out << UKey('T', 'X') << 190.0 << UKey('T', 'Y') << 277.0;
                             // Comment runs: (UP kept, UV), (UP RDts, Uf), (UP empty, Uf), (Uf).
                             out << UKeyOutStream::StartRecord(UKey('U', 'F'));
                             out << UKey('U', 'P') << ustring("kept") << UKey('U', 'V') << ustring("d");
                             out << UKey('U', 'P') << ustring("RDts") << UKey('U', 'f') << ustring("a");
                             out << UKey('U', 'P') << ustring("") << UKey('U', 'f') << ustring("b");
                             out << UKey('U', 'f') << ustring("c");
                             out.Pop();
                         }));
    const BDestination& d = *back[0];
    using V = std::vector<double>;
    EXPECT_EQ((V{d.GetBleedLeft(), d.GetBleedRight(), d.GetBleedTop(), d.GetBleedBottom()}), (V{3, 3, 5, 5}));
    EXPECT_EQ((V{d.GetTypeAreaLeft(), d.GetTypeAreaRight(), d.GetTypeAreaTop(), d.GetTypeAreaBottom()}),
              (V{10, 10, 10, 10}));
    EXPECT_EQ((V{d.GetRequestedBleedWidth(), d.GetRequestedBleedDepth()}), (V{216, 307}));
    ASSERT_EQ(d.GetComments().size(), 1u);
    const USharedDataCmt& kept = d.GetComments()[0];
    EXPECT_EQ(std::tuple(kept.fUP, kept.fUV, kept.fUf, kept.fIndex),
              std::tuple(ustring("kept"), ustring("d"), ustring(), -1));
}

TEST(BDestination, SettingACodeClearsItsDetail) {
    BJobFile job;
    BDestination d(job);
    const auto details = [&] {
        return std::tuple(d.GetPublisherDetail(), d.GetPublicationDetail(), d.GetSectionDetail());
    };
    d.SetPublisherDetail("p");
    d.SetPublicationDetail("q");
    d.SetSectionDetail("s");
    d.SetPublisherCode("P");
    EXPECT_EQ(details(), std::tuple(ustring(), ustring("q"), ustring("s")));
    d.SetPublicationCode("Q");
    d.SetSectionCode("S");
    EXPECT_EQ(details(), std::tuple(ustring(), ustring(), ustring()));
}

TEST(BDestination, AReleasedDestinationComesBackAsNew) {
    BJobFile first, second;
    BGroup group(&first);
    BDestination* used = BDestination::Make(first);
    used->SetGroup(group);
    for (auto set : {&BDestination::SetCountryCode, &BDestination::SetPublicationCode, &BDestination::SetSectionCode,
                     &BDestination::SetPublisherDetail, &BDestination::SetPublicationDetail,
                     &BDestination::SetSectionDetail, &BDestination::SetCN, &BDestination::SetNS,
                     &BDestination::SetMK, &BDestination::SetIdentifier})
        (used->*set)("12");
    used->SetPublisherCode(ustring(1000, 'x'));  // too long a text to keep the room of
    for (auto set : {&BDestination::SetSt, &BDestination::SetCo, &BDestination::SetUnstoredInt}) (used->*set)(3);
    used->SetRo(true);
    used->SetExported(true);
    used->SetPageSize(210, 297);
    used->SetBleeds(1, 2, 3, 4);
    used->SetTypeAreaMargins(5, 6, 7, 8);
    used->AddComment({-1, "page", "f", "t", "v", "", true});
    used->GetCheckSettings().Insert(new BCheckSetting("check"));
    ASSERT_NE(ticket_builder::installTestProblemDescriptions(), nullptr);
    ASSERT_NE(used->GetCheckSettings().FindCheckSetting("MaxPlates"), nullptr);  // made from defaults
    BDestination::Release(used);

    // The last one released is the next one made: it must hold nothing of its past.
    BDestination* renewed = BDestination::Make(second);
    const BDestination fresh(second);
    EXPECT_EQ(renewed, used);
    EXPECT_LT(renewed->GetPublisherCode().capacity(), 1000u);
    EXPECT_EQ(&renewed->GetJob(), &second);
    EXPECT_EQ(renewed->GetGroup(), nullptr);
    EXPECT_EQ(std::tuple(renewed->GetUnstoredInt(), renewed->GetComments().size(),
                         renewed->GetCheckSettings().size(), renewed->GetCheckSettings().defaultSettings().size()),
              std::tuple(0, 0u, 0u, 0u));
    EXPECT_EQ(spacedHex(WriteRuns({renewed})), spacedHex(WriteRuns({&fresh})));
    BDestination::Release(renewed);
}

TEST(BExportedDestinationList, ReadingKeepsEntriesSortedNewestFirstAmongEqualIdentifiers) {
    // Entries as (identifier, first page of their one range).
    using Entries = std::vector<std::pair<int, int>>;
    const auto write = [](const Entries& entries) {
        return job_test::RecordStream(UKey('E', 'L'), [&](UKeyOutStream& out) {
            for (auto [id, page] : entries) {
                out << UKey('I', 'D') << id << UKeyOutStream::StartRecord(UKey('P', 'R'));
                out << UKey('s', 'S') << page << UKey('s', 'N') << 1;
                out.Pop();
            }
        });
    };
    const auto read = [](BExportedDestinationList& list, const std::string& bytes) {
        ReadStream(bytes, [&](UKeyInStream& in) { list.ExportedDestinationListKeyStreamIn(in); });
        Entries entries;
        for (size_t i = 0; i < list.size(); ++i) {
            EXPECT_EQ(list[i].GetPages()[0].GetStyle(), '+');
            entries.emplace_back(list[i].GetID(), list[i].GetPages()[0].GetFirstPage());
        }
        return entries;
    };
    BExportedDestinationList list;
    EXPECT_EQ(read(list, write({{5, 0}, {2, 10}, {5, 20}, {1, 30}})),
              (Entries{{1, 30}, {2, 10}, {5, 20}, {5, 0}}));
}

}  // namespace
