#include "ticket/DetectableProblemDescriptions.h"

#include <gtest/gtest.h>

#include "TicketBuilder.h"

namespace {

using ticket_builder::Msg;

// A problem's description as the companion sends it.
Msg description(const ustring& type) {
    return Msg().str("type", {type});
}

TEST(CompareSeverity, RanksIgnoreNoteWarnFaultAndEverythingElseAtZero) {
    const std::tuple<const char*, const char*, int> cases[] = {
        {"fault", "warn", 1},        {"note", "fault", -2},   {"notset", "ignore", -1},
        {"dynamic", "parameter", 0}, {"Fault", "ignore", -1}, {"fault", "", 4},
        {"parameterNotSet", "", 0},
    };
    for (const auto& [a, b, expected] : cases)
        EXPECT_EQ(compare_severity(a, b), expected) << a << " vs " << b;
}

TEST(ProblemDescription, TypeWordsUserUnitsAndDefaultsReadOnlyTheirOwnTypes) {
    const std::pair<Msg, ESettingType> cases[] = {
        {description("boolean"), eSettingType_Boolean},
        {description("limitsLow"), eSettingType_LimitsLow},
        {description("parameter"), eSettingType_Parameter},
        {description("combiningParameterLow"), eSettingType_CombiningParameterLow},
        {description("limitsLowSeverity"), eSettingType_Undefined},
        {description("Boolean"), eSettingType_Undefined},
        {Msg().ints("type", {1}).ints("userUnits", {1}).str("defaults", {"warn"}), eSettingType_Undefined},
    };
    for (const auto& [message, type] : cases) {
        const ProblemDescription d(&message.get());
        EXPECT_EQ(d.GetProblemTypeEnum(), type);
        EXPECT_FALSE(d.useUserUnits());
        EXPECT_EQ(d.GetDefaults(), nullptr);
    }
    EXPECT_EQ(ProblemDescription().GetProblemTypeEnum(), eSettingType_Undefined);
}

TEST(DetectableProblemDescriptions, KeepsMessageFieldsOnlyAndOutlivesTheirMessage) {
    const DetectableProblemDescriptions table = [] {
        Msg all = Msg().msg("Hairline", {description("limitsLow").flag("userUnits", {true})});
        all.str("CourierUsed", {"boolean"}).nullMsg("FloatTB");
        all.msg("FloatLR", {description("boolean"), description("limitsHigh")});
        all.msg("BlackUsed",
                {description("boolean").str("conflicts", {"BlackNotUsed", "ColourUsed", "Abc"})});
        all.msg("ColourUsed", {description("boolean").ints("conflicts", {4})});
        all.msg("MaxPlates", {description("limitsHigh").msg("defaults", {Msg().str("sev", {"fault"})})});
        return DetectableProblemDescriptions(&all.get());
    }();
    EXPECT_EQ(table.descriptions().size(), 5u);
    EXPECT_EQ(table.GetProblemDescription(eProblemHairline).GetProblemTypeEnum(), eSettingType_LimitsLow);
    EXPECT_TRUE(table.GetProblemDescription(eProblemHairline).useUserUnits());
    // Only the first of several descriptions counts.
    EXPECT_EQ(table.GetProblemDescription(eProblemFloatLR).GetProblemTypeEnum(), eSettingType_Boolean);
    for (const ustring& absent :
         {eProblemCourierUsed, eProblemFloatTB, eProblemUndefined, ustring("hairline")})
        EXPECT_TRUE(table.GetProblemDescription(absent).empty()) << absent;
    EXPECT_TRUE(DetectableProblemDescriptions(nullptr).descriptions().empty());

    EXPECT_EQ(table.GetConflicts(eProblemBlackUsed),
              (std::vector<ustring>{"BlackNotUsed", "ColourUsed", "Abc"}));
    EXPECT_TRUE(table.GetConflicts(eProblemColourUsed).empty());
    const auto defaults = table.GetProblemDescription(eProblemMaxPlates).GetDefaults();
    ASSERT_NE(defaults, nullptr);
    EXPECT_EQ(defaults->get<ustring>("sev", 0, ""), "fault");
}

}  // namespace
