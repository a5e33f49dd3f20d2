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
    d.SetUnstoredInt(9);
    USharedDataCmt a;
    a.fUP = "page";
    a.fUf = "f";
    a.fUT = "t";
    a.fUV = "v";
    a.fRo = true;
    USharedDataCmt b;
    b.fUP = "other";
    b.fUnstored = "dropped";
    d.AddComment(a);
    d.AddComment(b);

    auto back = ReadRuns(job, WriteRuns({&d, &d}));
    ASSERT_EQ(back.size(), 2u);
    const BDestination& r = *back[1];
    EXPECT_EQ(r.GetCountryCode(), "NL");
    EXPECT_EQ(r.GetPublisherCode(), "P");
    EXPECT_EQ(r.GetPublisherDetail(), "Publisher");
    EXPECT_EQ(r.GetPublicationCode(), "Q");
    EXPECT_EQ(r.GetPublicationDetail(), "Publication");
    EXPECT_EQ(r.GetSectionCode(), "S");
    EXPECT_EQ(r.GetSectionDetail(), "Section");
    EXPECT_EQ(r.GetSt(), 3);
    EXPECT_EQ(r.GetCN(), "cn");
    EXPECT_EQ(r.GetCo(), -7);
    EXPECT_EQ(r.GetNS(), "ns");
    EXPECT_EQ(r.GetPageWidth(), 210);
    EXPECT_EQ(r.GetPageHeight(), 297);
    EXPECT_TRUE(r.IsExported());
    EXPECT_EQ(r.GetMK(), "mk");
    EXPECT_TRUE(r.GetRo());
    EXPECT_EQ(r.GetBleedLeft(), 1);
    EXPECT_EQ(r.GetBleedRight(), 2);
    EXPECT_EQ(r.GetBleedTop(), 3);
    EXPECT_EQ(r.GetBleedBottom(), 4);
    EXPECT_EQ(r.GetTypeAreaLeft(), 5);
    EXPECT_EQ(r.GetTypeAreaRight(), 6);
    EXPECT_EQ(r.GetTypeAreaTop(), 7);
    EXPECT_EQ(r.GetTypeAreaBottom(), 8);
    EXPECT_EQ(r.GetIdentifier(), "D-100");
    EXPECT_EQ(r.GetUnstoredInt(), 0);
    b.fUnstored.clear();
    EXPECT_EQ(r.GetComments(), (std::vector<USharedDataCmt>{a, b}));
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
    EXPECT_EQ(d.GetBleedLeft(), 3);
    EXPECT_EQ(d.GetBleedRight(), 3);
    EXPECT_EQ(d.GetBleedTop(), 5);
    EXPECT_EQ(d.GetBleedBottom(), 5);
    EXPECT_EQ(d.GetTypeAreaLeft(), 10);
    EXPECT_EQ(d.GetTypeAreaRight(), 10);
    EXPECT_EQ(d.GetTypeAreaTop(), 10);
    EXPECT_EQ(d.GetTypeAreaBottom(), 10);
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

TEST(BExportedDestinationList, ReadingKeepsEntriesSortedNewestFirstAmongEqualIdentifiers) {
    std::string bytes = Stream([](UKeyOutStream& out) {
        out << UKeyOutStream::StartRecord(UKey('E', 'L'));
        const int ids[] = {5, 2, 5, 1};
        for (int i = 0; i < 4; ++i) {
            out << UKey('I', 'D') << ids[i];
            out << UKeyOutStream::StartRecord(UKey('P', 'R'));
            out << UKey('s', 'S') << 10 * i << UKey('s', 'N') << 1;
            out.Pop();
        }
        out.Pop();
    });
    BExportedDestinationList list;
    {
        std::istringstream is(bytes);
        UKeyInStream in(is);
        list.ExportedDestinationListKeyStreamIn(in);
    }
    ASSERT_EQ(list.size(), 4u);
    const int expectedIds[] = {1, 2, 5, 5};
    const int expectedFirstPages[] = {30, 10, 20, 0};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(list[i].GetID(), expectedIds[i]);
        ASSERT_EQ(list[i].GetPages().size(), 1u);
        EXPECT_EQ(list[i].GetPages()[0].GetFirstPage(), expectedFirstPages[i]);
        EXPECT_EQ(list[i].GetPages()[0].GetStyle(), '+');
    }

    // Written back in list order and read again: entries with equal identifiers swap places.
    std::string again = Stream([&](UKeyOutStream& out) { list.ExportedDestinationListKeyStreamOut(out); });
    BExportedDestinationList back;
    std::istringstream is(again);
    UKeyInStream in(is);
    back.ExportedDestinationListKeyStreamIn(in);
    ASSERT_EQ(back.size(), 4u);
    const int swappedFirstPages[] = {30, 10, 0, 20};
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(back[i].GetPages()[0].GetFirstPage(), swappedFirstPages[i]);
}
