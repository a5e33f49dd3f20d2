#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "job/BPageRange.h"
#include "job/BTransparencyFlattener.h"
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
    for (size_t i = 0; i < list.size(); ++i)
        fields.emplace_back(list[i].GetSectionName(), list[i].GetFirstPage(), list[i].GetPageCount(),
                            list[i].GetStyle(), list[i].GetAbsoluteFirstPage());
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
    BPageRangeList list, back;
    const auto write = [&](UKeyOutStream& out) { list.PageRangeListKeyStreamOutSections(out); };
    EXPECT_EQ(Content(write), "4C 58 FF 00 00 00 00 06");  // an empty record 'LX'
    list.Insert(Range(3, 4, "Front", 'R'));
    list.Insert(Range(1, 2, "Body"));
    ReadStream(Stream(write), [&](UKeyInStream& in) { back.PageRangeListKeyStreamInSections(in); });
    EXPECT_EQ(Fields(back), (std::vector<F>{{"Front", 3, 4, 'R', 1}, {"Body", 1, 2, 'N', 5}}));
}

TEST(BPageRangeAbsoluteList, WritesFirstPageAndCount) {
    BPageRangeAbsoluteList list;
    list.Insert(Range(5, 256, "ignored"));
    EXPECT_EQ(Content([&](UKeyOutStream& out) { list.PageRangeListKeyStreamOut(out); }),
              "50 52 FF 00 00 00 0B 06 73 53 01 02 05 73 4E 02 02 01 00");
}

TEST(BPageItemList, WritesTheItemsOfOnePageInListOrder) {
    BPageItemList items;
    EXPECT_EQ(Content([&](UKeyOutStream& out) { items.PageItemListKeyStreamOut(out, -1); }),
              "00 8C FF 00 00 00 00 06");
    for (const auto& item : {std::make_shared<TestItem>(2, 7), std::make_shared<TestItem>(3, 8),
                             std::shared_ptr<TestItem>(), std::make_shared<TestItem>(2, 9)})
        items.Insert(item);
    // Two runs of 'tg': 7, then 9.
    EXPECT_EQ(Content([&](UKeyOutStream& out) { items.PageItemListKeyStreamOut(out, 2); }),
              "00 8C FF 00 00 00 0A 06 74 67 01 02 07 74 67 01 02 09");
}

TEST(BTransparencyFlattener, RecordHoldsItsKeysInOrder) {
    BDocumentTransparencyFlattener f;
    f.SetEnabled(true);
    f.SetName("not stored");
    for (int i = 0; i < BTransparencyFlattener::kValueCount; ++i) f.SetValue(i, 10.0 + i);
    f.SetOption(0, true);
    f.SetOption(7, true);
    // Record 180: 3201 enabled, 3202 and 3220 to 3223 the values, 3210 to 3217 the options.
    EXPECT_EQ(Content([&](UKeyOutStream& out) { f.FlattenerKeyStreamOut(out); }),
              spacedHex(job_test::bytes(
                  "00 B4 FF 00 00 00 63 06 0C 81 01 01 01 0C 82 08 04 40 24 00 00 00 00 00 00 "
                  "0C 94 08 04 40 26 00 00 00 00 00 00 0C 95 08 04 40 28 00 00 00 00 00 00 "
                  "0C 96 08 04 40 2A 00 00 00 00 00 00 0C 97 08 04 40 2C 00 00 00 00 00 00 "
                  "0C 8A 01 01 01 0C 8B 00 01 0C 8C 00 01 0C 8D 00 01 0C 8E 00 01 0C 8F 00 01 0C 90 00 01 "
                  "0C 91 01 01 01")));
}

}  // namespace
