#include "hexcodec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

struct HexCase {
    const char* name;
    std::string text;
    std::string bytes;
};

TEST(HexCodec, EncodesUpperCasePairs) {
    EXPECT_EQ(vnu::HexEncode(""), "");
    EXPECT_EQ(vnu::HexEncode(std::string("\x00\xFF\x4B\x53\x0A", 5)), "00FF4B530A");
    // The 13-byte empty job stream as the event channel carries it.
    EXPECT_EQ(vnu::HexEncode(std::string("\x4B\x53\xFF\x00\x00\x00\x05\x06\xC0\xDE\x01\x02\x01", 13)),
              "4B53FF0000000506C0DE010201");
}

TEST(HexCodec, DecodesByTheLenientRule) {
    const std::vector<HexCase> cases = {
        {"empty", "", ""},
        {"single character", "A", ""},
        {"upper case", "4B53FF00", std::string("KS\xFF\x00", 4)},
        {"lower case", "4b53ff", "KS\xFF"},
        {"mixed case", "Ff9a", "\xFF\x9A"},
        {"last unpaired character ignored", "4B5", "K"},
        {"G is 16, overflowing the high nibble", "G0", std::string("\x00", 1)},
        {"G as low nibble", "0G", "\x10"},
        {"z counts as Z", "zz", "S"},
        {"colon follows the digits", "::", "\x33"},
        {"at sign", "@@", "\x99"},
        {"space is negative", " 0", "\x90"},
        {"space as low nibble", "0 ", "\xE9"},
        {"slash", "/0", "\x80"},
        {"zero bytes", std::string("\x00\x00", 2), "\x59"},
        {"bytes above 127", "\xC3\xA9", "\x32"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vnu::HexDecode(c.text), c.bytes) << c.name;
    }
}

TEST(HexCodec, RoundTripsEveryByteAtEveryLength) {
    std::mt19937 rng(7);
    for (std::size_t n : {std::size_t{1}, std::size_t{7}, std::size_t{8}, std::size_t{9}, std::size_t{256},
                          std::size_t{1000}}) {
        std::string bytes(n, '\0');
        for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>(n == 256 ? i : rng());
        const std::string text = vnu::HexEncode(bytes);
        ASSERT_EQ(text.size(), 2 * n);
        EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF"), std::string::npos);
        EXPECT_EQ(vnu::HexDecode(text), bytes) << n;
        std::string lower = text;
        for (char& ch : lower) ch = static_cast<char>(ch >= 'A' && ch <= 'F' ? ch + 32 : ch);
        EXPECT_EQ(vnu::HexDecode(lower + "x"), bytes) << n;
    }
}

}  // namespace
