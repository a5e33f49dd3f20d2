#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ustring.h"

namespace {

using Units = std::vector<unsigned short>;

ustring fromUnits(const Units& units) {
    ustring s("stale");
    s.assign(units.data(), units.size());
    return s;
}

template <typename F>
void expectThrowsWithText(F&& f, const char* kind) {
    try {
        f();
        ADD_FAILURE() << "expected " << kind;
    } catch (const std::length_error& e) {
        EXPECT_STREQ(kind, "length_error");
        EXPECT_STREQ(e.what(), "ustring");
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(kind, "out_of_range");
        EXPECT_STREQ(e.what(), "ustring");
    }
}

TEST(UstringUtf16, ZeroBytesAndFaults) {
    const std::pair<ustring, std::u16string> cases[] = {
        {"abc", u"abc"},
        {ustring("A\0B", 3), u"A"},  // a zero byte in the ASCII prefix ends the text
        {"", u""},
        {ustring("\xC3\xA9\0B", 4), std::u16string(u"\u00E9\0B", 3)},  // but not after it
        {"a\xC3\xA9\x62", u"a\u00E9b"},
        {"a\xC3", u"a"},  // the units before a fault are kept
        {"a\xC3\xA9\xFF\x62", u"a\u00E9"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(text.utf16(), expected) << text.size();
}

TEST(UstringUtf16, ZeroOrNonAsciiByteAtEveryPositionOfTheAsciiPrefix) {
    for (size_t at = 0; at < 40; ++at) {
        std::string text(40, 'q');
        text[at] = '\0';
        EXPECT_EQ(ustring(text).utf16(), std::u16string(at, u'q')) << at;
        text[at] = '\xC3';
        text.insert(at + 1, 1, '\xA9');
        std::u16string expected(41 - 1, u'q');
        expected[at] = 0xE9;
        EXPECT_EQ(ustring(text).utf16(), expected) << at;
    }
}

TEST(UstringUtf16, LongTextCrossesBufferBlocks) {
    // 700 two-byte characters and 300 four-byte ones span several 512-unit blocks, with
    // surrogate pairs straddling block ends; a bad byte at the end keeps everything before it.
    std::string text = "x";
    std::u16string expected = u"x";
    for (int i = 0; i < 700; ++i) {
        text += "\xC3\xA9";
        expected += char16_t(0xE9);
    }
    for (int i = 0; i < 300; ++i) {
        text += "\xF0\x9F\x98\x80";
        expected += u"\U0001F600";
    }
    EXPECT_EQ(ustring(text).utf16(), expected);
    EXPECT_EQ(ustring(text + "\x80tail").utf16(), expected);
}

TEST(UstringFromUtf16, SurrogatesAndFaults) {
    EXPECT_EQ(fromUnits({0x41, 0x42}), "AB");
    EXPECT_EQ(fromUnits({0x41, 0xD800, 0x42}), "");
    EXPECT_EQ(fromUnits({0x41, 0xD83D}), "");  // truncated pair at the end
    EXPECT_EQ(fromUnits({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
    EXPECT_EQ(fromUnits({}), "");
}

TEST(UstringFromUtf16, FaultKeepsOnlyWholeBlocks) {
    Units units(600, 'A');
    units.push_back(0xDC00);
    EXPECT_EQ(fromUnits(units), ustring(512, 'A'));

    // 200 three-byte characters: 170 fit a 512-byte block (510 bytes), the rest are dropped.
    Units euros(200, 0x20AC);
    euros.push_back(0xD800);
    ustring expected;
    for (int i = 0; i < 170; ++i) expected += "\xE2\x82\xAC";
    EXPECT_EQ(fromUnits(euros), expected);
}

TEST(UstringFromUtf16, RandomRoundTrip) {
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        std::u16string text;
        const size_t n = rng() % 1500;
        while (text.size() < n) {
            const unsigned kind = rng() % 4;
            if (kind == 0)
                text += char16_t(1 + rng() % 0x7F);
            else if (kind == 1)
                text += char16_t(0x80 + rng() % 0x7000);
            else if (kind == 2)
                text += char16_t(0xE000 + rng() % 0x2000);
            else
                text += {char16_t(0xD800 + rng() % 0x400), char16_t(0xDC00 + rng() % 0x400)};
        }
        const Units units(text.begin(), text.end());
        EXPECT_EQ(fromUnits(units).utf16(), text);
    }
}

TEST(UstringLimits, LengthLimit) {
    const size_t max = ustring::kMaxLength;
    EXPECT_EQ(max, 16777214u);
    EXPECT_EQ(ustring(max, 'a').size(), max);
    expectThrowsWithText([&] { ustring(max + 1, 'a'); }, "length_error");
    expectThrowsWithText([&] { ustring().reserve(max + 1); }, "length_error");

    ustring s(max - 1, 'a');
    s.push_back('b');
    EXPECT_EQ(s.size(), max);
    const std::function<void()> grows[] = {[&] { s.push_back('c'); }, [&] { s.append("x"); },
                                           [&] { s.append(1, 'x'); }, [&] { s.replace(0, 0, "x", 1); },
                                           [&] { (void)(s + "x"); }};
    for (const auto& grow : grows) {
        expectThrowsWithText(grow, "length_error");
        EXPECT_EQ(s.size(), max);
    }
    s.replace(0, 1, "z", 1);  // same length is fine
    EXPECT_EQ(s[0], 'z');
}

TEST(UstringLimits, PositionsBeyondTheEnd) {
    const ustring s("hello");
    expectThrowsWithText([&] { ustring(s, 6, 1); }, "out_of_range");
    expectThrowsWithText([&] { ustring(s).erase(6, 1); }, "out_of_range");
    expectThrowsWithText([&] { ustring(s).replace(6, 0, "x", 1); }, "out_of_range");
    EXPECT_EQ(ustring(s, 5), "");  // the end itself is a valid position
    EXPECT_EQ(ustring(s).replace(1, 100, "ip", 2), "hip");
}

TEST(UstringOps, ByteStringOperations) {
    ustring s("a\0b", 3);
    EXPECT_EQ(s.size(), 3u);  // bytes are kept as given
    std::ostringstream os;
    os << s;
    EXPECT_EQ(os.str(), "a");  // writing stops at the first zero byte

    ustring path("dir/sub/file.txt");
    EXPECT_EQ(path.rfind('/'), 7u);
    EXPECT_EQ(path.find_first_of("./", 0, 2), 3u);
    EXPECT_EQ(path.find_last_of("./", ustring::npos, 2), 12u);
    EXPECT_EQ(path.compare(4, 3, "sub", 3), 0);
    EXPECT_LT(path.compare("dir/sub/file.txu"), 0);
    EXPECT_GT(path.compare("dir"), 0);
    EXPECT_EQ(ustring("ab") + "cd", "abcd");
    EXPECT_LT(ustring("a"), ustring("\xC3"));  // bytes compare unsigned
}

}  // namespace
