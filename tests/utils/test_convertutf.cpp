#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
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

std::string unitsAsBytes(const UTF16* begin, const UTF16* end) {
    return std::string(reinterpret_cast<const char*>(begin), reinterpret_cast<const char*>(end));
}

struct Run8 {
    ConversionResult result;
    size_t consumed;
    Units out;
};

Run8 run8to16(const Bytes& in, size_t room, ConversionFlags flags = strictConversion) {
    Units out(room + 1, 0xEEEE);
    const UTF8* src = in.data();
    UTF16* dst = out.data();
    const ConversionResult r =
        ConvertUTF8toUTF16(&src, in.data() + in.size(), &dst, out.data() + room, flags);
    EXPECT_EQ(out[room], 0xEEEE) << "wrote past the target end";
    out.resize(static_cast<size_t>(dst - out.data()));
    return {r, static_cast<size_t>(src - in.data()), out};
}

struct Run16 {
    ConversionResult result;
    size_t consumed;
    Bytes out;
};

Run16 run16to8(const Units& in, size_t room, ConversionFlags flags = strictConversion) {
    Bytes out(room + 1, 0xEE);
    const UTF16* src = in.data();
    UTF8* dst = out.data();
    const ConversionResult r =
        ConvertUTF16toUTF8(&src, in.data() + in.size(), &dst, out.data() + room, flags);
    EXPECT_EQ(out[room], 0xEE) << "wrote past the target end";
    out.resize(static_cast<size_t>(dst - out.data()));
    return {r, static_cast<size_t>(src - in.data()), out};
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
    struct Vector {
        Bytes utf8;
        Units utf16;
    };
    const Vector vectors[] = {
        {{}, {}},
        {{0x41, 0x00, 0x42}, {0x41, 0x00, 0x42}},
        {{0x7F}, {0x7F}},
        {{0xC2, 0x80}, {0x80}},
        {{0xC3, 0xA9}, {0xE9}},
        {{0xDF, 0xBF}, {0x7FF}},
        {{0xE0, 0xA0, 0x80}, {0x800}},
        {{0xE2, 0x82, 0xAC}, {0x20AC}},
        {{0xED, 0x9F, 0xBF}, {0xD7FF}},
        {{0xEE, 0x80, 0x80}, {0xE000}},
        {{0xEF, 0xBF, 0xBF}, {0xFFFF}},
        {{0xF0, 0x90, 0x80, 0x80}, {0xD800, 0xDC00}},
        {{0xF0, 0x9F, 0x98, 0x80}, {0xD83D, 0xDE00}},
        {{0xF4, 0x8F, 0xBF, 0xBF}, {0xDBFF, 0xDFFF}},
    };
    for (const Vector& v : vectors) {
        const Run8 a = run8to16(v.utf8, 16);
        EXPECT_EQ(a.result, conversionOK);
        EXPECT_EQ(a.consumed, v.utf8.size());
        EXPECT_EQ(a.out, v.utf16);
        const Run16 b = run16to8(v.utf16, 16);
        EXPECT_EQ(b.result, conversionOK);
        EXPECT_EQ(b.consumed, v.utf16.size());
        EXPECT_EQ(b.out, v.utf8);
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
            const Run8 r = run8to16(c.in, 16, flags);
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
        const Run16 strict = run16to8(c.in, 16, strictConversion);
        EXPECT_EQ(strict.result, c.strict);
        EXPECT_EQ(strict.consumed, c.strictConsumed);
        const Run16 lenient = run16to8(c.in, 16, lenientConversion);
        EXPECT_EQ(lenient.result, c.lenient);
        EXPECT_EQ(lenient.out, c.lenientOut);
    }
}

TEST(ConvertUTF, TargetFullLeavesSourceAtFirstUnconvertedCharacter) {
    // "é" then a 4-byte character: the pair needs two units, so one free unit is not enough.
    const Bytes in = {0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80};
    Run8 r = run8to16(in, 2);
    EXPECT_EQ(r.result, targetExhausted);
    EXPECT_EQ(r.consumed, 2u);
    EXPECT_EQ(r.out, (Units{0xE9}));
    r = run8to16(in, 0);
    EXPECT_EQ(r.result, targetExhausted);
    EXPECT_EQ(r.consumed, 0u);

    const Units units = {0x41, 0x20AC, 0xD83D, 0xDE00};
    for (size_t room : {1u, 2u, 3u, 4u, 5u, 6u, 7u}) {
        const Run16 b = run16to8(units, room);
        EXPECT_EQ(b.result, targetExhausted) << room;
        const size_t expected = room < 1 ? 0 : room < 4 ? 1 : room < 8 ? 2 : 4;
        EXPECT_EQ(b.consumed, expected) << room;
        EXPECT_EQ(b.out.size(), expected == 1 ? 1u : expected == 2 ? 4u : 0u) << room;
    }
}

TEST(ConvertUTF, IsLegalUtf8) {
    struct Case {
        Bytes bytes;
        bool legal;
    };
    const Case cases[] = {
        {{0x00}, true},
        {{0x7F}, true},
        {{0x80}, false},
        {{0xC2}, false},  // a lead alone is not a whole character
        {{0xC2, 0x80}, true},
        {{0xC1, 0xBF}, false},
        {{0xC2, 0xC0}, false},
        {{0x41, 0x80}, false},
        {{0xE0, 0xA0, 0x80}, true},
        {{0xE0, 0x9F, 0x80}, false},
        {{0xED, 0x9F, 0xBF}, true},
        {{0xED, 0xA0, 0x80}, false},
        {{0xE1, 0x80, 0x7F}, false},
        {{0xC3, 0xA9, 0xA9}, false},
        {{0xF0, 0x90, 0x80, 0x80}, true},
        {{0xF0, 0x8F, 0x80, 0x80}, false},
        {{0xF4, 0x8F, 0xBF, 0xBF}, true},
        {{0xF4, 0x90, 0x80, 0x80}, false},
        {{0xF5, 0x80, 0x80, 0x80}, false},
        {{0xF1, 0x80, 0x80, 0xC0}, false},
        {{0xF8, 0x88, 0x80, 0x80, 0x80}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isLegalUTF8(c.bytes.data(), static_cast<int>(c.bytes.size())), c.legal)
            << "starting " << int(c.bytes[0]) << " length " << c.bytes.size();
    const UTF8 a = 0x41;
    EXPECT_FALSE(isLegalUTF8(&a, 0));
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

        const Run8 a = run8to16(bytes, units.size() + 4);
        EXPECT_EQ(a.result, conversionOK);
        EXPECT_EQ(a.consumed, bytes.size());
        EXPECT_EQ(a.out, units);
        const Run16 b = run16to8(units, bytes.size() + 4);
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
        const Run8 ours = run8to16(in, in.size() * 2 + 2);
        const OracleResult ref = iconvConvert("UTF-16LE", "UTF-8", in.data(), in.size());
        SCOPED_TRACE(testing::PrintToString(in));
        EXPECT_EQ(unitsAsBytes(ours.out.data(), ours.out.data() + ours.out.size()), ref.out);
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
        const Run16 ours = run16to8(in, in.size() * 3 + 3);
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
