#include "DetectableProblemDescriptions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "MessageBuilder.h"

namespace {

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
        {"fault", "warn", 1},        {"note", "fault", -2}, {"notset", "ignore", -1},
        {"dynamic", "parameter", 0}, {"warn", "warn", 0},   {"", "note", -2},
        {"Fault", "ignore", -1},     {"fault", "", 4},      {"ignore", "notset", 1},
        {"parameterNotSet", "", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(compare_severity(c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

TEST(SeverityWords, EveryWordMapsToItsSeverityAndBack) {
    const char* words[] = {"notset", "ignore",  "note",      "warn",
                           "fault",  "dynamic", "parameter", "parameterNotSet"};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(severityFromWord(words[i]), static_cast<EProblemSeverity>(i));
        EXPECT_EQ(severityWord(static_cast<EProblemSeverity>(i)), words[i]);
    }
    EXPECT_EQ(severityFromWord("WARN"), eProblemSeverity_NotSet);
    EXPECT_EQ(severityFromWord(""), eProblemSeverity_NotSet);
    EXPECT_EQ(severityWord(static_cast<EProblemSeverity>(8)), "");
}

TEST(ProblemDescription, TypeWordsGiveTheirSettingTypesAndAnythingElseUndefined) {
    struct Case {
        const char* word;
        ESettingType expected;
    };
    const Case cases[] = {
        {"boolean", eSettingType_Boolean},
        {"limitsLow", eSettingType_LimitsLow},
        {"limitsHigh", eSettingType_LimitsHigh},
        {"parameter", eSettingType_Parameter},
        {"stringParameter", eSettingType_StringParameter},
        {"combiningParameterLow", eSettingType_CombiningParameterLow},
        {"range", eSettingType_Undefined},
        {"limitsLowSeverity", eSettingType_Undefined},
        {"combiningParameterHigh", eSettingType_Undefined},
        {"Boolean", eSettingType_Undefined},
    };
    for (const Case& c : cases) {
        Msg d = description(c.word);
        EXPECT_EQ(ProblemDescription(&d.get()).GetProblemTypeEnum(), c.expected) << c.word;
    }
    Msg noType = Msg().flag("userUnits", {true});
    Msg numericType = Msg().ints("type", {1});
    EXPECT_EQ(ProblemDescription(&noType.get()).GetProblemTypeEnum(), eSettingType_Undefined);
    EXPECT_EQ(ProblemDescription(&numericType.get()).GetProblemTypeEnum(), eSettingType_Undefined);
    EXPECT_EQ(ProblemDescription().GetProblemTypeEnum(), eSettingType_Undefined);
}

TEST(ProblemDescription, UserUnitsAndDefaultsReadOnlyTheirOwnTypes) {
    Msg full = description("limitsHigh")
                   .flag("userUnits", {true, false})
                   .sub("defaults", {Msg().str("sev", {"warn"}).num("warn", {0.25})});
    ProblemDescription d(&full.get());
    EXPECT_TRUE(d.useUserUnits());
    ASSERT_NE(d.GetDefaults(), nullptr);
    EXPECT_EQ(d.GetDefaults()->get<double>("warn", 0, 0.0), 0.25);

    Msg wrong = description("limitsHigh").ints("userUnits", {1}).str("defaults", {"warn"});
    ProblemDescription w(&wrong.get());
    EXPECT_FALSE(w.useUserUnits());
    EXPECT_EQ(w.GetDefaults(), nullptr);

    ProblemDescription none;
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(none.useUserUnits());
    EXPECT_EQ(none.GetDefaults(), nullptr);
}

TEST(DetectableProblemDescriptions, KeepsMessageFieldsAndSkipsOthers) {
    Msg all = Msg()
                  .sub("Hairline", {description("limitsLow").flag("userUnits", {true})})
                  .str("CourierUsed", {"boolean"})
                  .sub("FloatLR", {description("boolean"), description("limitsHigh")});
    DetectableProblemDescriptions table(&all.get());

    EXPECT_EQ(table.descriptions().size(), 2u);
    EXPECT_EQ(table.GetProblemDescription(eProblemHairline).GetProblemTypeEnum(), eSettingType_LimitsLow);
    EXPECT_TRUE(table.GetProblemDescription(eProblemHairline).useUserUnits());
    // Only the first of several descriptions counts.
    EXPECT_EQ(table.GetProblemDescription(eProblemFloatLR).GetProblemTypeEnum(), eSettingType_Boolean);

    EXPECT_TRUE(table.GetProblemDescription(eProblemCourierUsed).empty());
    EXPECT_TRUE(table.GetProblemDescription(eProblemUndefined).empty());
    EXPECT_TRUE(table.GetProblemDescription("hairline").empty());  // byte for byte
    EXPECT_TRUE(table.GetProblemDescription("Hairlin").empty());
    EXPECT_EQ(table.GetProblemDescription("Hairlin").GetProblemTypeEnum(), eSettingType_Undefined);
}

TEST(DetectableProblemDescriptions, ConflictsKeepTheirOrderAndOnlyTexts) {
    Msg all = Msg()
                  .sub("BlackUsed",
                       {description("boolean").str("conflicts", {"BlackNotUsed", "ColourUsed", "Abc"})})
                  .sub("ColourUsed", {description("boolean").ints("conflicts", {4})})
                  .sub("MinPlates", {description("limitsLow")});
    DetectableProblemDescriptions table(&all.get());

    EXPECT_EQ(table.GetConflicts(eProblemBlackUsed),
              (std::vector<ustring>{"BlackNotUsed", "ColourUsed", "Abc"}));
    EXPECT_TRUE(table.GetConflicts(eProblemColourUsed).empty());
    EXPECT_TRUE(table.GetConflicts(eProblemMinPlates).empty());
    EXPECT_TRUE(table.GetConflicts("Unknown").empty());
}

TEST(DetectableProblemDescriptions, DescriptionsOutliveTheMessageTheyCameFrom) {
    auto table = [] {
        Msg all = Msg().sub("MaxPlates",
                            {description("limitsHigh").sub("defaults", {Msg().str("sev", {"fault"})})});
        return DetectableProblemDescriptions(&all.get());
    }();
    std::shared_ptr<const umessage> defaults = table.GetProblemDescription(eProblemMaxPlates).GetDefaults();
    ASSERT_NE(defaults, nullptr);
    EXPECT_EQ(defaults->get<ustring>("sev", 0, ""), "fault");
}

TEST(DetectableProblemDescriptions, NullOrEmptyMessageGivesAnEmptyTable) {
    umessage empty;
    EXPECT_TRUE(DetectableProblemDescriptions(nullptr).descriptions().empty());
    EXPECT_TRUE(DetectableProblemDescriptions(&empty).descriptions().empty());
}

// The process-wide table is built at most once per process, so this runs in a fresh child process
// whose only work is this sequence; it reports the first broken expectation on standard error.
const char* buildOnceSequence() {
    if (detectableProblemDescriptions() != nullptr) return "table before any message";
    setDetectableProblemDescriptions(umessage());
    if (detectableProblemDescriptions() != nullptr) return "table from an empty message";

    setDetectableProblemDescriptions(Msg().sub("Hairline", {description("limitsLow")}).get());
    const DetectableProblemDescriptions* first = detectableProblemDescriptions();
    if (first == nullptr) return "no table after a description message";
    if (first->GetProblemDescription(eProblemHairline).GetProblemTypeEnum() != eSettingType_LimitsLow)
        return "first message not used";

    setDetectableProblemDescriptions(Msg().sub("Hairline", {description("boolean")}).get());
    if (detectableProblemDescriptions() != first) return "table rebuilt";
    if (first->GetProblemDescription(eProblemHairline).GetProblemTypeEnum() != eSettingType_LimitsLow)
        return "table changed by a later message";

    // An empty message later on does not take the table away either.
    setDetectableProblemDescriptions(umessage());
    if (detectableProblemDescriptions() != first) return "table dropped";
    if (first->GetProblemDescription(eProblemHairline).GetProblemTypeEnum() != eSettingType_LimitsLow)
        return "description released";
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
