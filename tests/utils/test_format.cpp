#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <utility>

#include "ustring.h"
#include "ustring_utils.h"

namespace {

// One conversion of a generated format, with the arguments its '*' parts take.
template <typename V>
struct Conv {
    std::string directive;
    bool widthStar = false;
    bool precisionStar = false;
    int width = 0;
    int precision = 0;
    V value{};
};

// Formats the arguments laid out so far with both formatters and compares.
template <typename Tuple>
void expand(const std::string& fmt, const Tuple& args) {
    std::apply(
        [&](auto... a) {
            const int n = std::snprintf(nullptr, 0, fmt.c_str(), a...);
            ASSERT_GE(n, 0) << fmt;
            std::string expected(static_cast<size_t>(n), '\0');
            std::snprintf(expected.data(), expected.size() + 1, fmt.c_str(), a...);
            EXPECT_EQ(ustring::format(fmt.c_str(), a...).str(), expected) << "format \"" << fmt << '"';
        },
        args);
}

// Lays the arguments out in the order a sequential format reads them: width, precision, value.
template <typename Tuple, typename V, typename... Rest>
void expand(const std::string& fmt, const Tuple& done, const Conv<V>& c, const Rest&... rest) {
    if (c.widthStar && c.precisionStar)
        expand(fmt, std::tuple_cat(done, std::make_tuple(c.width, c.precision, c.value)), rest...);
    else if (c.widthStar)
        expand(fmt, std::tuple_cat(done, std::make_tuple(c.width, c.value)), rest...);
    else if (c.precisionStar)
        expand(fmt, std::tuple_cat(done, std::make_tuple(c.precision, c.value)), rest...);
    else
        expand(fmt, std::tuple_cat(done, std::make_tuple(c.value)), rest...);
}

const char* const kWidths[] = {"", "7", "*"};
const char* const kPrecisions[] = {"", ".", ".3", ".*"};

// Every flag subset with every width and precision form, for one conversion and value.
template <typename V>
void sweepDirectives(const std::string& lengthAndConversion, V value) {
    const char flagChars[] = "-+ #0";
    for (unsigned mask = 0; mask < 32; ++mask) {
        std::string flags;
        for (unsigned f = 0; f < 5; ++f)
            if ((mask & (1u << f)) != 0) flags += flagChars[f];
        for (const char* width : kWidths) {
            for (const char* precision : kPrecisions) {
                Conv<V> c;
                c.directive = "%" + flags + width + precision + lengthAndConversion;
                c.widthStar = width[0] == '*';
                c.precisionStar = std::string(precision) == ".*";
                c.width = c.widthStar ? (mask % 2 == 0 ? 9 : -9) : 0;  // negative means left-justify
                c.precision = c.precisionStar ? (mask % 3 == 0 ? -1 : 4) : 0;
                c.value = value;
                expand("<" + c.directive + ">", std::tuple<>(), c);
            }
        }
    }
}

TEST(FormatTable, IntegerConversions) {
    for (const char* conv : {"d", "i", "o", "u", "x", "X"}) {
        for (int v : {0, 7, -42, 70000, std::numeric_limits<int>::min()}) {
            for (const char* length : {"", "h", "hh"}) sweepDirectives(std::string(length) + conv, v);
        }
        for (long v : {0L, -1L, 1L << 40, std::numeric_limits<long>::max()})
            sweepDirectives(std::string("l") + conv, v);
        for (long long v : {5LL, -(1LL << 50), std::numeric_limits<long long>::min()}) {
            sweepDirectives(std::string("ll") + conv, v);
            sweepDirectives(std::string("q") + conv, v);
        }
    }
    for (int v : {'A', 'z', ' '}) sweepDirectives("c", v);
}

TEST(FormatTable, FloatingConversions) {
    const double values[] = {0.0,           -0.0,  3.14159, -1.5,    1e-7,
                             123456789.125, 1e300, 2.5,     -1e-300, std::numeric_limits<double>::infinity(),
                             std::nan("")};
    for (const char* conv : {"e", "E", "f", "g", "G"}) {
        for (double v : values) {
            sweepDirectives(conv, v);
            sweepDirectives(std::string("l") + conv, v);
        }
    }
}

TEST(FormatTable, StringAndPointerConversions) {
    for (const char* v : {"", "ab", "hello world"}) sweepDirectives("s", v);
    int local = 0;
    for (const void* v : {static_cast<const void*>(nullptr), static_cast<const void*>(&local)})
        sweepDirectives("p", v);
}

// Random directives of one conversion family.
template <typename V>
Conv<V> randomConv(std::mt19937& rng, const std::vector<std::string>& conversions, V value) {
    Conv<V> c;
    c.directive = "%";
    for (char f : std::string("-+ #0"))
        if (rng() % 4 == 0) c.directive += f;
    switch (rng() % 3) {
        case 1: c.directive += std::to_string(1 + rng() % 25); break;
        case 2:
            c.directive += '*';
            c.widthStar = true;
            c.width = static_cast<int>(rng() % 41) - 20;
            break;
        default: break;
    }
    switch (rng() % 4) {
        case 1: c.directive += '.'; break;
        case 2: c.directive += "." + std::to_string(rng() % 20); break;
        case 3:
            c.directive += ".*";
            c.precisionStar = true;
            c.precision = static_cast<int>(rng() % 25) - 4;
            break;
        default: break;
    }
    c.directive += conversions[rng() % conversions.size()];
    c.value = value;
    return c;
}

std::string literal(std::mt19937& rng) {
    static const char* const pieces[] = {"", "x", " = ", "100%% ", "[", "abc def"};
    return pieces[rng() % std::size(pieces)];
}

TEST(FormatTable, RandomSequentialFormatsOfThreeConversions) {
    std::mt19937 rng(424242);
    const std::vector<std::string> ints = {"d", "i", "o", "u", "x", "X", "hd", "hhu"};
    const std::vector<std::string> longs = {"ld", "lu", "lx", "lld", "llX", "qd", "qo"};
    const std::vector<std::string> floats = {"e", "E", "f", "g", "G", "lf"};
    const std::vector<std::string> strings = {"s"};
    const std::vector<std::string> pointers = {"p"};
    const char* texts[] = {"", "a", "Varnel", "a longer text value"};
    for (int round = 0; round < 1500; ++round) {
        {
            const auto a = randomConv(rng, ints, static_cast<int>(rng()) >> (rng() % 31));
            const auto b =
                randomConv(rng, floats, std::ldexp(double(rng()) - 2147483648.0, int(rng() % 60) - 40));
            const auto c = randomConv(rng, strings, texts[rng() % std::size(texts)]);
            expand(literal(rng) + a.directive + literal(rng) + b.directive + literal(rng) + c.directive +
                       literal(rng),
                   std::tuple<>(), a, b, c);
        }
        {
            const long long big = (static_cast<long long>(rng()) << 32 | rng()) >> (rng() % 63);
            const auto a = randomConv(rng, longs, big);
            const auto b =
                randomConv(rng, pointers, reinterpret_cast<const void*>(static_cast<uintptr_t>(rng())));
            const auto c = randomConv(rng, std::vector<std::string>{"c"}, static_cast<int>('!' + rng() % 90));
            expand(a.directive + literal(rng) + b.directive + c.directive, std::tuple<>(), a, b, c);
        }
    }
}

TEST(FormatTable, ManyConversionsUseHeapRecords) {
    // 25 conversions keep segment records on the stack but not the argument table; 40 move both.
    auto run = []<size_t... I>(std::index_sequence<I...>) {
        std::string fmt;
        for (size_t i = 0; i < sizeof...(I); ++i) fmt += "%d,";
        expand(fmt, std::make_tuple(static_cast<int>(I * 37) - 400 ...));
    };
    run(std::make_index_sequence<25>());
    run(std::make_index_sequence<40>());
    std::string percents(100, '%');
    EXPECT_EQ(ustring::format((percents + "%d").c_str(), 9).str(), std::string(50, '%') + "9");
}

TEST(FormatTable, ConversionsLongerThanTheStackBuffer) {
    expand("%.250f", std::make_tuple(1e308));
    expand("%.0f|%f", std::make_tuple(1e308, -1e308));
    expand("%300d", std::make_tuple(5));
    expand("%-*.*e", std::make_tuple(600, 200, 1.0 / 3));
    expand("%.*f", std::make_tuple(400, 1e300));
    expand("%*s|", std::make_tuple(-700, "left"));
}

struct Case {
    const char* expected;
    ustring got;
};

TEST(Format, StringConversionsInHouse) {
    const Case cases[] = {
        {"(null)", ustring::format("%s", static_cast<const char*>(nullptr))},
        {"(null)", ustring::format("%10.2s", static_cast<const char*>(nullptr))},
        {"   ab", ustring::format("%5s", "ab")},
        {"ab   ", ustring::format("%-5s", "ab")},
        {"a", ustring::format("%.1s", "ab")},
        {"   ab", ustring::format("%05s", "ab")},
        {"ab   |", ustring::format("%*s|", -5, "ab")},
        {"abc", ustring::format("%.*s", -1, "abc")},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got.str(), c.expected);
    const char unterminated[3] = {'x', 'y', 'z'};
    EXPECT_EQ(ustring::format("%.3s", unterminated), "xyz");
}

TEST(Format, ParserLiteralsAndNonConversions) {
    const Case cases[] = {
        {"y", ustring::format("%y")},     {"5", ustring::format("%5y")},
        {"abc", ustring::format("abc%")}, {"100%", ustring::format("100%%")},
        {"Lf", ustring::format("%Lf")},   {"zu", ustring::format("%zu")},
        {"F", ustring::format("%F")},     {"a", ustring::format("%a")},
        {"-!", ustring::format("%-y!")},   // the character after the percent sign
        {"\td", ustring::format("%\td")},  // a control character ends the directive
        {"x5", ustring::format("x%5")},    // a format that ends inside a directive
        {"", ustring::format("")},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got.str(), c.expected);
}

TEST(Format, NumericConversions) {
    const Case cases[] = {
        {"3.14", ustring::format("%.*f", 2, 3.14159)},
        {"1099511627776", ustring::format("%ld", 1L << 40)},
        {"44 A", ustring::format("%hhd %c", 300, 'A')},
        {"4464", ustring::format("%hd", 70000)},
        {"12|10|7|-5", ustring::format("%D|%O|%U|%lD", 12, 8, 7, -5L)},
        {"-9223372036854775808", ustring::format("%qd", std::numeric_limits<long long>::min())},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got.str(), c.expected);
}

TEST(Format, PositionalArguments) {
    const Case cases[] = {
        {"ab-00042", ustring::format("%2$s-%1$05d", 42, "ab")},
        {"x x", ustring::format("%1$s %1$s", "x")},
        {"   42", ustring::format("%2$*1$d", 5, 42)},
        {"3.14", ustring::format("%1$.*2$f", 3.14159, 2)},
        {"second first", ustring::format("%2$s %s", "first", "second")},
        // Slots no conversion uses read nothing, so index 3 takes the first argument.
        {"z", ustring::format("%3$s", "z")},
        {"", ustring::format("%5$s", "z")},
        {"", ustring::format("%300$d", 1)},
        {"31", ustring::format("%300$y%d", 1)},  // a literal keeps no index
    };
    for (const Case& c : cases) EXPECT_EQ(c.got.str(), c.expected);
}

TEST(Format, CountConversionStoresBytesSoFar) {
    int count = -1;
    short shortCount = -1;
    long long longCount = -1;
    EXPECT_EQ(ustring::format("abc%n def%hn%s%lln", &count, &shortCount, "xy", &longCount), "abc defxy");
    EXPECT_EQ(count, 3);
    EXPECT_EQ(shortCount, 7);
    EXPECT_EQ(longCount, 9);
}

TEST(Format, ArgFillsTheLowestPlaceholder) {
    const ustring twoOfOne("%2 of %1");
    const ustring once = twoOfOne.arg(3);
    EXPECT_EQ(once, "%2 of 3");
    EXPECT_EQ(once.arg(7), "7 of 3");
    const Case cases[] = {
        {"no placeholders", ustring("no placeholders").arg(1)},
        {"50%", ustring("50%").arg(1)},
        {"%13", ustring("%1%1").arg(3)},
        {"00ff", ustring("%1").arg(255, 4, 16, '0')},
        {"ffffffff", ustring("%1").arg(-1, 0, 16)},
        {"10", ustring("%4").arg(8, 0, 8)},
        {"  -12|%9", ustring("%0|%9").arg(-12, 5)},
        {"101", ustring("%1").arg(101, 0, 2)},  // other bases write decimal
        {"%7", ustring("%%1").arg(7)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got.str(), c.expected);
}

TEST(Format, Float2StringNoTailing) {
    struct Row {
        double value;
        int decimals;
        const char* text;
        bool result;
    };
    const Row rows[] = {
        {1.5, 3, "1.5", true},       {2.0, 2, "2", true},           {10.0, 0, "10", true},
        {0.0004, 3, "0", false},     {-0.0, 2, "0", false},         {-0.0004, 3, "0", false},
        {100.0, 2, "100", true},     {123.4567, 2, "123.46", true}, {-2.5, 2, "-2.5", true},
        {1.0, -1, "1.000000", true},
    };
    for (const Row& r : rows) {
        ustring out("stale");
        EXPECT_EQ(Float2StringNoTailing(out, r.value, r.decimals), r.result) << r.value;
        EXPECT_EQ(out, r.text) << r.value << " with " << r.decimals;
    }
}

}  // namespace
