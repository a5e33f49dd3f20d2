#include "ConstantUStrings.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Built during static initialisation, possibly before the constants' own translation unit has run
// its initialisers: the constants must already hold their texts.
const ustring kBuiltAtStartUp = kString_fault + "/" + eProblemHairline;

TEST(ConstantUStrings, TextsIncludingThePathLikeWordsFromStaticInitialisersOn) {
    EXPECT_EQ(kBuiltAtStartUp, "fault/Hairline");
    const std::pair<const ustring&, const char*> cases[] = {
        {kString_Standards, "Standards/"},
        {kString_PDFX, "PDFX/"},
        {kString_Setting_PDFLevel, "PDFLevel/PDF%1"},
        {kString_Style_SpotAsProcess, "Style/SpotAsProcess"},
        {kString_mlkey, "mlkey"},
        {eProblemUndefined, ""},
    };
    for (const auto& [constant, text] : cases) EXPECT_EQ(constant, text);
}

TEST(ConstantUStrings, ThereAre323DistinctProblemNamesInDefinitionOrder) {
    const std::vector<ustring> names = allProblemNames();
    ASSERT_EQ(names.size(), 323u);
    EXPECT_EQ(names.front(), "ImageRotated");
    EXPECT_EQ(names[80], "Setting_PDFVersion");
    EXPECT_EQ(names.back(), "ResTooLowImageSizeLimit");
    const std::set<ustring> distinct(names.begin(), names.end());
    EXPECT_EQ(distinct.size(), 323u);
    EXPECT_EQ(distinct.count(""), 0u);
}

}  // namespace
