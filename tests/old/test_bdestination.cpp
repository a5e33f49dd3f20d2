#include "BDestination.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <vector>

#include "BGroup.h"
#include "BJobFile.h"
#include "UKeyStream.h"
#include "job_test_support.h"

using job_test::Hex;
using job_test::Stream;

namespace {

// Each destination as one run of the record 'LL', as a group writes them.
std::string WriteRuns(const std::vector<const BDestination*>& destinations) {
    return Stream([&](UKeyOutStream& out) {
        out << UKeyOutStream::StartRecord(UKey('L', 'L'));
        for (const BDestination* d : destinations) d->DestinationKeyStreamOut(out);
        out.Pop();
    });
}

template <class Body>
std::string WriteRun(Body body) {
    return Stream([&](UKeyOutStream& out) {
        out << UKeyOutStream::StartRecord(UKey('L', 'L'));
        body(out);
        out.Pop();
    });
}

std::vector<std::unique_ptr<BDestination>> ReadRuns(BJobFile& job, const std::string& bytes) {
    std::vector<std::unique_ptr<BDestination>> result;
    std::istringstream is(bytes);
    UKeyInStream in(is);
    in >> UKeyInStream::StartRecord(UKey('L', 'L'));
    while (in.Next()) {
        result.push_back(std::make_unique<BDestination>(job));
        result.back()->DestinationKeyStreamIn(in);
    }
    in.Pop();
    return result;
}

// Type and raw bytes of the first run's 'ID' field.
std::pair<int, std::string> StoredIdentifier(const std::string& bytes) {
    std::istringstream is(bytes);
    UKeyInStream in(is);
    in >> UKeyInStream::StartRecord(UKey('L', 'L'));
    in >> UKey('I', 'D');
    UKeyInStream::FieldInfo info;
    EXPECT_TRUE(in.PeekField(info));
    std::string raw;
    in.Read8BitStringWithUnknownEncoding(raw);
    in.Pop();
    return {info.type, raw};
}

}  // namespace

struct IdentifierCase {
    const char* written;
    int storedType;
    const char* storedHex;
    const char* readBack;
};

class DestinationIdentifier : public testing::TestWithParam<IdentifierCase> {};

TEST_P(DestinationIdentifier, TravelsAsIntegerOnlyWhenDigitsFitAnInt) {
    const IdentifierCase& c = GetParam();
    BJobFile job;
    BDestination d(job);
    d.SetIdentifier(c.written);
    const std::string bytes = WriteRuns({&d});
    auto [type, raw] = StoredIdentifier(bytes);
    EXPECT_EQ(type, c.storedType);
    EXPECT_EQ(Hex(raw), c.storedHex);
    auto back = ReadRuns(job, bytes);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0]->GetIdentifier(), c.readBack);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DestinationIdentifier,
    testing::Values(IdentifierCase{"0042", 2, "2A", "42"}, IdentifierCase{"", 2, "", "0"},
                    IdentifierCase{"2147483647", 2, "7F FF FF FF", "2147483647"},
                    // Beyond the integer range: a string, longer than an integer, so read as text.
                    IdentifierCase{"2147483648", 5, "32 31 34 37 34 38 33 36 34 38", "2147483648"},
                    IdentifierCase{"4294967295", 5, "34 32 39 34 39 36 37 32 39 35", "4294967295"},
                    IdentifierCase{"A17-X", 5, "41 31 37 2D 58", "A17-X"},
                    // A string of up to four bytes fits the integer read and comes back as its number.
                    IdentifierCase{"A17", 5, "41 31 37", "4272439"},
                    IdentifierCase{"AB", 5, "41 42", "16706"}));

TEST(BDestination, ForeignIntegerIdentifiers) {
    BJobFile job;
    // -1 is the marker of "no integer", so the field is taken as the string of its four bytes.
    auto minusOne = ReadRuns(job, WriteRun([](UKeyOutStream& out) { out << UKey('I', 'D') << -1; }));
    EXPECT_EQ(minusOne[0]->GetIdentifier(), ustring("\xFF\xFF\xFF\xFF"));
    auto negative = ReadRuns(job, WriteRun([](UKeyOutStream& out) { out << UKey('I', 'D') << -5; }));
    EXPECT_EQ(negative[0]->GetIdentifier(), "-5");
    auto absent = ReadRuns(job, WriteRun([](UKeyOutStream& out) { out << UKey('C', 'C') << ustring("NL"); }));
    EXPECT_EQ(absent[0]->GetIdentifier(), "");
}

TEST(BDestination, WritesItsKeysInOrderAsOneRun) {
    BJobFile job;
    BDestination d(job);
    USharedDataCmt comment;
    comment.fUP = "x";
    d.AddComment(comment);
    std::istringstream is(WriteRuns({&d}));
    UKeyInStream in(is);
    in >> UKeyInStream::StartRecord(UKey('L', 'L'));
    std::string keys;
    for (const auto& field : in.IndexedFields()) {
        keys += static_cast<char>(field.key >> 8);
        keys += static_cast<char>(field.key & 0xFF);
        keys += ' ';
    }
    EXPECT_EQ(keys, "CC RC R1 NC N1 SC S1 St CN Co NS SX SY Ex MK Ro Bl Br Bt Bb Tl Tr Tt Tb ID UF ");
    in.Pop();
}

TEST(BDestination, RoundTripKeepsEveryStoredField) {
    BJobFile job;
    BDestination d(job);
    d.SetCountryCode("NL");
    d.SetPublisherCode("P");
    d.SetPublisherDetail("Publisher");
    d.SetPublicationCode("Q");
    d.SetPublicationDetail("Publication");
    d.SetSectionCode("S");
    d.SetSectionDetail("Section");
    d.SetSt(3);
    d.SetCN("cn");
    d.SetCo(-7);
    d.SetNS("ns");
    d.SetPageSize(210, 297);
    d.SetExported(true);
    d.SetMK("mk");
    d.SetRo(true);
    d.SetBleeds(1, 2, 3, 4);
    d.SetTypeAreaMargins(5, 6, 7, 8);
    d.SetIdentifier("D-100");
    USharedDataCmt a;
    a.fUP = "page";
    a.fUf = "f";
    a.fUT = "t";
    a.fUV = "v";
    a.fRo = true;
    USharedDataCmt b;
    b.fUP = "other";
    d.AddComment(a);
    d.AddComment(b);

    // Every value is distinct, so a field read into the wrong place changes the second write.
    const std::string bytes = WriteRuns({&d, &d});
    auto back = ReadRuns(job, bytes);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(Hex(WriteRuns({back[0].get(), back[1].get()})), Hex(bytes));
    EXPECT_EQ(back[1]->GetComments(), (std::vector<USharedDataCmt>{a, b}));
}

TEST(BDestination, SymmetricBleedsAndTypeAreaSizes) {
    BJobFile job;
    auto back = ReadRuns(job, WriteRun([](UKeyOutStream& out) {
                             out << UKey('S', 'X') << 210.0 << UKey('S', 'Y') << 297.0;
                             out << UKey('B', 'X') << 3.0 << UKey('B', 'Y') << 5.0;
                             out << UKey('B', 'l') << 99.0;  // ignored beside 'BX'
                             out << UKey('T', 'X') << 190.0 << UKey('T', 'Y') << 277.0;
                         }));
    const BDestination& d = *back[0];
    using V = std::vector<double>;
    EXPECT_EQ((V{d.GetBleedLeft(), d.GetBleedRight(), d.GetBleedTop(), d.GetBleedBottom()}), (V{3, 3, 5, 5}));
    EXPECT_EQ((V{d.GetTypeAreaLeft(), d.GetTypeAreaRight(), d.GetTypeAreaTop(), d.GetTypeAreaBottom()}),
              (V{10, 10, 10, 10}));
    EXPECT_EQ(d.GetRequestedBleedWidth(), 216);
    EXPECT_EQ(d.GetRequestedBleedDepth(), 307);
}

TEST(BDestination, CommentsWithoutOrWithTheDroppedPageAreSkipped) {
    BJobFile job;
    auto back = ReadRuns(job, WriteRun([](UKeyOutStream& out) {
                             out << UKeyOutStream::StartRecord(UKey('U', 'F'));
                             // Runs end where a key repeats: (UP kept, UV), (UP RDts, Uf), (UP empty, Uf),
                             // (Uf).
                             out << UKey('U', 'P') << ustring("kept") << UKey('U', 'V') << ustring("d");
                             out << UKey('U', 'P') << ustring("RDts") << UKey('U', 'f') << ustring("a");
                             out << UKey('U', 'P') << ustring("") << UKey('U', 'f') << ustring("b");
                             out << UKey('U', 'f') << ustring("c");
                             out.Pop();
                         }));
    const auto& comments = back[0]->GetComments();
    ASSERT_EQ(comments.size(), 1u);
    EXPECT_EQ(comments[0].fUP, "kept");
    EXPECT_EQ(comments[0].fUV, "d");
    EXPECT_EQ(comments[0].fUf, "");
    EXPECT_EQ(comments[0].fIndex, -1);
}

TEST(BDestination, SettingACodeClearsItsDetail) {
    BJobFile job;
    BDestination d(job);
    d.SetPublisherDetail("p");
    d.SetPublicationDetail("q");
    d.SetSectionDetail("s");
    d.SetCountryCode("DE");
    d.SetPublisherCode("P");
    EXPECT_EQ(d.GetPublisherDetail(), "");
    EXPECT_EQ(d.GetPublicationDetail(), "q");
    d.SetPublicationCode("Q");
    EXPECT_EQ(d.GetPublicationDetail(), "");
    EXPECT_EQ(d.GetSectionDetail(), "s");
    d.SetSectionCode("S");
    EXPECT_EQ(d.GetSectionDetail(), "");
    EXPECT_FALSE(d.WantsGWGXMPMetadata());
}

TEST(BDestination, GroupMinimumComparisons) {
    BJobFile job;
    BGroup group(&job);
    BDestination* d = group.InsertNewDestination();
    EXPECT_EQ(d->GetGroup(), &group);
    EXPECT_FALSE(d->IsNarrowerThanGroupMinimum());  // no page width
    d->SetPageSize(210, 297);
    EXPECT_TRUE(d->IsNarrowerThanGroupMinimum());  // minimum 0
    EXPECT_TRUE(d->IsShorterThanGroupMinimum());
    group.ComputeGroupSize();
    EXPECT_FALSE(d->IsNarrowerThanGroupMinimum());  // equal to the minimum
    BDestination* smaller = group.InsertNewDestination();
    smaller->SetPageSize(200, 300);
    EXPECT_TRUE(smaller->IsNarrowerThanGroupMinimum());
    EXPECT_FALSE(smaller->IsShorterThanGroupMinimum());
}

TEST(BDestinationList, IsAllExported) {
    BJobFile job;
    BGroup group(&job);
    EXPECT_TRUE(group.IsAllExported());
    group.InsertNewDestination()->SetExported(true);
    EXPECT_TRUE(group.IsAllExported());
    group.InsertNewDestination();
    EXPECT_FALSE(group.IsAllExported());
}

namespace {

// Entries as (identifier, first page of their one range).
using Entries = std::vector<std::pair<int, int>>;

std::string WriteEntries(const Entries& entries) {
    return Stream([&](UKeyOutStream& out) {
        out << UKeyOutStream::StartRecord(UKey('E', 'L'));
        for (auto [id, page] : entries) {
            out << UKey('I', 'D') << id;
            out << UKeyOutStream::StartRecord(UKey('P', 'R'));
            out << UKey('s', 'S') << page << UKey('s', 'N') << 1;
            out.Pop();
        }
        out.Pop();
    });
}

Entries ReadEntries(BExportedDestinationList& list, const std::string& bytes) {
    std::istringstream is(bytes);
    UKeyInStream in(is);
    list.ExportedDestinationListKeyStreamIn(in);
    Entries entries;
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].GetPages()[0].GetStyle(), '+');
        entries.emplace_back(list[i].GetID(), list[i].GetPages()[0].GetFirstPage());
    }
    return entries;
}

}  // namespace

TEST(BExportedDestinationList, ReadingKeepsEntriesSortedNewestFirstAmongEqualIdentifiers) {
    BExportedDestinationList list;
    EXPECT_EQ(ReadEntries(list, WriteEntries({{5, 0}, {2, 10}, {5, 20}, {1, 30}})),
              (Entries{{1, 30}, {2, 10}, {5, 20}, {5, 0}}));

    // Written back in list order and read again: entries with equal identifiers swap places.
    BExportedDestinationList back;
    std::string again = Stream([&](UKeyOutStream& out) { list.ExportedDestinationListKeyStreamOut(out); });
    EXPECT_EQ(ReadEntries(back, again), (Entries{{1, 30}, {2, 10}, {5, 0}, {5, 20}}));

    // A second read into the same list: new entries go before held ones with the same identifier.
    EXPECT_EQ(ReadEntries(back, WriteEntries({{7, 40}, {2, 50}, {0, 60}})),
              (Entries{{0, 60}, {1, 30}, {2, 50}, {2, 10}, {5, 0}, {5, 20}, {7, 40}}));
}
