#include "BInkValues.h"

#include <gtest/gtest.h>

#include <vector>

TEST(BInkValues, ConstantsAndCopiesOwningTheirComponents) {
    using V = std::vector<double>;
    const auto components = [](const BInkValues& ink) {
        return V(ink.GetValues(), ink.GetValues() + ink.GetCount());
    };
    const std::pair<const BInkValues&, V> cases[] = {
        {BInkValues::kDeviceCMYKBlack, {0, 0, 0, 1}}, {BInkValues::kDeviceCMYKWhite, {0, 0, 0, 0}},
        {BInkValues::kDeviceGrayBlack, {0}},          {BInkValues::kDeviceGrayWhite, {1}},
        {BInkValues::kSeparationWhite, {0}},          {BInkValues::kRGBWhite, {1, 1, 1}},
        {BInkValues::kRGBBlack, {0, 0, 0}},
    };
    for (const auto& [ink, values] : cases) EXPECT_EQ(components(ink), values);
    BInkValues copy = BInkValues::kRGBWhite;
    EXPECT_NE(copy.GetValues(), BInkValues::kRGBWhite.GetValues());
    copy = BInkValues::kDeviceCMYKBlack;
    EXPECT_EQ(components(copy), (V{0, 0, 0, 1}));
}
