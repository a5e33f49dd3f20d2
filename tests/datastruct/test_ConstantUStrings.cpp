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

struct Expected {
    const ustring& constant;
    const char* text;
};

TEST(ConstantUStrings, WordsHoldTheirTextsIncludingThePathLikeOnes) {
    const Expected cases[] = {
        {kString_sev, "sev"},
        {kString_parameterNotSet, "parameterNotSet"},
        {kString_P, "P"},
        {kString_always_fix, "always_fix"},
        {kString_min_sev, "min_sev"},
        {kString_Standards, "Standards/"},
        {kString_PDFX, "PDFX/"},
        {kString_Setting_PDFLevel, "PDFLevel/PDF%1"},
        {kString_spot_as_process, "spot_as_process"},
        {kString_Style_Mono, "Style/Mono"},
        {kString_Style_Process, "Style/Process"},
        {kString_Style_Spot, "Style/Spot"},
        {kString_Style_SpotAsProcess, "Style/SpotAsProcess"},
        {kString_Style_MultiSpot, "Style/MultiSpot"},
        {kString_Style_HiFi, "Style/HiFi"},
        {kString_combiningParameterLow, "combiningParameterLow"},
        {kString_requires2DPSFiles, "requires2DPSFiles"},
        {kString_mlkey, "mlkey"},
    };
    for (const Expected& c : cases) EXPECT_EQ(c.constant, c.text);
}

TEST(ConstantUStrings, ProblemNamesHoldTheirNames) {
    const Expected cases[] = {
        {eProblemImageRotated, "ImageRotated"},
        {eProblemSetting_PDFVersion, "Setting_PDFVersion"},
        {eProblemPlacedGraphicHasOveriddenProfile, "PlacedGraphicHasOveriddenProfile"},
        {eProblemPDFForICCHasEncrypedComments, "PDFForICCHasEncrypedComments"},
        {eProblemProductionDatePassedDEFUNCT, "ProductionDatePassedDEFUNCT"},
        {eProblemResTooLowImageSizeLimit, "ResTooLowImageSizeLimit"},
        {eProblemUndefined, ""},
    };
    for (const Expected& c : cases) EXPECT_EQ(c.constant, c.text);
}

TEST(ConstantUStrings, ThereAre323DistinctProblemNamesInDefinitionOrder) {
    const std::vector<ustring> names = allProblemNames();
    ASSERT_EQ(names.size(), 323u);
    EXPECT_EQ(names.front(), eProblemImageRotated);
    EXPECT_EQ(names[80], eProblemSetting_PDFVersion);
    EXPECT_EQ(names.back(), eProblemResTooLowImageSizeLimit);
    EXPECT_EQ(std::set<ustring>(names.begin(), names.end()).size(), 323u);
    for (const ustring& name : names) EXPECT_FALSE(name.empty());
}

TEST(ConstantUStrings, OneHundredWordsBeforeTheProblemNames) {
    EXPECT_EQ(constant_ustrings_detail::kString_sev, 0u);
    EXPECT_EQ(constant_ustrings_detail::kString_mlkey, 99u);
    EXPECT_EQ(constant_ustrings_detail::eProblemImageRotated, 100u);
}

}  // namespace
