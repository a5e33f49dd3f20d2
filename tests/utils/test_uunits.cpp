#include "UUnits.h"

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
        {UUnits::eUnit_Inch, 100.0, 1.389},        // 1.38888...
        {UUnits::eUnit_Centimeter, 100.0, 3.528},  // 3.52777...
        {UUnits::eUnit_Millimeter, 8.5, 3.0},      // 2.99861...
        {UUnits::eUnit_Millimeter, 100.0, 35.28},  // 35.2777...
        {UUnits::eUnit_Millimeter, -8.5, -3.0},   {UUnits::eUnit_Millimeter, 0.001, 0.0},
        {UUnits::eUnit_Pica, 100.0, 8.333},                                         // 8.33333...
        {UUnits::eUnit_Point, 1.005001, 1.01},    {UUnits::eUnit_Q, 100.0, 19.44},  // 19.4444...
        {UUnits::eUnit_Cicero, 100.0, 7.819},                                       // 7.81865...
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(UUnits(c.unit).RoundFloat(c.points), c.expected) << c.unit << " " << c.points;
}

TEST(UUnits, FactorsFollowTheUnitsDefinitions) {
    EXPECT_DOUBLE_EQ(UUnits(UUnits::eUnit_Inch).pointsPerUnit(), 72.0);
    EXPECT_DOUBLE_EQ(UUnits(UUnits::eUnit_Millimeter).pointsPerUnit() * 25.4, 72.0);
    EXPECT_DOUBLE_EQ(UUnits(UUnits::eUnit_Centimeter).pointsPerUnit() * 2.54, 72.0);
    EXPECT_DOUBLE_EQ(UUnits(UUnits::eUnit_Q).pointsPerUnit() * 14.0, 72.0);
    EXPECT_DOUBLE_EQ(UUnits(UUnits::eUnit_Cicero).pointsPerUnit(), 12.0 * 0.376 * 72.0 / 25.4);
    EXPECT_THROW(UUnits(static_cast<UUnits::UnitNamesEnum>(7)), std::invalid_argument);
    EXPECT_THROW(UUnits(static_cast<UUnits::UnitNamesEnum>(-1)), std::invalid_argument);
}

TEST(UUnits, RoundFloatGeneralAddsAHalfAndTruncatesTowardZero) {
    const double max = 2147483647.0;
    const struct {
        double value;
        int places;
        double expected;
    } cases[] = {
        {2.346, 2, 2.35},
        {-2.346, 2, -2.34},
        {-1.25, 0, 0.0},
        {450.6, 0, 451.0},
        {149.999, 2, 150.0},
        {1.44, 1, 1.4},
        {1234.0, -2, 1200.0},
        // Outside the 32-bit range the scaled value is clamped.
        {1e12, 0, max},
        {-1e12, 0, -2147483648.0},
        {3e7, 2, max / 100.0},
        {std::numeric_limits<double>::infinity(), 2, max / 100.0},
        {std::nan(""), 2, 0.0},
        // A scale too small for a double: everything rounds to 0.
        {5.0, -400, 0.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(UUnits::RoundFloatGeneral(c.value, c.places), c.expected)
            << c.value << " " << c.places;
}

}  // namespace
