#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "text/ConvertUTF.h"

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

template <typename From, typename To>
Run<To> convert(ConversionResult (*fn)(const From**, const From*, To**, To*, ConversionFlags),
                const std::vector<From>& in) {
    std::vector<To> out(16);
    const From* src = in.data();
    To* dst = out.data();
    const ConversionResult r =
        fn(&src, in.data() + in.size(), &dst, out.data() + out.size(), strictConversion);
    out.resize(static_cast<size_t>(dst - out.data()));
    return {r, static_cast<size_t>(src - in.data()), out};
}

Run<UTF16> run8to16(const Bytes& in) {
    return convert(ConvertUTF8toUTF16, in);
}

Run<UTF8> run16to8(const Units& in) {
    return convert(ConvertUTF16toUTF8, in);
}

TEST(ConvertUTF, HandCheckedVectorsBothWays) {
    std::istringstream rows(  // UTF-8 bytes | UTF-16 units
        "41 00 42|41 00 42,7F|7F,C2 80|80,DF BF|7FF,E0 A0 80|800,E2 82 AC|20AC,ED 9F BF|D7FF,EE 80 80|E000,"
        "EF BF BF|FFFF,F0 90 80 80|D800 DC00,F0 9F 98 80|D83D DE00,F4 8F BF BF|DBFF DFFF,|");
    for (std::string row; std::getline(rows, row, ',');) {
        const Bytes utf8 = hex<UTF8>(row.substr(0, row.find('|')));
        const Units utf16 = hex<UTF16>(row.substr(row.find('|') + 1));
        const auto a = run8to16(utf8);
        EXPECT_EQ(std::tie(a.result, a.consumed, a.out), std::tuple(conversionOK, utf8.size(), utf16)) << row;
        const auto b = run16to8(utf16);
        EXPECT_EQ(std::tie(b.result, b.consumed, b.out), std::tuple(conversionOK, utf16.size(), utf8)) << row;
    }
}

TEST(ConvertUTF, LoneSurrogatesStopAStrictConversion) {
    const auto lone = run16to8({0x41, 0xDC00, 0x42});
    EXPECT_EQ(std::tie(lone.result, lone.consumed), std::tuple(sourceIllegal, 1u));
    // A high surrogate at the very end may be completed by the next block.
    const auto cut = run16to8({0x41, 0xD83D});
    EXPECT_EQ(std::tie(cut.result, cut.consumed, cut.out), std::tuple(sourceExhausted, 1u, Bytes{0x41}));
}

}  // namespace
