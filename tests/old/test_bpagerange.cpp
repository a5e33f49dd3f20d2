#include "BPageRange.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "job_test_support.h"

using job_test::Range;
using job_test::ReadStream;
using job_test::spacedHex;
using job_test::Stream;

namespace {

// Each range's section name, first page, count, style and absolute first page.
using F = std::tuple<ustring, int, int, int, int>;
std::vector<F> Fields(const BOwnedPageRanges& list) {
    std::vector<F> fields;
    for (size_t i = 0; i < list.size(); ++i) {
        const BPageRange& r = list[i];
        fields.emplace_back(r.GetSectionName(), r.GetFirstPage(), r.GetPageCount(), r.GetStyle(),
                            r.GetAbsoluteFirstPage());
    }
    return fields;
}

// What follows the version field of a stream.
template <class Body>
std::string Content(Body body) {
    return spacedHex(Stream(body).substr(13));
}

class TestItem : public BPageItem {
public:
    TestItem(int page, int tag) : BPageItem(page), tag_(tag) {}
    void PageItemKeyStreamOut(UKeyOutStream& out) const override { out << UKey('t', 'g') << tag_; }

private:
    int tag_;
};

TEST(BPageRangeList, SectionsRoundTripNumberedFromOne) {
    BPageRangeList list;
    const auto write = [&](UKeyOutStream& out) { list.PageRangeListKeyStreamOutSections(out); };
    EXPECT_EQ(Content(write), "4C 58 FF 00 00 00 00 06");  // an empty record 'LX'
    BPageRangeList back;
    ReadStream(Stream(write), [&](UKeyInStream& in) { back.PageRangeListKeyStreamInSections(in); });
    EXPECT_TRUE(back.empty());

    list.Insert(Range(3, 4, "Front", 'R'));
    list.Insert(Range(1, 2, "Body"));
    ReadStream(Stream(write), [&](UKeyInStream& in) { back.PageRangeListKeyStreamInSections(in); });
    EXPECT_EQ(Fields(back), (std::vector<F>{{"Front", 3, 4, 'R', 1}, {"Body", 1, 2, 'N', 5}}));

    // Reading appends; the running total starts afresh and a missing style reads as zero.
    ReadStream(job_test::RecordStream(UKey('L', 'X'),
                                      [](UKeyOutStream& out) {
                                          out << UKey('s', 'S') << 1 << UKey('s', 'N') << 3 << UKey('s', 'P')
                                              << ustring("A");
                                      }),
               [&](UKeyInStream& in) { back.PageRangeListKeyStreamInSections(in); });
    EXPECT_EQ(Fields(back),
              (std::vector<F>{{"Front", 3, 4, 'R', 1}, {"Body", 1, 2, 'N', 5}, {"A", 1, 3, 0, 1}}));
}

TEST(BPageRangeAbsoluteList, WritesFirstPageAndCountAndReadsSectionsAsStylePlus) {
    BPageRangeAbsoluteList list;
    list.Insert(Range(5, 256, "ignored"));
    EXPECT_EQ(Content([&](UKeyOutStream& out) { list.PageRangeListKeyStreamOut(out); }),
              "50 52 FF 00 00 00 0B 06 73 53 01 02 05 73 4E 02 02 01 00");

    // Runs written with sections, under 'PR' instead of 'LX'.
    BPageRangeList sections;
    sections.Insert(Range(7, 2, "Cover", 'R'));
    sections.Insert(Range(9, 1, "Back", 'R'));
    const std::string bytes = job_test::RecordStream(UKey('P', 'R'), [&](UKeyOutStream& out) {
        for (size_t i = 0; i < sections.size(); ++i) sections[i].PageRangeKeyStreamOut(out, true);
    });
    BPageRangeAbsoluteList back;
    ReadStream(bytes, [&](UKeyInStream& in) { back.PageRangeListKeyStreamIn(in); });
    EXPECT_EQ(Fields(back), (std::vector<F>{{"", 7, 2, '+', 7}, {"", 9, 1, '+', 9}}));

    EXPECT_EQ(back.GetAbsolutePageCount(), 3);
    back.Insert(Range(5, 0));
    back.Insert(Range(5, 2));
    EXPECT_EQ(back.GetAbsolutePageCount(), 5);
}

TEST(BPageItemList, WritesTheItemsOfOnePageInListOrder) {
    BPageItemList items;
    EXPECT_EQ(Content([&](UKeyOutStream& out) { items.PageItemListKeyStreamOut(out, -1); }),
              "00 8C FF 00 00 00 00 06");
    items.Insert(std::make_shared<TestItem>(2, 7));
    items.Insert(std::make_shared<TestItem>(3, 8));
    items.Insert(nullptr);
    items.Insert(std::make_shared<TestItem>(2, 9));
    // Two runs of 'tg': 7, then 9.
    EXPECT_EQ(Content([&](UKeyOutStream& out) { items.PageItemListKeyStreamOut(out, 2); }),
              "00 8C FF 00 00 00 0A 06 74 67 01 02 07 74 67 01 02 09");
}

}  // namespace
