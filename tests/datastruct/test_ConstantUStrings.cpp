#include "ConstantUStrings.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Built during static initialisation, possibly before the constants' own translation unit has run
// its initialisers: the constants must already hold their texts.
const ustring kBuiltAtStartUp = kString_fault + "/" + eProblemHairline;

TEST(ConstantUStrings, UsableFromStaticInitialisers) {
    EXPECT_EQ(kBuiltAtStartUp, "fault/Hairline");
}

TEST(ConstantUStrings, ConstantsHoldTheirTextsIncludingThePathLikeWords) {
    struct Expected {
        const ustring& constant;
        const char* text;
    };
    const Expected cases[] = {
        {kString_Standards, "Standards/"},
        {kString_PDFX, "PDFX/"},
        {kString_Setting_PDFLevel, "PDFLevel/PDF%1"},
        {kString_Style_Mono, "Style/Mono"},
        {kString_Style_Process, "Style/Process"},
        {kString_Style_Spot, "Style/Spot"},
        {kString_Style_SpotAsProcess, "Style/SpotAsProcess"},
        {kString_Style_MultiSpot, "Style/MultiSpot"},
        {kString_Style_HiFi, "Style/HiFi"},
        {kString_mlkey, "mlkey"},
        {eProblemSetting_PDFVersion, "Setting_PDFVersion"},
        {eProblemPlacedGraphicHasOveriddenProfile, "PlacedGraphicHasOveriddenProfile"},
        {eProblemUndefined, ""},
    };
    for (const Expected& c : cases) EXPECT_EQ(c.constant, c.text);
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
