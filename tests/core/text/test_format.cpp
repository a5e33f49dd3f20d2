#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <utility>

#include "text/ustring.h"
#include "text/ustring_utils.h"

namespace {

// Formats with the C library and with ustring::format, and compares.
template <typename... A>
void same(const std::string& fmt, A... args) {
    const int n = std::snprintf(nullptr, 0, fmt.c_str(), args...);
    ASSERT_GE(n, 0) << fmt;
    std::string expected(static_cast<size_t>(n), '\0');
    std::snprintf(expected.data(), expected.size() + 1, fmt.c_str(), args...);
    EXPECT_EQ(ustring::format(fmt.c_str(), args...).str(), expected) << "format \"" << fmt << '"';
}

// Every flag subset with every width and precision form, '*' ones included, for one value.
template <typename V>
void sweep(const std::string& conversion, V value) {
    for (unsigned mask = 0; mask < 32; ++mask) {
        std::string flags;
        for (unsigned f = 0; f < 5; ++f)
            if ((mask & (1u << f)) != 0) flags += "-+ #0"[f];
        const int width = mask % 2 == 0 ? 9 : -9;  // negative means left-justify
        const int precision = mask % 3 == 0 ? -1 : 4;
        for (const std::string w : {"", "7", "*"}) {
            for (const std::string p : {"", ".", ".3", ".*"}) {
                const std::string fmt = "<%" + flags + w + p + conversion + ">";
                if (w == "*" && p == ".*")
                    same(fmt, width, precision, value);
                else if (w == "*")
                    same(fmt, width, value);
                else if (p == ".*")
                    same(fmt, precision, value);
                else
                    same(fmt, value);
            }
        }
    }
}

TEST(FormatTable, EveryDirectiveFormOfEveryConversion) {
    for (const std::string conv : {"d", "i", "o", "u", "x", "X"}) {
        for (int v : {0, 7, -42, 70000, std::numeric_limits<int>::min()})
            for (const char* length : {"", "h", "hh"}) sweep(length + conv, v);
        for (long v : {0L, -1L, 1L << 40, std::numeric_limits<long>::max()}) sweep("l" + conv, v);
        for (long long v : {5LL, -(1LL << 50), std::numeric_limits<long long>::min()}) {
            sweep("ll" + conv, v);
            sweep("q" + conv, v);
        }
    }
    for (int v : {'A', ' '}) sweep("c", v);
    for (const std::string conv : {"e", "E", "f", "g", "G", "lf"}) {
        for (double v : {0.0, -0.0, 3.14159, -1.5, 1e-7, 123456789.125, 1e300, 2.5, -1e-300,
                         std::numeric_limits<double>::infinity(), std::nan("")})
            sweep(conv, v);
    }
    for (const char* v : {"", "ab", "hello world"}) sweep("s", v);
    int local = 0;
    for (const void* v : {static_cast<const void*>(nullptr), static_cast<const void*>(&local)}) sweep("p", v);
}

TEST(FormatTable, ManyConversionsAndLongOutput) {
    // More conversions than the records kept on the stack.
    auto run = []<size_t... I>(std::index_sequence<I...>) {
        std::string fmt;
        for (size_t i = 0; i < sizeof...(I); ++i) fmt += "%d,";
        same(fmt, static_cast<int>(I * 37) - 400 ...);
    };
    run(std::make_index_sequence<40>());
    EXPECT_EQ(ustring::format((std::string(100, '%') + "%d").c_str(), 9).str(), std::string(50, '%') + "9");
    // Conversions longer than the stack buffer.
    same("%.0f|%.250f", 1e308, -1e308);
    same("%300d", 5);
    same("%*s|", -700, "left");
    // Width and precision arguments of several conversions, in order.
    same("%*d|%.*f|%*.*s|%-*.*e", 5, 42, 2, 3.14159, -6, 2, "abc", 600, 200, 1.0 / 3);
}

TEST(Format, Examples) {
    const char* const null = nullptr;
    const std::pair<const char*, ustring> cases[] = {
        {"(null)", ustring::format("%s", null)},
        {"12|10|7|-5", ustring::format("%D|%O|%U|%lD", 12, 8, 7, -5L)},
        // What is no conversion is written as it stands, from the character after the percent sign.
        {"5", ustring::format("%5y")},
        {"abc", ustring::format("abc%")},
        {"\td", ustring::format("%\td")},  // a control character ends the directive
        {"x5", ustring::format("x%5")},    // a format that ends inside a directive
        // Positional arguments; slots no conversion uses read nothing.
        {"ab-00042", ustring::format("%2$s-%1$05d", 42, "ab")},
        {"   42", ustring::format("%2$*1$d", 5, 42)},
        {"second first", ustring::format("%2$s %s", "first", "second")},
        {"z", ustring::format("%3$s", "z")},
        {"", ustring::format("%300$d", 1)},
        {"31", ustring::format("%300$y%d", 1)},  // a literal keeps no index
    };
    for (const auto& [expected, got] : cases) EXPECT_EQ(got.str(), expected);
    const char unterminated[3] = {'x', 'y', 'z'};
    EXPECT_EQ(ustring::format("%.3s", unterminated), "xyz");
}

// Numbers for people in the fewest digits that read back; %.17g wrote 0.79999999999999993.
TEST(ShortestText, FewestDigitsThatReadBack) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {595, "595"},
        {0.1, "0.1"},
        {0.7999999999999999, "0.7999999999999999"},
        {1.0 / 3, "0.3333333333333333"},
        {51.02000000000001, "51.02000000000001"},  // one unit in the last place above 51.02
        {-0.0, "-0"},
        {1e6, "1000000"},
        {9007199254740992, "9007199254740992"},
        {1e16, "1e+16"},
        {123456789012345678e3, "1.2345678901234568e+20"},
        {1.5e-6, "0.0000015"},
        {1e-7, "1e-07"},
        {5e-324, "5e-324"},
        {-2.2250738585072014e-308, "-2.2250738585072014e-308"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {std::nan(""), "nan"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vnu::ShortestText(c.value), c.text);
        if (std::isfinite(c.value)) {
            EXPECT_EQ(std::strtod(c.text, nullptr), c.value) << c.text;
        }
    }
}

}  // namespace
