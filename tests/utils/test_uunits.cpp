#include "UUnits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

struct RoundCase {
    UUnits::UnitNamesEnum unit;
    double points;
    double expected;
};

class RoundFloatByUnit : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundFloatByUnit, RoundsToTheUnitsDecimalPlaces) {
    const RoundCase& c = GetParam();
    EXPECT_DOUBLE_EQ(UUnits(c.unit).RoundFloat(c.points), c.expected);
}

INSTANTIATE_TEST_SUITE_P(AllUnits, RoundFloatByUnit,
                         ::testing::Values(RoundCase{UUnits::eUnit_Inch, 100.0, 1.389},        // 1.38888...
                                           RoundCase{UUnits::eUnit_Centimeter, 100.0, 3.528},  // 3.52777...
                                           RoundCase{UUnits::eUnit_Millimeter, 8.5, 3.0},      // 2.99861...
                                           RoundCase{UUnits::eUnit_Millimeter, 100.0, 35.28},  // 35.2777...
                                           RoundCase{UUnits::eUnit_Pica, 100.0, 8.333},        // 8.33333...
                                           RoundCase{UUnits::eUnit_Point, 1.005001, 1.01},     //
                                           RoundCase{UUnits::eUnit_Q, 100.0, 19.44},           // 19.4444...
                                           RoundCase{UUnits::eUnit_Cicero, 100.0, 7.819},      // 7.81865...
                                           RoundCase{UUnits::eUnit_Millimeter, -8.5, -3.0},    //
                                           RoundCase{UUnits::eUnit_Millimeter, 0.001, 0.0}));

TEST(UUnits, FactorsAndDecimalsOfTheSevenUnits) {
    EXPECT_DOUBLE_EQ(UUnits(UUnits::eUnit_Inch).pointsPerUnit(), 72.0);
    EXPECT_DOUBLE_EQ(UUnits(UUnits::eUnit_Millimeter).pointsPerUnit() * 25.4, 72.0);
    EXPECT_DOUBLE_EQ(UUnits(UUnits::eUnit_Centimeter).pointsPerUnit() * 2.54, 72.0);
    EXPECT_DOUBLE_EQ(UUnits(UUnits::eUnit_Q).pointsPerUnit() * 14.0, 72.0);
    EXPECT_DOUBLE_EQ(UUnits(UUnits::eUnit_Cicero).pointsPerUnit(), 12.0 * 0.376 * 72.0 / 25.4);
    EXPECT_EQ(UUnits(UUnits::eUnit_Millimeter).decimals(), 2);
    EXPECT_EQ(UUnits(UUnits::eUnit_Pica).decimals(), 3);
}

TEST(UUnits, RejectsAnIndexOutsideTheTable) {
    EXPECT_THROW(UUnits(static_cast<UUnits::UnitNamesEnum>(7)), std::invalid_argument);
    EXPECT_THROW(UUnits(static_cast<UUnits::UnitNamesEnum>(-1)), std::invalid_argument);
}

TEST(UUnits, ProcessWideUnitsStartInMillimetres) {
    ASSERT_NE(g_units, nullptr);
    EXPECT_EQ(g_units->unit(), UUnits::eUnit_Millimeter);
}

struct GeneralCase {
    double value;
    int places;
    double expected;
};

class RoundFloatGeneralCases : public ::testing::TestWithParam<GeneralCase> {};

TEST_P(RoundFloatGeneralCases, AddsAHalfAndTruncatesTowardZero) {
    const GeneralCase& c = GetParam();
    EXPECT_DOUBLE_EQ(UUnits::RoundFloatGeneral(c.value, c.places), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Values, RoundFloatGeneralCases,
                         ::testing::Values(GeneralCase{2.346, 2, 2.35}, GeneralCase{-2.346, 2, -2.34},
                                           GeneralCase{-1.25, 0, 0.0}, GeneralCase{450.6, 0, 451.0},
                                           GeneralCase{149.999, 2, 150.0}, GeneralCase{1.44, 1, 1.4},
                                           GeneralCase{1234.0, -2, 1200.0}));

TEST(UUnits, RoundFloatGeneralClampsOutsideThe32BitRange) {
    EXPECT_DOUBLE_EQ(UUnits::RoundFloatGeneral(1e12, 0), 2147483647.0);
    EXPECT_DOUBLE_EQ(UUnits::RoundFloatGeneral(-1e12, 0), -2147483648.0);
    EXPECT_DOUBLE_EQ(UUnits::RoundFloatGeneral(3e7, 2), 2147483647.0 / 100.0);
    EXPECT_DOUBLE_EQ(UUnits::RoundFloatGeneral(std::numeric_limits<double>::infinity(), 2),
                     2147483647.0 / 100.0);
    EXPECT_DOUBLE_EQ(UUnits::RoundFloatGeneral(std::nan(""), 2), 0.0);
}

}  // namespace
