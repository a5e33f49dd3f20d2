#include "hexcodec.h"

#include <gtest/gtest.h>

#include <string>

TEST(HexCodec, EncodesAndDecodesByTheLenientRule) {
    const struct {
        std::string text, bytes;
        bool canonical;  // what the encoder writes for these bytes
    } cases[] = {
        {"", "", true},
        {"00ABFF", std::string("\x00\xAB\xFF", 3), true},
        {"00abff", std::string("\x00\xAB\xFF", 3), false},
        {"4B53FF0", "KS\xFF", false},           // odd length: the last character is ignored
        {"G0", std::string("\x00", 1), false},  // G is 16, overflowing the high nibble
        {"0G", "\x10", false},
        {"zz", "S", false},     // z counts as Z
        {"::", "\x33", false},  // the colon follows the digits
        {" 0", "\x90", false},  // a space is negative
        {std::string("\x00\x00", 2), "\x59", false},
        {"\xC3\xA9", "\x32", false},  // bytes above 127
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vnu::HexDecode(c.text), c.bytes) << c.text;
        if (c.canonical) {
            EXPECT_EQ(vnu::HexEncode(c.bytes), c.text);
        }
    }
    std::string every;
    for (int i = 0; i < 256; ++i) every += static_cast<char>(i);
    EXPECT_EQ(vnu::HexDecode(vnu::HexEncode(every)), every);
}
