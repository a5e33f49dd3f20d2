#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ustring.h"

namespace {

using Units = std::vector<unsigned short>;

std::u16string u16(std::initializer_list<char16_t> units) {
    return std::u16string(units);
}

ustring bytes(std::initializer_list<unsigned char> b) {
    std::string s(b.begin(), b.end());
    return ustring(s);
}

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

TEST(UstringUtf16, AsciiPrefixAndZeroByte) {
    EXPECT_EQ(ustring("abc").utf16(), u16({0x61, 0x62, 0x63}));
    EXPECT_EQ(ustring("A\0B", 3).utf16(), u16({0x41}));
    EXPECT_EQ(ustring().utf16(), std::u16string());
    // After the first non-ASCII byte a zero byte is converted like any other character.
    EXPECT_EQ(bytes({0xC3, 0xA9, 0x00, 0x42}).utf16(), u16({0xE9, 0x00, 0x42}));
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

TEST(UstringUtf16, KeepsUnitsBeforeAFault) {
    EXPECT_EQ(bytes({'a', 0xC3, 0xA9, 'b'}).utf16(), u16({0x61, 0xE9, 0x62}));
    EXPECT_EQ(bytes({'a', 0xC3}).utf16(), u16({0x61}));
    EXPECT_EQ(bytes({'a', 0xC3, 0xA9, 0xFF, 'b'}).utf16(), u16({0x61, 0xE9}));
    EXPECT_EQ(bytes({0xF0, 0x9F, 0x98, 0x80}).utf16(), u16({0xD83D, 0xDE00}));
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
        expected += u16({0xD83D, 0xDE00});
    }
    EXPECT_EQ(ustring(text).utf16(), expected);
    EXPECT_EQ(ustring(text + "\x80tail").utf16(), expected);
}

TEST(UstringFromUtf16, SurrogatesAndFaults) {
    EXPECT_EQ(fromUnits({0x41, 0x42}), "AB");
    EXPECT_EQ(fromUnits({0x41, 0xD800, 0x42}), "");
    EXPECT_EQ(fromUnits({0x41, 0xD83D}), "");  // truncated pair at the end
    EXPECT_EQ(fromUnits({0xD83D, 0xDE00}), bytes({0xF0, 0x9F, 0x98, 0x80}));
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
                text += u16({char16_t(0xD800 + rng() % 0x400), char16_t(0xDC00 + rng() % 0x400)});
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

    ustring s(max - 1, 'a');
    s.push_back('b');
    EXPECT_EQ(s.size(), max);
    expectThrowsWithText([&] { s.push_back('c'); }, "length_error");
    expectThrowsWithText([&] { s.append("x"); }, "length_error");
    expectThrowsWithText([&] { s.append(1, 'x'); }, "length_error");
    expectThrowsWithText([&] { s.replace(0, 0, "x", 1); }, "length_error");
    EXPECT_EQ(s.size(), max);
    s.replace(0, 1, "z", 1);  // same length is fine
    EXPECT_EQ(s[0], 'z');
    expectThrowsWithText([&] { (void)(s + "x"); }, "length_error");
    expectThrowsWithText([&] { ustring().reserve(max + 1); }, "length_error");
}

TEST(UstringLimits, PositionsBeyondTheEnd) {
    const ustring s("hello");
    expectThrowsWithText([&] { ustring(s, 6, 1); }, "out_of_range");
    expectThrowsWithText([&] { ustring(s).erase(6, 1); }, "out_of_range");
    expectThrowsWithText([&] { ustring(s).replace(6, 0, "x", 1); }, "out_of_range");
    EXPECT_EQ(ustring(s, 5), "");  // the end itself is a valid position
    EXPECT_EQ(ustring(s, 1, 3), "ell");
    EXPECT_EQ(ustring(s).erase(1, 2), "hlo");
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
    EXPECT_EQ(path.fileSystemRepresentation(), path);
}

}  // namespace
