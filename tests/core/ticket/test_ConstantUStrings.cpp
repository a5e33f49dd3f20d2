#include "ticket/ConstantUStrings.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Built during static initialisation, possibly before the constants' own translation unit has run
// its initialisers: the constants must already hold their texts.
const ustring kBuiltAtStartUp = kString_fault + "/" + eProblemHairline;

TEST(ConstantUStrings, TextsFromStaticInitialisersOnAnd323DistinctProblemNamesInOrder) {
    EXPECT_EQ(kBuiltAtStartUp, "fault/Hairline");
    const std::vector<ustring> names = allProblemNames();
    const std::set<ustring> distinct(names.begin(), names.end());
    EXPECT_EQ(std::pair(names.size(), distinct.size()), std::pair(size_t(323), size_t(323)));
    EXPECT_EQ(std::tuple(names.front(), names[80], names.back()),
              std::tuple("ImageRotated", "Setting_PDFVersion", "ResTooLowImageSizeLimit"));
    EXPECT_EQ(distinct.count(""), 0u);
}

}  // namespace
