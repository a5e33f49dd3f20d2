#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "ConvertUTF.h"

namespace {

using Bytes = std::vector<UTF8>;
using Units = std::vector<UTF16>;

// Whitespace-separated hexadecimal numbers: "C2 80" gives {0xC2, 0x80}.
template <typename T>
std::vector<T> hex(const std::string& text) {
    std::vector<T> out;
    for (const char* p = text.c_str(); *p != '\0';) {
        char* end = nullptr;
        out.push_back(static_cast<T>(std::strtoul(p, &end, 16)));
        p = end;
    }
    return out;
}

template <typename To>
struct Run {
    ConversionResult result;
    size_t consumed;
    std::vector<To> out;
};

// Converts `in` into a target of `room` units, checking that nothing is written past it.
template <typename From, typename To>
Run<To> convert(ConversionResult (*fn)(const From**, const From*, To**, To*, ConversionFlags),
                const std::vector<From>& in, size_t room, ConversionFlags flags) {
    std::vector<To> out(room + 1, To(0xEE));
    const From* src = in.data();
    To* dst = out.data();
    const ConversionResult r = fn(&src, in.data() + in.size(), &dst, out.data() + room, flags);
    EXPECT_EQ(out[room], To(0xEE)) << "wrote past the target end";
    out.resize(static_cast<size_t>(dst - out.data()));
    return {r, static_cast<size_t>(src - in.data()), out};
}

Run<UTF16> run8to16(const Bytes& in, size_t room, ConversionFlags flags = strictConversion) {
    return convert(ConvertUTF8toUTF16, in, room, flags);
}

Run<UTF8> run16to8(const Units& in, size_t room, ConversionFlags flags = strictConversion) {
    return convert(ConvertUTF16toUTF8, in, room, flags);
}

TEST(ConvertUTF, HandCheckedVectorsBothWays) {
    std::istringstream rows(  // UTF-8 bytes | UTF-16 units
        "41 00 42|41 00 42,7F|7F,C2 80|80,DF BF|7FF,E0 A0 80|800,E2 82 AC|20AC,ED 9F BF|D7FF,EE 80 80|E000,"
        "EF BF BF|FFFF,F0 90 80 80|D800 DC00,F0 9F 98 80|D83D DE00,F4 8F BF BF|DBFF DFFF,|");
    for (std::string row; std::getline(rows, row, ',');) {
        const Bytes utf8 = hex<UTF8>(row.substr(0, row.find('|')));
        const Units utf16 = hex<UTF16>(row.substr(row.find('|') + 1));
        const auto a = run8to16(utf8, 16);
        EXPECT_EQ(std::tie(a.result, a.consumed, a.out), std::tuple(conversionOK, utf8.size(), utf16)) << row;
        const auto b = run16to8(utf16, 16);
        EXPECT_EQ(std::tie(b.result, b.consumed, b.out), std::tuple(conversionOK, utf16.size(), utf8)) << row;
    }
}

// The converter checks each character with isLegalUTF8: these rows are its cases too.
TEST(ConvertUTF, IllFormedUtf8StopsAtTheBadCharacter) {
    const struct {
        const char* in;
        ConversionResult result;
        size_t consumed;
    } cases[] = {
        {"61 80", sourceIllegal, 1},       {"C1 BF", sourceIllegal, 0},
        {"E0 9F BF", sourceIllegal, 0},    {"ED A0 80", sourceIllegal, 0},
        {"F0 8F BF BF", sourceIllegal, 0}, {"F4 90 80 80", sourceIllegal, 0},
        {"F5 80 80 80", sourceIllegal, 0}, {"C3 41", sourceIllegal, 0},
        {"41 E2 82 41", sourceIllegal, 1}, {"61 C3", sourceExhausted, 1},
        {"F0 9F 98", sourceExhausted, 0},  {"41 E0 41", sourceExhausted, 1},  // too short counts first
    };
    for (const auto& c : cases) {
        const Bytes in = hex<UTF8>(c.in);
        const auto r = run8to16(in, 16);
        EXPECT_EQ(std::tie(r.result, r.consumed), std::tuple(c.result, c.consumed)) << c.in;
        EXPECT_EQ(r.out, Units(in.begin(), in.begin() + c.consumed)) << c.in;  // ASCII before the fault
    }
}

TEST(ConvertUTF, UnpairedSurrogatesStrictAndLenient) {
    // Strict stops at a lone surrogate; lenient writes it as three bytes. A high surrogate at the
    // very end may be completed by the next block, in either mode.
    const auto strict = run16to8({0x41, 0xDC00, 0x42}, 16);
    EXPECT_EQ(std::tie(strict.result, strict.consumed), std::tuple(sourceIllegal, 1u));
    const auto lenient = run16to8({0x41, 0xDC00, 0x42}, 16, lenientConversion);
    EXPECT_EQ(std::tie(lenient.result, lenient.out), std::tuple(conversionOK, hex<UTF8>("41 ED B0 80 42")));
    for (ConversionFlags flags : {strictConversion, lenientConversion}) {
        const auto r = run16to8({0x41, 0xD83D}, 16, flags);
        EXPECT_EQ(std::tie(r.result, r.consumed, r.out), std::tuple(sourceExhausted, 1u, Bytes{0x41}));
    }
}

TEST(ConvertUTF, TargetFullLeavesSourceAtFirstUnconvertedCharacter) {
    // "é" then a 4-byte character: the pair needs two units, so one free unit is not enough.
    for (const auto& [room, consumed, produced] : {std::tuple{0u, 0u, 0u}, {1u, 2u, 1u}, {2u, 2u, 1u}}) {
        const auto r = run8to16(hex<UTF8>("C3 A9 F0 9F 98 80"), room);
        EXPECT_EQ(std::tie(r.result, r.consumed, r.out),
                  std::tuple(targetExhausted, consumed, Units(produced, 0xE9)));
    }
    // 'A', '€' and a surrogate pair take 1, 3 and 4 bytes.
    for (const auto& [room, consumed, produced] :
         {std::tuple{0u, 0u, 0u}, {3u, 1u, 1u}, {4u, 2u, 4u}, {7u, 2u, 4u}}) {
        const auto r = run16to8({0x41, 0x20AC, 0xD83D, 0xDE00}, room);
        EXPECT_EQ(std::tie(r.result, r.consumed), std::tuple(targetExhausted, consumed)) << room;
        EXPECT_EQ(r.out.size(), produced) << room;
    }
}

}  // namespace
