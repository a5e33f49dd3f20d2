#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "text/ustring.h"

namespace {

using Units = std::vector<unsigned short>;

ustring fromUnits(const Units& units) {
    ustring s("stale");
    s.assign(units.data(), units.size());
    return s;
}

TEST(UstringUtf16, ZeroBytesAndFaults) {
    const std::pair<ustring, std::u16string> cases[] = {
        {ustring("A\0B", 3), u"A"},  // a zero byte in the ASCII prefix ends the text
        {"", u""},
        {ustring("\xC3\xA9\0B", 4), std::u16string(u"\u00E9\0B", 3)},  // but not after it
        {"a\xC3", u"a"},                                               // the units before a fault are kept
        {"a\xC3\xA9\xFF\x62", u"a\u00E9"},
        // Overlong, a surrogate, beyond U+10FFFF: each ends the text.
        {"a\xC1\xBF", u"a"},
        {"a\xE0\x9F\xBF", u"a"},
        {"a\xED\xA0\x80", u"a"},
        {"a\xF4\x90\x80\x80", u"a"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(text.utf16(), expected) << text.size();

    // The ASCII prefix is copied apart from the converter: a zero or a non-ASCII byte anywhere in it.
    for (size_t at = 0; at < 40; ++at) {
        std::string text(40, 'q');
        text[at] = '\0';
        EXPECT_EQ(ustring(text).utf16(), std::u16string(at, u'q')) << at;
        text.replace(at, 1, "\xC3\xA9");
        std::u16string expected(40, u'q');
        expected[at] = 0xE9;
        EXPECT_EQ(ustring(text).utf16(), expected) << at;
    }
}

TEST(UstringUtf16, LongTextCrossesBufferBlocksBothWays) {
    // Several 512-unit and 512-byte blocks, with surrogate pairs and multi-byte characters
    // straddling block ends; a bad byte at the end keeps everything before it.
    std::string text = "x";
    std::u16string expected = u"x";
    for (int i = 0; i < 700; ++i) text += "\xC3\xA9", expected += char16_t(0xE9);
    for (int i = 0; i < 300; ++i) text += "\xF0\x9F\x98\x80", expected += u"\U0001F600";
    EXPECT_EQ(ustring(text).utf16(), expected);
    EXPECT_EQ(ustring(text + "\x80tail").utf16(), expected);
    EXPECT_EQ(fromUnits(Units(expected.begin(), expected.end())), ustring(text));
}

TEST(UstringFromUtf16, SurrogatesAndFaultsKeepOnlyWholeBlocks) {
    EXPECT_EQ(fromUnits({0x41, 0x42}), "AB");
    EXPECT_EQ(fromUnits({0x41, 0xD800, 0x42}), "");
    EXPECT_EQ(fromUnits({0x41, 0xD83D}), "");  // truncated pair at the end
    EXPECT_EQ(fromUnits({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");

    // 170 three-byte characters fill a 512-byte block (510 bytes); the rest are dropped.
    Units euros(200, 0x20AC);
    euros.push_back(0xD800);
    ustring expected;
    for (int i = 0; i < 170; ++i) expected += "\xE2\x82\xAC";
    EXPECT_EQ(fromUnits(euros), expected);
}

TEST(UstringLimits, LengthAndPositions) {
    using ::testing::StrEq;
    const auto lengthError = ::testing::ThrowsMessage<std::length_error>(StrEq("ustring"));
    const auto rangeError = ::testing::ThrowsMessage<std::out_of_range>(StrEq("ustring"));
    const size_t max = ustring::kMaxLength;
    EXPECT_EQ(max, 16777214u);
    EXPECT_THAT([&] { ustring(max + 1, 'a'); }, lengthError);
    EXPECT_THAT([&] { ustring().reserve(max + 1); }, lengthError);
    ustring s(max - 1, 'a');
    s.push_back('b');
    EXPECT_EQ(s.size(), max);
    for (const auto& grow : std::vector<std::function<void()>>{
             [&] { s.push_back('c'); }, [&] { s.append("x"); }, [&] { s.replace(0, 0, "x", 1); }}) {
        EXPECT_THAT(grow, lengthError);
        EXPECT_EQ(s.size(), max);
    }
    s.replace(0, 1, "z", 1);  // same length is fine
    EXPECT_EQ(s[0], 'z');

    const ustring hello("hello");
    EXPECT_THAT([&] { ustring(hello, 6, 1); }, rangeError);
    EXPECT_THAT([&] { ustring(hello).erase(6, 1); }, rangeError);
    EXPECT_THAT([&] { ustring(hello).replace(6, 0, "x", 1); }, rangeError);
    EXPECT_EQ(ustring(hello, 5), "");  // the end itself is a valid position
}

}  // namespace
