#include "hexcodec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

TEST(HexCodec, EncodesAndDecodesByTheLenientRule) {
    struct Case {
        std::string text;
        std::string bytes;
        bool canonical;  // what the encoder writes for these bytes
    };
    const std::vector<Case> cases = {
        {"", "", true},
        {"00ABFF", std::string("\x00\xAB\xFF", 3), true},
        {"00abff", std::string("\x00\xAB\xFF", 3), false},
        {"4B53FF0000000506C0DE010201", std::string("KS\xFF\0\0\0\x05\x06\xC0\xDE\x01\x02\x01", 13), true},
        {"A", "", false},
        {"4B53FF0", "KS\xFF", false},  // odd length 7: the last character is ignored
        {"Ff9a", "\xFF\x9A", false},
        {"G0", std::string("\x00", 1), false},  // G is 16, overflowing the high nibble
        {"0G", "\x10", false},
        {"zz", "S", false},     // z counts as Z
        {"::", "\x33", false},  // the colon follows the digits
        {"@@", "\x99", false},
        {" 0", "\x90", false},  // a space is negative
        {"0 ", "\xE9", false},
        {"/0", "\x80", false},
        {std::string("\x00\x00", 2), "\x59", false},
        {"\xC3\xA9", "\x32", false},  // bytes above 127
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vnu::HexDecode(c.text), c.bytes) << c.text;
        if (c.canonical) {
            EXPECT_EQ(vnu::HexEncode(c.bytes), c.text);
        }
    }
}

TEST(HexCodec, RoundTripsEveryByteAtEveryLength) {
    std::mt19937 rng(7);
    for (std::size_t n : {1, 7, 8, 9, 256, 1000}) {
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
