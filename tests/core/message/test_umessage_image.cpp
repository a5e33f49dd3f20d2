#include "message/umessage_image.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "ByteText.h"
#include "TicketBuilder.h"
#include "support/ReadBudget.h"

namespace {

using testing_support::bytes;
using ticket_builder::Msg;

// An image keeping its own copy of the bytes.
umessage_image read(const std::string& data) {
    umessage_image image;
    vnu::ReadBudget budget(data.size());
    EXPECT_TRUE(image.read(std::string(data), budget));
    return image;
}

// Values are decoded where they lie: every type at every index, after entries of other types.
TEST(MessageImage, ValuesByIndexAndCompatibleFirstValues) {
    const umessage m = Msg()
                           .ints("i", {INT_MIN, -1, 300, INT_MAX})
                           .num("d", {1.5, -0.0, 1e300})
                           .longs("l", {LLONG_MIN, 1LL << 40})
                           .flag("b", {false, true, true})
                           .str("s", {"", "two", std::string(40, 'x')})
                           .msg("m", {Msg().ints("x", {1}), Msg(), Msg().str("y", {"z"})})
                           .get();
    const umessage_image image = umessage_image::of(m);
    const umessage_view root = image.root();
    unsigned at = 0;
    ASSERT_TRUE(root.find("i", at));
    EXPECT_EQ(root.entry(at).intAt(3), INT_MAX);
    EXPECT_EQ(root.entry(at).intAt(0), INT_MIN);
    ASSERT_TRUE(root.find("d", at));
    EXPECT_EQ(root.entry(at).doubleAt(2), 1e300);
    ASSERT_TRUE(root.find("l", at));
    EXPECT_EQ(root.entry(at).longlongAt(1), 1LL << 40);
    int asInt = 0;
    EXPECT_TRUE(root.entry(at).firstInteger(asInt));
    EXPECT_EQ(asInt, 0);  // the low 32 bits, as find<int> converts
    ASSERT_TRUE(root.find("b", at));
    EXPECT_EQ(std::tuple(root.entry(at).boolAt(0), root.entry(at).boolAt(2)), std::tuple(false, true));
    ASSERT_TRUE(root.find("s", at));
    EXPECT_EQ(root.entry(at).stringAt(2), std::string(40, 'x'));
    double number = 0;
    EXPECT_FALSE(root.entry(at).firstNumber(number));
    EXPECT_EQ(root.message("m", 2).toMessage(), Msg().str("y", {"z"}).get());
    EXPECT_EQ(root.message("m", 1).size(), 0u);
    EXPECT_TRUE(root.message("m", 3).null());
    EXPECT_TRUE(root.message("s", 0).null());  // not messages
    EXPECT_EQ(std::tuple(root.countOf("b"), root.countOf("absent")), std::tuple(3u, 0u));
    EXPECT_EQ(root.toMessage(), m);
}

// A name repeated in a body reads as one entry, values in stream order, from the image's own
// copy of them; nested messages of the pieces keep their order too.
TEST(MessageImage, RepeatedNamesReadAsOneEntry) {
    const umessage_image image = read(bytes(
        "04 03 01 'a' 01 'n' 01 'm' 04 "
        "01 01 00 02 05 06 "              // a: 5, 6
        "03 05 00 01 01 02 01 00 01 07 "  // m: {n: 7}
        "01 01 00 01 07 "                 // a: 7
        "03 05 00 01 00"));               // m: {}
    const umessage_view root = image.root();
    ASSERT_EQ(root.size(), 2u);
    const umessage_entry a = root.entry(0);
    EXPECT_EQ(std::tuple(a.name(), a.count(), a.isArray(), a.intAt(0), a.intAt(2)),
              std::tuple(std::string_view("a"), 3u, true, 5, 7));
    const umessage_entry m = root.entry(1);
    EXPECT_EQ(std::tuple(m.name(), m.count(), m.messageAt(0).countOf("n"), m.messageAt(1).size()),
              std::tuple(std::string_view("m"), 2u, 1u, 0u));
}

// Names compare as numbers: an absent name falls between the ranks around it.
TEST(MessageImage, NameKeysOrderLikeTheNames) {
    const umessage_image image = umessage_image::of(Msg().ints("b", {1}).ints("d", {2}).get());
    EXPECT_EQ(image.rankOf("d"), image.rankOf("b") + 1);
    EXPECT_EQ(image.rankOf("c"), umessage_image::kNoRank);
    const std::int64_t keys[] = {image.keyOf("a"), image.keyOf("b"), image.keyOf("c"), image.keyOf("d"),
                                 image.keyOf("e")};
    for (std::size_t i = 1; i < std::size(keys); ++i) EXPECT_LT(keys[i - 1], keys[i]) << i;
    EXPECT_EQ(keys[1] % 2, 0);
    EXPECT_NE(keys[2] % 2, 0);
}

// The index takes a few words per entry beside the input, whatever the input's shape.
TEST(MessageImage, IndexSmallBesideTheInput) {
    std::string data = bytes("04 01 01 'm' 01 01 05 00") + std::string(1, '\xC0');
    const unsigned empties = 40000;
    data += std::string{char(empties >> 8), char(empties & 0xFF)};
    data += std::string(empties, '\0');  // that many empty messages
    const umessage_image image = read(data);
    EXPECT_EQ(image.root().countOf("m"), empties);
    EXPECT_LE(image.indexBytes(), 4 * data.size() + 64 * 1024);
}

}  // namespace
