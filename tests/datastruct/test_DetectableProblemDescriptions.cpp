#include "DetectableProblemDescriptions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "TicketBuilder.h"

namespace {

using ticket_builder::Msg;

// A problem's description as the companion sends it.
Msg description(const ustring& type) {
    return Msg().str("type", {type});
}

TEST(CompareSeverity, RanksIgnoreNoteWarnFaultAndEverythingElseAtZero) {
    struct Case {
        const char* a;
        const char* b;
        int expected;
    };
    const Case cases[] = {
        {"fault", "warn", 1},        {"note", "fault", -2},   {"notset", "ignore", -1},
        {"dynamic", "parameter", 0}, {"Fault", "ignore", -1}, {"fault", "", 4},
        {"parameterNotSet", "", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(compare_severity(c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

TEST(SeverityWords, EveryWordMapsToItsSeverityAndBackByteForByte) {
    const char* words[] = {"notset", "ignore",  "note",      "warn",
                           "fault",  "dynamic", "parameter", "parameterNotSet"};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(severityFromWord(words[i]), static_cast<EProblemSeverity>(i));
        EXPECT_EQ(severityWord(static_cast<EProblemSeverity>(i)), words[i]);
    }
    EXPECT_EQ(severityFromWord("WARN"), eProblemSeverity_NotSet);
    EXPECT_EQ(severityWord(static_cast<EProblemSeverity>(8)), "");
}

TEST(ProblemDescription, TypeWordsGiveTheirSettingTypesAndAnythingElseUndefined) {
    struct Case {
        Msg message;
        ESettingType expected;
    };
    const Case cases[] = {
        {description("boolean"), eSettingType_Boolean},
        {description("limitsLow"), eSettingType_LimitsLow},
        {description("limitsHigh"), eSettingType_LimitsHigh},
        {description("parameter"), eSettingType_Parameter},
        {description("stringParameter"), eSettingType_StringParameter},
        {description("combiningParameterLow"), eSettingType_CombiningParameterLow},
        {description("range"), eSettingType_Undefined},
        {description("limitsLowSeverity"), eSettingType_Undefined},
        {description("Boolean"), eSettingType_Undefined},
        {Msg().flag("userUnits", {true}), eSettingType_Undefined},
        {Msg().ints("type", {1}), eSettingType_Undefined},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProblemDescription(&c.message.get()).GetProblemTypeEnum(), c.expected);
    EXPECT_EQ(ProblemDescription().GetProblemTypeEnum(), eSettingType_Undefined);
}

TEST(ProblemDescription, UserUnitsAndDefaultsReadOnlyTheirOwnTypes) {
    Msg wrong = description("limitsHigh").ints("userUnits", {1}).str("defaults", {"warn"});
    for (const ProblemDescription& d : {ProblemDescription(&wrong.get()), ProblemDescription()}) {
        EXPECT_FALSE(d.useUserUnits());
        EXPECT_EQ(d.GetDefaults(), nullptr);
    }
}

TEST(DetectableProblemDescriptions, KeepsMessageFieldsAndSkipsOthers) {
    Msg all = Msg()
                  .msg("Hairline", {description("limitsLow").flag("userUnits", {true})})
                  .str("CourierUsed", {"boolean"})
                  .nullMsg("FloatTB")
                  .msg("FloatLR", {description("boolean"), description("limitsHigh")});
    DetectableProblemDescriptions table(&all.get());

    EXPECT_EQ(table.descriptions().size(), 2u);
    EXPECT_EQ(table.GetProblemDescription(eProblemHairline).GetProblemTypeEnum(), eSettingType_LimitsLow);
    EXPECT_TRUE(table.GetProblemDescription(eProblemHairline).useUserUnits());
    // Only the first of several descriptions counts.
    EXPECT_EQ(table.GetProblemDescription(eProblemFloatLR).GetProblemTypeEnum(), eSettingType_Boolean);

    for (const ustring& absent :
         {eProblemCourierUsed, eProblemFloatTB, eProblemUndefined, ustring("hairline"), ustring("Hairlin")})
        EXPECT_TRUE(table.GetProblemDescription(absent).empty()) << absent;
    EXPECT_TRUE(DetectableProblemDescriptions(nullptr).descriptions().empty());
}

TEST(DetectableProblemDescriptions, ConflictsKeepTheirOrderAndOnlyTexts) {
    Msg all = Msg()
                  .msg("BlackUsed",
                       {description("boolean").str("conflicts", {"BlackNotUsed", "ColourUsed", "Abc"})})
                  .msg("ColourUsed", {description("boolean").ints("conflicts", {4})})
                  .msg("MinPlates", {description("limitsLow")});
    DetectableProblemDescriptions table(&all.get());

    EXPECT_EQ(table.GetConflicts(eProblemBlackUsed),
              (std::vector<ustring>{"BlackNotUsed", "ColourUsed", "Abc"}));
    EXPECT_TRUE(table.GetConflicts(eProblemColourUsed).empty());
    EXPECT_TRUE(table.GetConflicts(eProblemMinPlates).empty());
}

TEST(DetectableProblemDescriptions, DescriptionsOutliveTheMessageTheyCameFrom) {
    auto table = [] {
        Msg all =
            Msg().msg("MaxPlates", {description("limitsHigh")
                                        .flag("userUnits", {true, false})
                                        .msg("defaults", {Msg().str("sev", {"fault"}).num("warn", {0.25})})});
        return DetectableProblemDescriptions(&all.get());
    }();
    ProblemDescription d = table.GetProblemDescription(eProblemMaxPlates);
    EXPECT_TRUE(d.useUserUnits());
    ASSERT_NE(d.GetDefaults(), nullptr);
    EXPECT_EQ(d.GetDefaults()->get<ustring>("sev", 0, ""), "fault");
    EXPECT_EQ(d.GetDefaults()->get<double>("warn", 0, 0.0), 0.25);
}

// The process-wide table is built at most once per process, so this runs in a fresh child process
// whose only work is this sequence; it reports the first broken expectation on standard error.
const char* buildOnceSequence() {
    if (detectableProblemDescriptions() != nullptr) return "table before any message";
    setDetectableProblemDescriptions(umessage());
    if (detectableProblemDescriptions() != nullptr) return "table from an empty message";

    setDetectableProblemDescriptions(Msg().msg("Hairline", {description("limitsLow")}).get());
    const DetectableProblemDescriptions* first = detectableProblemDescriptions();
    if (first == nullptr) return "no table after a description message";

    // Neither a different message nor an empty one later on changes or drops the table.
    for (const umessage& later : {Msg().msg("Hairline", {description("boolean")}).get(), umessage()}) {
        setDetectableProblemDescriptions(later);
        if (detectableProblemDescriptions() != first) return "table rebuilt or dropped";
        if (first->GetProblemDescription(eProblemHairline).GetProblemTypeEnum() != eSettingType_LimitsLow)
            return "table changed by a later message";
    }
    return nullptr;
}

TEST(DetectableProblemDescriptionsDeathTest, ProcessTableIsBuiltOnceFromTheFirstNonEmptyMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const char* failure = buildOnceSequence();
            if (failure != nullptr) std::cerr << "FAILED: " << failure << std::endl;
            std::exit(failure == nullptr ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
