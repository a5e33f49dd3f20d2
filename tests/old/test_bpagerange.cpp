#include "BPageRange.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "UKeyStream.h"
#include "job_test_support.h"

using job_test::Hex;
using job_test::Stream;

namespace {

BPageRange* Range(int first, int count, const ustring& name = "", int style = 'N') {
    auto* range = new BPageRange;
    range->SetFirstPage(first);
    range->SetPageCount(count);
    range->SetSectionName(name);
    range->SetStyle(style);
    return range;
}

using job_test::ReadStream;

// Section name, first page, count, style and absolute first page.
std::tuple<ustring, int, int, int, int> Fields(const BPageRange& r) {
    return {r.GetSectionName(), r.GetFirstPage(), r.GetPageCount(), r.GetStyle(), r.GetAbsoluteFirstPage()};
}
using F = std::tuple<ustring, int, int, int, int>;

class TestItem : public BPageItem {
public:
    TestItem(int page, int tag) : BPageItem(page), tag_(tag) {}
    void PageItemKeyStreamOut(UKeyOutStream& out) const override { out << UKey('t', 'g') << tag_; }

private:
    int tag_;
};

}  // namespace

TEST(BPageRangeList, EmptySectionsListIsAnEmptyRecordAndReadsBackEmpty) {
    BPageRangeList list;
    std::string bytes = Stream([&](UKeyOutStream& out) { list.PageRangeListKeyStreamOutSections(out); });
    EXPECT_EQ(Hex(bytes.substr(13)), "4C 58 FF 00 00 00 00 06");

    BPageRangeList back;
    ReadStream(bytes, [&](UKeyInStream& in) { back.PageRangeListKeyStreamInSections(in); });
    EXPECT_TRUE(back.empty());
    // A stream without the record reads as empty too.
    ReadStream(Stream([](UKeyOutStream&) {}),
               [&](UKeyInStream& in) { back.PageRangeListKeyStreamInSections(in); });
    EXPECT_TRUE(back.empty());
}

TEST(BPageRangeList, SectionsRoundTripAndNumberTheirPagesFromOne) {
    BPageRangeList list;
    list.Insert(Range(3, 4, "Front", 'R'));
    list.Insert(Range(1, 2, "Body"));
    std::string bytes = Stream([&](UKeyOutStream& out) { list.PageRangeListKeyStreamOutSections(out); });

    BPageRangeList back;
    ReadStream(bytes, [&](UKeyInStream& in) { back.PageRangeListKeyStreamInSections(in); });
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(Fields(back[0]), (F{"Front", 3, 4, 'R', 1}));
    EXPECT_EQ(Fields(back[1]), (F{"Body", 1, 2, 'N', 5}));
}

TEST(BPageRangeList, ReadingAppendsAndAMissingStyleReadsAsZero) {
    std::string bytes = Stream([](UKeyOutStream& out) {
        out << UKeyOutStream::StartRecord(UKey('L', 'X'));
        out << UKey('s', 'S') << 1 << UKey('s', 'N') << 3 << UKey('s', 'P') << ustring("A");
        out.Pop();
    });
    BPageRangeList list;
    list.Insert(Range(9, 9));
    ReadStream(bytes, [&](UKeyInStream& in) { list.PageRangeListKeyStreamInSections(in); });
    ASSERT_EQ(list.size(), 2u);
    // The running total starts afresh with each read.
    EXPECT_EQ(Fields(list[1]), (F{"A", 1, 3, 0, 1}));
}

TEST(BPageRangeAbsoluteList, WritesOnlyFirstPageAndCount) {
    BPageRangeAbsoluteList list;
    list.Insert(Range(5, 256, "ignored"));
    std::string bytes = Stream([&](UKeyOutStream& out) { list.PageRangeListKeyStreamOut(out); });
    EXPECT_EQ(Hex(bytes.substr(13)), "50 52 FF 00 00 00 0B 06 73 53 01 02 05 73 4E 02 02 01 00");
}

TEST(BPageRangeAbsoluteList, RangesWrittenWithSectionsReadWithStylePlusAndNoName) {
    BPageRangeList sections;
    sections.Insert(Range(7, 2, "Cover", 'R'));
    sections.Insert(Range(9, 1, "Back", 'R'));
    // The same runs under 'PR' instead of 'LX'.
    std::string bytes = Stream([&](UKeyOutStream& out) {
        out << UKeyOutStream::StartRecord(UKey('P', 'R'));
        for (size_t i = 0; i < sections.size(); ++i) sections[i].PageRangeKeyStreamOut(out, true);
        out.Pop();
    });
    BPageRangeAbsoluteList list;
    ReadStream(bytes, [&](UKeyInStream& in) { list.PageRangeListKeyStreamIn(in); });
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(Fields(list[0]), (F{"", 7, 2, '+', 7}));
    EXPECT_EQ(Fields(list[1]), (F{"", 9, 1, '+', 9}));
}

TEST(BPageRangeAbsoluteList, AbsolutePageCountSumsCounts) {
    BPageRangeAbsoluteList list;
    EXPECT_EQ(list.GetAbsolutePageCount(), 0);
    list.Insert(Range(1, 4));
    list.Insert(Range(5, 0));
    list.Insert(Range(5, 2));
    EXPECT_EQ(list.GetAbsolutePageCount(), 6);
}

TEST(BPageItemList, WritesTheItemsOfOnePageInListOrder) {
    BPageItemList items;
    EXPECT_EQ(Hex(Stream([&](UKeyOutStream& out) { items.PageItemListKeyStreamOut(out, -1); }).substr(13)),
              "00 8C FF 00 00 00 00 06");

    items.Insert(std::make_shared<TestItem>(2, 7));
    items.Insert(std::make_shared<TestItem>(3, 8));
    items.Insert(nullptr);
    items.Insert(std::make_shared<TestItem>(2, 9));
    std::string bytes = Stream([&](UKeyOutStream& out) { items.PageItemListKeyStreamOut(out, 2); });
    // Two runs of 'tg': 7, then 9.
    EXPECT_EQ(Hex(bytes.substr(13)), "00 8C FF 00 00 00 0A 06 74 67 01 02 07 74 67 01 02 09");
}
