#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ConvertUTF.h"

namespace {

using Bytes = std::vector<UTF8>;
using Units = std::vector<UTF16>;

// What the C library's iconv makes of a source: the output, and where and why it stopped.
struct OracleResult {
    std::string out;
    size_t consumed = 0;
    int error = 0;  // 0, EILSEQ or EINVAL
};

OracleResult iconvConvert(const char* to, const char* from, const void* data, size_t bytes) {
    iconv_t cd = iconv_open(to, from);
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string out(bytes * 4 + 16, '\0');
    char* in = const_cast<char*>(static_cast<const char*>(data));
    size_t inLeft = bytes;
    char* outPtr = out.data();
    size_t outLeft = out.size();
    OracleResult r;
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) r.error = errno;
    iconv_close(cd);
    r.consumed = bytes - inLeft;
    out.resize(out.size() - outLeft);
    r.out = out;
    return r;
}

// Whitespace-separated hexadecimal numbers: "C2 80" gives {0xC2, 0x80}.
template <typename T>
std::vector<T> hex(const std::string& text) {
    std::vector<T> out;
    const char* p = text.c_str();
    for (char* end = nullptr; *p != '\0'; p = end) out.push_back(static_cast<T>(std::strtoul(p, &end, 16)));
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

// Bytes a UTF-8 lead byte claims for its character, as the converter judges it.
size_t claimedLength(UTF8 lead) {
    if (lead < 0xC0) return 1;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF8) return 4;
    if (lead < 0xFC) return 5;
    return 6;
}

uint32_t randomScalar(std::mt19937& rng) {
    switch (rng() % 5) {
        case 0: return rng() % 0x80;
        case 1: return 0x80 + rng() % (0x800 - 0x80);
        case 2: {
            uint32_t c = 0x800 + rng() % (0x10000 - 0x800);
            return (c >= 0xD800 && c <= 0xDFFF) ? c - 0x800 : c;
        }
        case 3: return 0xFFF0 + rng() % 0x20;  // around the 16-bit edge
        default: return 0x10000 + rng() % (0x110000 - 0x10000);
    }
}

TEST(ConvertUTF, HandCheckedVectorsBothWays) {
    // UTF-8 bytes | UTF-16 units
    const char* const vectors[] = {"41 00 42|41 00 42",
                                   "7F|7F",
                                   "C2 80|80",
                                   "DF BF|7FF",
                                   "E0 A0 80|800",
                                   "E2 82 AC|20AC",
                                   "ED 9F BF|D7FF",
                                   "EE 80 80|E000",
                                   "EF BF BF|FFFF",
                                   "F0 90 80 80|D800 DC00",
                                   "F0 9F 98 80|D83D DE00",
                                   "F4 8F BF BF|DBFF DFFF",
                                   "|"};
    for (const std::string vector : vectors) {
        const size_t bar = vector.find('|');
        const Bytes utf8 = hex<UTF8>(vector.substr(0, bar));
        const Units utf16 = hex<UTF16>(vector.substr(bar + 1));
        const auto a = run8to16(utf8, 16);
        EXPECT_EQ(a.result, conversionOK);
        EXPECT_EQ(a.consumed, utf8.size());
        EXPECT_EQ(a.out, utf16);
        const auto b = run16to8(utf16, 16);
        EXPECT_EQ(b.result, conversionOK);
        EXPECT_EQ(b.consumed, utf16.size());
        EXPECT_EQ(b.out, utf8);
    }
}

TEST(ConvertUTF, IllFormedUtf8StopsAtTheBadCharacter) {
    struct Case {
        Bytes in;
        ConversionResult result;
        size_t consumed;
        Units out;
    };
    const Case cases[] = {
        {{0x61, 0x80}, sourceIllegal, 1, {0x61}},                // lone continuation byte
        {{0x61, 0xC0, 0x80}, sourceIllegal, 1, {0x61}},          // overlong lead C0
        {{0xC1, 0xBF}, sourceIllegal, 0, {}},                    // overlong lead C1
        {{0xE0, 0x9F, 0xBF}, sourceIllegal, 0, {}},              // overlong 3-byte form
        {{0xED, 0xA0, 0x80}, sourceIllegal, 0, {}},              // encoded surrogate
        {{0xF0, 0x8F, 0xBF, 0xBF}, sourceIllegal, 0, {}},        // overlong 4-byte form
        {{0xF4, 0x90, 0x80, 0x80}, sourceIllegal, 0, {}},        // above 0x10FFFF
        {{0xF5, 0x80, 0x80, 0x80}, sourceIllegal, 0, {}},        // lead above F4
        {{0xC3, 0x41}, sourceIllegal, 0, {}},                    // missing continuation
        {{0x41, 0xE2, 0x82, 0x41}, sourceIllegal, 1, {0x41}},    // bad third byte
        {{0xF8, 0x88, 0x80, 0x80, 0x80}, sourceIllegal, 0, {}},  // five-byte form
        {{0x61, 0xC3}, sourceExhausted, 1, {0x61}},              // truncated at the end
        {{0xE2, 0x82}, sourceExhausted, 0, {}},
        {{0xF0, 0x9F, 0x98}, sourceExhausted, 0, {}},
        {{0x41, 0xE0, 0x41}, sourceExhausted, 1, {0x41}},  // too short counts first
    };
    for (const Case& c : cases) {
        for (ConversionFlags flags : {strictConversion, lenientConversion}) {
            const auto r = run8to16(c.in, 16, flags);
            EXPECT_EQ(r.result, c.result) << "case starting " << int(c.in[0]);
            EXPECT_EQ(r.consumed, c.consumed);
            EXPECT_EQ(r.out, c.out);
        }
    }
}

TEST(ConvertUTF, UnpairedSurrogatesStrictAndLenient) {
    struct Case {
        Units in;
        ConversionResult strict;
        size_t strictConsumed;
        ConversionResult lenient;
        Bytes lenientOut;
    };
    const Case cases[] = {
        {{0x41, 0xD800, 0x42}, sourceIllegal, 1, conversionOK, {0x41, 0xED, 0xA0, 0x80, 0x42}},
        {{0x41, 0xDC00}, sourceIllegal, 1, conversionOK, {0x41, 0xED, 0xB0, 0x80}},
        {{0xDE00, 0xD83D}, sourceIllegal, 0, sourceExhausted, {0xED, 0xB8, 0x80}},
        // A high surrogate at the very end may be completed by the next block, in either mode.
        {{0x41, 0xD83D}, sourceExhausted, 1, sourceExhausted, {0x41}},
    };
    for (const Case& c : cases) {
        const auto strict = run16to8(c.in, 16, strictConversion);
        EXPECT_EQ(strict.result, c.strict);
        EXPECT_EQ(strict.consumed, c.strictConsumed);
        const auto lenient = run16to8(c.in, 16, lenientConversion);
        EXPECT_EQ(lenient.result, c.lenient);
        EXPECT_EQ(lenient.out, c.lenientOut);
    }
}

TEST(ConvertUTF, TargetFullLeavesSourceAtFirstUnconvertedCharacter) {
    // "é" then a 4-byte character: the pair needs two units, so one free unit is not enough.
    const Bytes in = {0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80};
    for (const auto& [room, consumed, produced] : {std::tuple{0u, 0u, 0u}, {1u, 2u, 1u}, {2u, 2u, 1u}}) {
        const auto r = run8to16(in, room);
        EXPECT_EQ(r.result, targetExhausted) << room;
        EXPECT_EQ(r.consumed, consumed) << room;
        EXPECT_EQ(r.out, Units(produced, 0xE9)) << room;
    }
    // 'A', '€' and a surrogate pair take 1, 3 and 4 bytes.
    const Units units = {0x41, 0x20AC, 0xD83D, 0xDE00};
    for (const auto& [room, consumed, produced] :
         {std::tuple{0u, 0u, 0u}, {3u, 1u, 1u}, {4u, 2u, 4u}, {7u, 2u, 4u}}) {
        const auto r = run16to8(units, room);
        EXPECT_EQ(r.result, targetExhausted) << room;
        EXPECT_EQ(r.consumed, consumed) << room;
        EXPECT_EQ(r.out.size(), produced) << room;
    }
}

TEST(ConvertUTF, IsLegalUtf8) {
    const char* const legal[] = {"00", "7F", "C2 80", "E0 A0 80", "ED 9F BF", "F0 90 80 80", "F4 8F BF BF"};
    // A lead byte alone, or with more bytes than it claims, is not one character.
    const char* const illegal[] = {
        "80",          "C2",          "C1 BF",       "C2 C0",          "41 80",
        "E0 9F 80",    "ED A0 80",    "E1 80 7F",    "C3 A9 A9",       "F0 8F 80 80",
        "F4 90 80 80", "F5 80 80 80", "F1 80 80 C0", "F8 88 80 80 80", ""};
    for (const char* text : legal)
        EXPECT_TRUE(isLegalUTF8(hex<UTF8>(text).data(), int(hex<UTF8>(text).size()))) << text;
    for (const char* text : illegal)
        EXPECT_FALSE(isLegalUTF8(hex<UTF8>(text).data(), int(hex<UTF8>(text).size()))) << text;
}

TEST(ConvertUTF, RandomValidTextAgreesWithIconv) {
    std::mt19937 rng(20240601);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint32_t> scalars(rng() % 400);
        for (uint32_t& c : scalars) c = randomScalar(rng);
        const OracleResult u8 = iconvConvert("UTF-8", "UTF-32LE", scalars.data(), scalars.size() * 4);
        const OracleResult u16 = iconvConvert("UTF-16LE", "UTF-32LE", scalars.data(), scalars.size() * 4);
        ASSERT_EQ(u8.error, 0);
        ASSERT_EQ(u16.error, 0);
        const Bytes bytes(u8.out.begin(), u8.out.end());
        Units units(u16.out.size() / 2);
        std::memcpy(units.data(), u16.out.data(), u16.out.size());

        const auto a = run8to16(bytes, units.size() + 4);
        EXPECT_EQ(a.result, conversionOK);
        EXPECT_EQ(a.consumed, bytes.size());
        EXPECT_EQ(a.out, units);
        const auto b = run16to8(units, bytes.size() + 4);
        EXPECT_EQ(b.result, conversionOK);
        EXPECT_EQ(b.out, bytes);

        // In small target blocks the pieces add up to the same text.
        const size_t block = 2 + rng() % 7;  // a surrogate pair needs two units
        Units pieced;
        const UTF8* src = bytes.data();
        for (;;) {
            Units chunk(block);
            UTF16* dst = chunk.data();
            const ConversionResult r = ConvertUTF8toUTF16(&src, bytes.data() + bytes.size(), &dst,
                                                          chunk.data() + block, strictConversion);
            pieced.insert(pieced.end(), chunk.data(), dst);
            if (r != targetExhausted) {
                EXPECT_EQ(r, conversionOK);
                break;
            }
            ASSERT_NE(dst, chunk.data()) << "no progress with a block of " << block;
        }
        EXPECT_EQ(pieced, units);
    }
}

TEST(ConvertUTF, RandomIllFormedUtf8AgreesWithIconv) {
    std::mt19937 rng(77);
    const UTF8 interesting[] = {0x80, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF,
                                0xF0, 0xF4, 0xF5, 0xFF, 0xA0, 0x9F, 0x90, 0x8F};
    for (int round = 0; round < 3000; ++round) {
        Bytes in;
        const size_t n = 1 + rng() % 24;
        while (in.size() < n) {
            switch (rng() % 3) {
                case 0: in.push_back(static_cast<UTF8>(rng())); break;
                case 1: in.push_back(interesting[rng() % std::size(interesting)]); break;
                default: {
                    const uint32_t c = randomScalar(rng);
                    const OracleResult e = iconvConvert("UTF-8", "UTF-32LE", &c, 4);
                    in.insert(in.end(), e.out.begin(), e.out.end());
                }
            }
        }
        const auto ours = run8to16(in, in.size() * 2 + 2);
        const OracleResult ref = iconvConvert("UTF-16LE", "UTF-8", in.data(), in.size());
        SCOPED_TRACE(testing::PrintToString(in));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(ours.out.data()), ours.out.size() * 2), ref.out);
        EXPECT_EQ(ours.consumed, ref.consumed);
        if (ref.error == 0) {
            EXPECT_EQ(ours.result, conversionOK);
        } else {
            // Both stop at the same character; ours reports a truncation whenever the lead
            // byte claims more bytes than remain, however the remaining ones look.
            const bool truncated = claimedLength(in[ours.consumed]) > in.size() - ours.consumed;
            EXPECT_EQ(ours.result, truncated ? sourceExhausted : sourceIllegal);
            if (ref.error == EINVAL) {
                EXPECT_EQ(ours.result, sourceExhausted);
            }
        }
    }
}

TEST(ConvertUTF, RandomUtf16WithLoneSurrogatesAgreesWithIconv) {
    std::mt19937 rng(99);
    for (int round = 0; round < 3000; ++round) {
        Units in(1 + rng() % 20);
        for (UTF16& u : in) {
            switch (rng() % 4) {
                case 0: u = static_cast<UTF16>(0xD800 + rng() % 0x800); break;  // any surrogate
                case 1: u = static_cast<UTF16>(rng() % 0x80); break;
                default: u = static_cast<UTF16>(rng()); break;
            }
        }
        const auto ours = run16to8(in, in.size() * 3 + 3);
        const OracleResult ref = iconvConvert("UTF-8", "UTF-16LE", in.data(), in.size() * 2);
        SCOPED_TRACE(testing::PrintToString(in));
        EXPECT_EQ(std::string(ours.out.begin(), ours.out.end()), ref.out);
        EXPECT_EQ(ours.consumed * 2, ref.consumed);
        const ConversionResult expected = ref.error == 0        ? conversionOK
                                          : ref.error == EINVAL ? sourceExhausted
                                                                : sourceIllegal;
        EXPECT_EQ(ours.result, expected);
    }
}

}  // namespace
