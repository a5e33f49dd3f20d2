#include "BInkValues.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
std::vector<double> Components(const BInkValues& ink) {
    return std::vector<double>(ink.GetValues(), ink.GetValues() + ink.GetCount());
}
}  // namespace

TEST(BInkValues, Constants) {
    using V = std::vector<double>;
    EXPECT_EQ(Components(BInkValues::kDeviceCMYKBlack), (V{0, 0, 0, 1}));
    EXPECT_EQ(Components(BInkValues::kDeviceCMYKWhite), (V{0, 0, 0, 0}));
    EXPECT_EQ(Components(BInkValues::kDeviceGrayBlack), (V{0}));
    EXPECT_EQ(Components(BInkValues::kDeviceGrayWhite), (V{1}));
    EXPECT_EQ(Components(BInkValues::kSeparationWhite), (V{0}));
    EXPECT_EQ(Components(BInkValues::kRGBWhite), (V{1, 1, 1}));
    EXPECT_EQ(Components(BInkValues::kRGBBlack), (V{0, 0, 0}));
}

TEST(BInkValues, CopiesOwnTheirComponents) {
    BInkValues copy = BInkValues::kRGBWhite;
    EXPECT_NE(copy.GetValues(), BInkValues::kRGBWhite.GetValues());
    copy = BInkValues::kDeviceCMYKBlack;
    EXPECT_EQ(copy.GetCount(), 4);
    EXPECT_EQ(copy[3], 1.0);
}
