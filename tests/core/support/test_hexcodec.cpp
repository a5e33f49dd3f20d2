#include "support/hexcodec.h"

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
        {std::string("\x00\x00", 2), "\x59", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vnu::HexDecode(c.text), c.bytes) << c.text;
        if (c.canonical) {
            EXPECT_EQ(vnu::HexEncode(c.bytes), c.text);
        }
    }
}
