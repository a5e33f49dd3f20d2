#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <stdexcept>
#include <string>

#include "TicketBuilder.h"
#include "message/umessage.h"

namespace {

using ticket_builder::Msg;
using umessage_details::dyn_array_impl;
using Names = std::vector<ustring>;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

template <class T>
const dyn_array_impl<T>& arrayOf(const umessage& m, const char* name) {
    return dynamic_cast<const dyn_array_impl<T>&>(*m.entries().find(name)->second);
}

TEST(UMessageAdd, ValuesAccumulateInOrderAndMarkArrays) {
    umessage m;
    for (int v : {3, 1, 2}) m.addData_priv<int>("n", umessage_type_int, v, false);
    EXPECT_TRUE(arrayOf<int>(m, "n").isArray);  // a second value makes an array
    EXPECT_EQ(arrayOf<int>(m, "n").values, (std::vector<int>{3, 1, 2}));

    m.addData_priv<double>("d", umessage_type_double, 1.5, false);
    const auto incompatible = ThrowsMessage<std::logic_error>(StrEq("incompatible type"));
    EXPECT_THAT([&] { m.addData_priv<int>("d", umessage_type_int, 1, false); }, incompatible);
    EXPECT_THAT([&] { m.addData_priv<double>("d", umessage_type_int, 1.0, false); }, incompatible);
    EXPECT_EQ(arrayOf<double>(m, "d").values, (std::vector<double>{1.5}));
    for (const char* bad : {"", "a/b", "what?"})
        EXPECT_THAT([&] { m.addData_priv<int>(bad, umessage_type_int, 1, false); },
                    ThrowsMessage<std::invalid_argument>(StrEq("empty or invalid name")));
    // The type is checked before the name.
    EXPECT_THAT([&] { m.addData_priv<int>("", umessage_type_null, 1, false); },
                ThrowsMessage<std::invalid_argument>(StrEq("type is null")));
    EXPECT_EQ(m.getNames(), (Names{"d", "n"}));
}

TEST(UMessageFind, NumbersConvertBetweenTypes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        Msg m;
        int asInt;
        double asDouble;
    } cases[] = {
        {Msg().num("v", {-2.7}), -2, -2.7},
        {Msg().num("v", {1e10}), INT_MIN, 1e10},
        {Msg().num("v", {2147483647.5}), INT_MAX, 2147483647.5},
        {Msg().num("v", {-2147483648.9}), INT_MIN, -2147483648.9},
        {Msg().longs("v", {0x80000000LL}), INT_MIN, 2147483648.0},
        {Msg().longs("v", {(1LL << 53) + 1}), 1, 9007199254740992.0},
        {Msg().longs("v", {LLONG_MIN}), 0, -9223372036854775808.0},
    };
    for (const auto& c : cases) {
        int i = 99;
        double d = 99;
        EXPECT_TRUE(c.m.get().find<int>("v", 0, i) && c.m.get().find<double>("v", 0, d));
        EXPECT_EQ(std::tuple(i, d), std::tuple(c.asInt, c.asDouble)) << c.asDouble;
    }
    int i = 99;
    EXPECT_TRUE(Msg().num("v", {nan}).get().find<int>("v", 0, i));
    EXPECT_EQ(i, INT_MIN);
}

TEST(UMessageFind, FailuresLeaveOutputUnchanged) {
    const umessage m = Msg().ints("i", {5}).str("s", {"text"}).get();
    ustring s = "keep";
    bool b = true;
    int i = 42;
    double d = 4.2;
    EXPECT_FALSE(m.find<ustring>("i", 0, s) || m.find<bool>("i", 0, b) || m.find<int>("s", 0, i) ||
                 m.find<double>("s", 0, d) || m.find<int>("i", 1, i) || m.find<int>("missing", 0, i));
    EXPECT_EQ(std::tuple(s, b, i, d), std::tuple(ustring("keep"), true, 42, 4.2));
    EXPECT_EQ(m.get<int>("i", 3, 7), 7);

    EXPECT_EQ(m.get<std::shared_ptr<umessage const>>("i", 0, nullptr), nullptr);
}

TEST(UMessageEquality, ByNameTypeAndValueOrder) {
    // Adding order of names and the array flag do not count; the order of values and the type do.
    EXPECT_TRUE(Msg().ints("a", {1}).str("b", {"t"}).get() ==
                Msg().add<ustring>("b", {"t"}, true).ints("a", {1}).get());
    EXPECT_FALSE(Msg().ints("a", {1, 2}).get() == Msg().ints("a", {2, 1}).get());
    EXPECT_FALSE(Msg().ints("a", {1}).get() == Msg().longs("a", {1}).get());
}

}  // namespace
