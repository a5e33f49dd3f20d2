#include "support/UUnits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

TEST(UUnits, RoundFloatKeepsEachUnitsDecimalPlaces) {
    const struct {
        UUnits::UnitNamesEnum unit;
        double points, expected;
    } cases[] = {
        {UUnits::eUnit_Inch, 100.0, 1.389},     {UUnits::eUnit_Centimeter, 100.0, 3.528},
        {UUnits::eUnit_Millimeter, 8.5, 3.0},   {UUnits::eUnit_Millimeter, -8.5, -3.0},
        {UUnits::eUnit_Millimeter, 0.001, 0.0}, {UUnits::eUnit_Pica, 100.0, 8.333},
        {UUnits::eUnit_Point, 1.005001, 1.01},  {UUnits::eUnit_Q, 100.0, 19.44},
        {UUnits::eUnit_Cicero, 100.0, 7.819},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(UUnits(c.unit).RoundFloat(c.points), c.expected) << c.unit << " " << c.points;
    for (int bad : {7, -1})
        EXPECT_THROW(UUnits(static_cast<UUnits::UnitNamesEnum>(bad)), std::invalid_argument);
}

TEST(UUnits, RoundFloatGeneralAddsAHalfAndTruncatesTowardZero) {
    // Outside the 32-bit range the scaled value is clamped; too small a scale rounds to 0.
    const double max = 2147483647.0;
    const struct {
        double value;
        int places;
        double expected;
    } cases[] = {
        {2.346, 2, 2.35},       {-2.346, 2, -2.34},
        {-1.25, 0, 0.0},        {450.6, 0, 451.0},
        {149.999, 2, 150.0},    {1234.0, -2, 1200.0},
        {1e12, 0, max},         {-1e12, 0, -2147483648.0},
        {3e7, 2, max / 100.0},  {std::numeric_limits<double>::infinity(), 2, max / 100.0},
        {std::nan(""), 2, 0.0}, {5.0, -400, 0.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(UUnits::RoundFloatGeneral(c.value, c.places), c.expected)
            << c.value << " " << c.places;
}

}  // namespace
