#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "flat_map.h"
#include "umessage.h"

namespace {

using umessage_details::dyn_array_impl;

template <class T>
const dyn_array_impl<T>& arrayOf(const umessage& m, const char* name) {
    auto it = m.entries().find(name);
    EXPECT_NE(it, m.entries().end());
    return dynamic_cast<const dyn_array_impl<T>&>(*it->second);
}

template <class T>
void expectThrowsWith(const char* text, auto&& action) {
    try {
        action();
        ADD_FAILURE() << "no exception, expected " << text;
    } catch (const T& e) {
        EXPECT_STREQ(e.what(), text);
    }
}

TEST(FlatMap, KeepsKeysSortedByUnsignedBytes) {
    vnu::flat_map<ustring, int> map;
    map["b"] = 1;
    map["\xff"] = 2;
    map["a"] = 3;
    map["ab"] = 4;
    map["a"] += 10;
    std::vector<std::string> keys;
    for (const auto& [k, v] : map) keys.push_back(k.str());
    EXPECT_EQ(keys, (std::vector<std::string>{"a", "ab", "b", "\xff"}));
    EXPECT_EQ(map.find("a")->second, 13);
    EXPECT_EQ(map.find("aa"), map.end());
    EXPECT_EQ(map.find("c"), map.end());
}

TEST(UMessageAdd, ValuesAccumulateInOrderAndMarkArrays) {
    umessage m;
    m.addData_priv<int>("n", umessage_type_int, 3, false);
    EXPECT_FALSE(arrayOf<int>(m, "n").isArray);
    m.addData_priv<int>("n", umessage_type_int, 1, false);
    m.addData_priv<int>("n", umessage_type_int, 2, false);
    EXPECT_TRUE(arrayOf<int>(m, "n").isArray);
    EXPECT_EQ(arrayOf<int>(m, "n").values, (std::vector<int>{3, 1, 2}));

    m.addData_priv<ustring>("s", umessage_type_string, "x", true);
    EXPECT_TRUE(arrayOf<ustring>(m, "s").isArray);
    // An existing entry keeps its flag whatever a later add asks for.
    m.addData_priv<bool>("b", umessage_type_bool, true, false);
    m.addData_priv<bool>("b", umessage_type_bool, false, true);
    EXPECT_EQ(arrayOf<bool>(m, "b").values, (std::vector<bool>{true, false}));
}

TEST(UMessageAdd, RejectsBadTypesAndNamesWithoutChange) {
    umessage m;
    m.addData_priv<double>("d", umessage_type_double, 1.5, false);
    expectThrowsWith<std::logic_error>("incompatible type",
                                       [&] { m.addData_priv<int>("d", umessage_type_int, 1, false); });
    expectThrowsWith<std::logic_error>("incompatible type",
                                       [&] { m.addData_priv<double>("d", umessage_type_int, 1.0, false); });
    EXPECT_EQ(arrayOf<double>(m, "d").values, (std::vector<double>{1.5}));

    for (const char* bad : {"", "a/b", "/", "what?", "?"}) {
        expectThrowsWith<std::invalid_argument>(
            "empty or invalid name", [&] { m.addData_priv<int>(bad, umessage_type_int, 1, false); });
    }
    // The type is checked before the name.
    expectThrowsWith<std::invalid_argument>("type is null",
                                            [&] { m.addData_priv<int>("", umessage_type_null, 1, false); });
    EXPECT_EQ(m.getNames(), (std::vector<ustring>{"d"}));
}

umessage single(umessage_type_id type, double d, long long ll) {
    umessage m;
    if (type == umessage_type_double) m.addData_priv<double>("v", type, d, false);
    if (type == umessage_type_int) m.addData_priv<int>("v", type, static_cast<int>(ll), false);
    if (type == umessage_type_longlong) m.addData_priv<long long>("v", type, ll, false);
    return m;
}

TEST(UMessageFind, IntFromCompatibleTypes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        umessage_type_id type;
        double d;
        long long ll;
        int want;
    } cases[] = {
        {umessage_type_int, 0, -7, -7},
        {umessage_type_double, -2.7, 0, -2},
        {umessage_type_double, 2.9999, 0, 2},
        {umessage_type_double, 1e10, 0, INT_MIN},
        {umessage_type_double, -1e10, 0, INT_MIN},
        {umessage_type_double, 2147483647.5, 0, INT_MAX},
        {umessage_type_double, -2147483648.9, 0, INT_MIN},
        {umessage_type_double, nan, 0, INT_MIN},
        {umessage_type_longlong, 0, 4294967297LL, 1},
        {umessage_type_longlong, 0, -1, -1},
        {umessage_type_longlong, 0, 0x80000000LL, INT_MIN},
    };
    for (const auto& c : cases) {
        int out = 99;
        EXPECT_TRUE(single(c.type, c.d, c.ll).find<int>("v", 0, out)) << c.type << ' ' << c.d;
        EXPECT_EQ(out, c.want) << c.type << ' ' << c.d << ' ' << c.ll;
    }
}

TEST(UMessageFind, DoubleFromCompatibleTypes) {
    struct Case {
        umessage_type_id type;
        double d;
        long long ll;
        double want;
    } cases[] = {
        {umessage_type_double, -0.5, 0, -0.5},
        {umessage_type_int, 0, 3, 3.0},
        {umessage_type_int, 0, INT_MIN, -2147483648.0},
        {umessage_type_longlong, 0, (1LL << 53) + 1, 9007199254740992.0},
        {umessage_type_longlong, 0, LLONG_MIN, -9223372036854775808.0},
    };
    for (const auto& c : cases) {
        double out = 99;
        EXPECT_TRUE(single(c.type, c.d, c.ll).find<double>("v", 0, out));
        EXPECT_EQ(out, c.want);
    }
}

TEST(UMessageFind, FailuresLeaveOutputUnchanged) {
    umessage m;
    m.addData_priv<int>("i", umessage_type_int, 5, false);
    m.addData_priv<ustring>("s", umessage_type_string, "text", false);
    ustring s = "keep";
    bool b = true;
    int i = 42;
    double d = 4.2;
    EXPECT_FALSE(m.find<ustring>("i", 0, s));
    EXPECT_FALSE(m.find<bool>("i", 0, b));
    EXPECT_FALSE(m.find<int>("s", 0, i));
    EXPECT_FALSE(m.find<double>("s", 0, d));
    EXPECT_FALSE(m.find<int>("i", 1, i));
    EXPECT_FALSE(m.find<int>("missing", 0, i));
    EXPECT_EQ(s, "keep");
    EXPECT_TRUE(b);
    EXPECT_EQ(i, 42);
    EXPECT_EQ(d, 4.2);
    EXPECT_TRUE(m.find<ustring>("s", 0, s));
    EXPECT_EQ(s, "text");
    EXPECT_EQ(m.get<int>("i", 0, 7), 5);
    EXPECT_EQ(m.get<int>("i", 3, 7), 7);
}

TEST(UMessageFind, NestedMessagesThroughConstPointers) {
    auto inner = std::make_shared<umessage>();
    inner->addData_priv<int>("x", umessage_type_int, 1, false);
    umessage m;
    m.addData_priv<std::shared_ptr<umessage>>("m", umessage_type_message, inner, false);
    auto got = m.get<std::shared_ptr<umessage const>>("m", 0, nullptr);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got.get(), inner.get());
    EXPECT_EQ(m.get<std::shared_ptr<umessage const>>("m", 1, nullptr), nullptr);
    EXPECT_EQ(m.get<std::shared_ptr<umessage const>>("x", 0, nullptr), nullptr);
}

TEST(UMessageInspect, HasDataGetInfoAndNames) {
    umessage m;
    m.addData_priv<int>("b", umessage_type_int, 1, false);
    m.addData_priv<int>("a", umessage_type_int, 1, false);
    m.addData_priv<int>("a", umessage_type_int, 2, false);
    m.addData_priv<int>("ab", umessage_type_int, 1, false);
    EXPECT_EQ(m.getNames(), (std::vector<ustring>{"a", "ab", "b"}));
    EXPECT_FALSE(m.hasData("b", 0, 1));
    EXPECT_TRUE(m.hasData("a", 0, 1));
    EXPECT_TRUE(m.hasData("a", umessage_type_int, 1));
    EXPECT_FALSE(m.hasData("a", umessage_type_double, 0));
    EXPECT_FALSE(m.hasData("zz"));
    EXPECT_TRUE(m.hasData("ab"));
    unsigned count = 99;
    EXPECT_FALSE(m.getInfo("zz", count));
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(m.getInfo("a", count));
    EXPECT_EQ(count, 2u);

    m.erase("a");
    m.erase("missing");
    EXPECT_EQ(m.getNames(), (std::vector<ustring>{"ab", "b"}));
    m.clear();
    EXPECT_TRUE(m.empty());
}

TEST(UMessageEquality, ByNameTypeAndValueOrder) {
    umessage x, y;
    x.addData_priv<int>("a", umessage_type_int, 1, false);
    x.addData_priv<ustring>("b", umessage_type_string, "t", false);
    y.addData_priv<ustring>("b", umessage_type_string, "t", true);  // isArray is not compared
    y.addData_priv<int>("a", umessage_type_int, 1, false);
    EXPECT_TRUE(x == y);

    x.addData_priv<int>("a", umessage_type_int, 2, false);
    y.addData_priv<int>("a", umessage_type_int, 3, false);
    EXPECT_FALSE(x == y);

    umessage p, q;
    p.addData_priv<int>("a", umessage_type_int, 1, false);
    p.addData_priv<int>("a", umessage_type_int, 2, false);
    q.addData_priv<int>("a", umessage_type_int, 2, false);
    q.addData_priv<int>("a", umessage_type_int, 1, false);
    EXPECT_FALSE(p == q);

    umessage i, l;  // same value, different type
    i.addData_priv<int>("a", umessage_type_int, 1, false);
    l.addData_priv<long long>("a", umessage_type_longlong, 1, false);
    EXPECT_FALSE(i == l);

    umessage z1, z2, n;
    z1.addData_priv<double>("d", umessage_type_double, 0.0, false);
    z2.addData_priv<double>("d", umessage_type_double, -0.0, false);
    EXPECT_TRUE(z1 == z2);
    n.addData_priv<double>("d", umessage_type_double, std::nan(""), false);
    umessage nCopy(n);
    EXPECT_FALSE(n == nCopy);
}

TEST(UMessageCopy, DeepAndIndependent) {
    auto inner = std::make_shared<umessage>();
    inner->addData_priv<int>("x", umessage_type_int, 1, false);
    umessage m;
    m.addData_priv<std::shared_ptr<umessage>>("m", umessage_type_message, inner, true);
    m.addData_priv<bool>("b", umessage_type_bool, true, false);

    umessage copy(m);
    EXPECT_TRUE(copy == m);  // nested messages compare by value
    EXPECT_TRUE(arrayOf<std::shared_ptr<umessage>>(copy, "m").isArray);
    auto copiedInner = arrayOf<std::shared_ptr<umessage>>(copy, "m").values[0];
    EXPECT_NE(copiedInner.get(), inner.get());
    inner->addData_priv<int>("x", umessage_type_int, 2, false);
    EXPECT_FALSE(copy == m);

    umessage assigned;
    assigned.addData_priv<int>("old", umessage_type_int, 1, false);
    assigned = m;
    EXPECT_TRUE(assigned == m);
    EXPECT_FALSE(assigned.hasData("old"));
    auto& self = assigned;
    assigned = self;
    EXPECT_TRUE(assigned == m);
}

TEST(UMessageArrays, EraseDataMovesLaterValuesDown) {
    umessage m;
    for (int v : {1, 2, 3}) m.addData_priv<int>("a", umessage_type_int, v, false);
    auto it = m.entries().find("a");
    const_cast<umessage_details::dyn_array&>(*it->second).eraseData(0);
    EXPECT_EQ(arrayOf<int>(m, "a").values, (std::vector<int>{2, 3}));
}

TEST(SplitText, DropsEmptyPieces) {
    struct Case {
        const char* text;
        char sep;
        std::vector<ustring> want;
    } cases[] = {
        {"/a//b/", '/', {"a", "b"}},     {"", '/', {}}, {"///", '/', {}}, {"abc", '/', {"abc"}},
        {"a:b:c", ':', {"a", "b", "c"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Split<ustring>(c.text, c.sep), c.want) << c.text;
}

}  // namespace
