#include "BCheckSetting.h"

#include <gtest/gtest.h>

#include "BCheckSettingList.h"
#include "TestFolders.h"
#include "TestProblemDescriptions.h"
#include "UUnits.h"
#include "WQCS.h"

using namespace ticket_builder;

namespace {

constexpr int kNote = BCheckSetting::eValue_Note;
constexpr int kWarn = BCheckSetting::eValue_Warn;
constexpr int kFault = BCheckSetting::eValue_Fault;

class BCheckSettingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(installTestProblemDescriptions(), nullptr); }

    static BCheckSetting fromCheck(const ustring& name, const Msg& check,
                                   EProblemSeverity before = eProblemSeverity_Ignore) {
        BCheckSetting s(eProblemUndefined);
        s.SetSeverity(before);
        EXPECT_TRUE(s.DeserialiseSetting2(name, WCheckSetting(check)));
        return s;
    }
    static BCheckSetting fromRecord(const Msg& record) {
        BCheckSetting s(eProblemUndefined);
        s.DeserialiseSetting(record.get());
        return s;
    }
    static BCheckSetting withValues(const char* name, std::initializer_list<std::pair<int, double>> values) {
        BCheckSetting s(name);
        for (const auto& [index, value] : values) s.SetValue(index, value);
        return s;
    }
};

TEST(BCheckSettingNames, TypeAndSeverityNames) {
    for (const auto& [name, type] : {std::pair{"eSettingType_CombiningParameterHigh", 10},
                                     {"eSettingType_Undefined", 0},
                                     {"eSettingType_LimitsLow", 2},
                                     {"limitsLow", -1},
                                     {"", -1}})
        EXPECT_EQ(BCheckSetting::NameToProblemType(name), type) << name;
    EXPECT_EQ(BCheckSetting::NameToProblemSeverity("warn"), eProblemSeverity_NotSet);
    EXPECT_EQ(BCheckSetting::NameToProblemSeverity("eProblemSeverity_Warn"), eProblemSeverity_Warn);
    EXPECT_EQ(BCheckSetting::NameToProblemSeverity("eProblemSeverity_ParameterNotSet"),
              eProblemSeverity_ParameterNotSet);
}

TEST_F(BCheckSettingTest, ConstructionTakesTheDescribedTypeAndTheNamesPrecision) {
    const struct {
        const char *name, *kept;
        ESettingType type;
        int precision;
    } cases[] = {
        {"ResTooLowContone", "ResTooLowContone", eSettingType_LimitsLow, 0},
        {"InkWeightTAC", "InkWeightTAC", eSettingType_LimitsHigh, 1},
        {"PDFVersionTooLow", "PDFVersionTooLow", eSettingType_LimitsLow, 1},
        {"SolidTextTooSmall", "SolidTextTooSmall", eSettingType_LimitsLow, 2},
        {"BlackUsed", "BlackUsed", eSettingType_Boolean, 2},
        // In the whole-number list but not described: cleared, so the list no longer applies.
        {"MinPlates", "", eSettingType_Undefined, 2},
        {"DoublePageSpread", "", eSettingType_Undefined, 2},  // described without a known type
    };
    for (const auto& c : cases) {
        const BCheckSetting s(c.name);
        EXPECT_EQ(std::tuple(s.GetName(), s.GetSettingType(), s.GetPrecision()),
                  std::tuple(ustring(c.kept), c.type, c.precision))
            << c.name;
    }
}

TEST_F(BCheckSettingTest, SeverityFollowsWhatIsSet) {
    BCheckSetting limits("ResTooHighContone");
    limits.SetIgnoreValue(10);
    EXPECT_EQ(limits.GetSeverity(), eProblemSeverity_Ignore);
    limits.SetValue(kNote, 300);
    EXPECT_EQ(limits.GetSeverity(), eProblemSeverity_Note);
    limits.SetValue(kFault, 450);
    limits.SetValue(kWarn, 400);
    EXPECT_EQ(limits.GetSeverity(), eProblemSeverity_Fault);

    BCheckSetting parameter("Setting_PDFVersion");
    parameter.SetIgnoreValue(1);
    EXPECT_EQ(parameter.GetSeverity(), eProblemSeverity_ParameterNotSet);
    parameter.SetValue(kWarn, 1.4);
    EXPECT_EQ(parameter.GetSeverity(), eProblemSeverity_Parameter);

    BCheckSetting strings("Setting_ProcessProfile");
    strings.SetStringParam(3, "x.icc");
    EXPECT_EQ(strings.GetSeverity(), eProblemSeverity_ParameterNotSet);
    strings.SetStringParam(2, "y.icc");
    EXPECT_EQ(strings.GetSeverity(), eProblemSeverity_Parameter);

    BCheckSetting boolean("BlackUsed");
    boolean.SetSeverity(eProblemSeverity_Warn);
    boolean.SetValue(kFault, 1);
    boolean.SetStringParam(0, "x");
    EXPECT_EQ(boolean.GetSeverity(), eProblemSeverity_Warn);
}

TEST_F(BCheckSettingTest, MeasuredSeverityAndTheThresholdCrossed) {
    const BCheckSetting high = withValues("ResTooHighContone", {{kNote, 300}, {kWarn, 400}, {kFault, 450}});
    const BCheckSetting low = withValues("SolidTextTooSmall", {{kWarn, 150}});  // precision 2
    const BCheckSetting ignoreHigh = withValues("ResTooHighContone", {{kFault, 450}, {3, 100}});
    const BCheckSetting ignoreLow = withValues("ResTooLowContone", {{3, 100}});
    const BCheckSetting parameter = withValues("Setting_PDFVersion", {{kFault, 1.4}});
    const double untouched = -1;
    const struct {
        const BCheckSetting& setting;
        double measured;
        EProblemSeverity expected;
        double threshold;
    } cases[] = {
        {high, 450, eProblemSeverity_Warn, 400},     // equal does not cross
        {high, 450.6, eProblemSeverity_Fault, 450},  // rounds to 451
        {high, 450.4, eProblemSeverity_Warn, 400},
        {high, 300.5, eProblemSeverity_Note, 300},
        {high, 299, eProblemSeverity_Ignore, untouched},
        {low, 149.99, eProblemSeverity_Warn, 150},
        {low, 149.999, eProblemSeverity_Ignore, untouched},  // rounds to 150.00
        {ignoreHigh, 200, eProblemSeverity_Ignore, 100},
        {ignoreHigh, 100, eProblemSeverity_Ignore, untouched},
        {ignoreLow, 99, eProblemSeverity_Ignore, 100},
        {parameter, 999.9, eProblemSeverity_Ignore, untouched},
    };
    for (const auto& c : cases) {
        double t = untouched;
        EXPECT_EQ(c.setting.GetSeverity(c.measured, &t), c.expected) << c.measured;
        EXPECT_EQ(t, c.threshold) << c.measured;
    }
    EXPECT_EQ(low.GetSeverity(10), eProblemSeverity_Warn);  // no output asked for
}

TEST_F(BCheckSettingTest, UserUnitsCompareInMillimetres) {
    ASSERT_EQ(g_units->unit(), UUnits::eUnit_Millimeter);
    // SolidTextTooSmall is described with user units: 8.5 points compares as 3 mm.
    const BCheckSetting s = fromCheck("SolidTextTooSmall", Check().warn(8.5).fault(2.9));
    ASSERT_TRUE(s.GetUseUserUnits());
    double measured = 8.49;
    double thresholds[4];
    s.GetComparisonValues(measured, thresholds);
    EXPECT_EQ(std::tuple(measured, thresholds[kWarn], thresholds[kFault], thresholds[kNote]),
              std::tuple(3.0, 3.0, 1.02, 0.0));  // rounded whether set or not
    double t = -1;
    EXPECT_EQ(s.GetSeverity(8.49, &t), eProblemSeverity_Ignore);
    EXPECT_EQ(s.GetSeverity(8.4, &t), eProblemSeverity_Warn);  // 2.96 mm
    EXPECT_EQ(t, 8.5);                                         // the stored value, in points
}

TEST_F(BCheckSettingTest, ProfileCheckSeverity) {
    const struct {
        const char* name;
        Check check;
        EProblemSeverity before, expected;
    } cases[] = {
        // Values decide for parameter checks, whatever "sev" says.
        {"Setting_PDFVersion", Check().sev("ignore").fault(1.4), eProblemSeverity_Ignore,
         eProblemSeverity_Parameter},
        {"Setting_PDFVersion", Check().sev("parameter"), eProblemSeverity_Ignore,
         eProblemSeverity_ParameterNotSet},
        // Booleans keep the word, capped at fault.
        {"BlackUsed", Check().sev("parameter"), eProblemSeverity_Ignore, eProblemSeverity_Fault},
        {"BlackUsed", Check().sev("dynamic"), eProblemSeverity_Ignore, eProblemSeverity_Fault},
        {"BlackUsed", Check().sev("note"), eProblemSeverity_Ignore, eProblemSeverity_Note},
        // Other words, "notset" and no word leave the severity as it was.
        {"BlackUsed", Check().sev("Warn"), eProblemSeverity_Warn, eProblemSeverity_Warn},
        {"BlackUsed", Check().sev("notset"), eProblemSeverity_Warn, eProblemSeverity_Warn},
        {"CourierUsed", Check(), eProblemSeverity_Note, eProblemSeverity_Note},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fromCheck(c.name, c.check, c.before).GetSeverity(), c.expected)
            << c.name << " " << c.check.get().get<ustring>("sev", 0, "(none)").str();
}

TEST_F(BCheckSettingTest, ProfileCheckValuesAndParameters) {
    Check limits = Check().note(300).precision(0);
    limits.longs("warn", {400}).str("PV", {"seven"});
    const BCheckSetting s = fromCheck("ResTooHighContone", limits);
    // "PV" present but not a number: set, at 0.
    EXPECT_EQ(std::tuple(s.GetName(), s.GetSettingType(), s.GetPrecision(), s.GetUseUserUnits(),
                         s.GetSeverity(), s.GetValue(kWarn), s.GetValueNULL(kFault),
                         s.GetParameterValueNULL(), s.GetParameterValue()),
              std::tuple(ustring("ResTooHighContone"), eSettingType_LimitsHigh, 0, false,
                         eProblemSeverity_Warn, 400.0, true, false, 0.0));

    EXPECT_EQ(fromCheck("ResTooHighContone", Check()).GetPrecision(), 2);
    EXPECT_TRUE(fromCheck("ResTooHighContone", Check()).GetParameterValueNULL());
    EXPECT_EQ(fromCheck("ResTooHighContone", Check().num("precision", {1.7})).GetPrecision(), 1);
    EXPECT_EQ(fromCheck("Setting_TrimSize", Check().num("PV", {2.5})).GetParameterValue(), 2.5);
    EXPECT_EQ(fromCheck("Setting_TrimSize", Check().ints("PV", {7})).GetParameterValue(), 7);

    const BCheckSetting p = fromCheck("Setting_ProcessProfile", Check().param("a.icc").param("b.icc"));
    EXPECT_EQ(std::tuple(p.GetStringParam(0), p.GetStringParam(1), p.GetStringParamNULL(2), p.GetSeverity()),
              std::tuple(ustring("a.icc"), ustring("b.icc"), true, eProblemSeverity_Parameter));

    testing_support::CapturedLog log;
    BCheckSetting refused("BlackUsed");
    EXPECT_FALSE(refused.DeserialiseSetting2("MinPlates", WCheckSetting(Check().warn(3))));  // not described
    EXPECT_EQ(
        std::tuple(refused.GetName(), refused.GetValueNULL(kWarn),
                   log.count("[BCheckSetting:DeserialiseSetting2:"), log.count("new setting not found")),
        std::tuple(ustring("BlackUsed"), true, 1, 1))
        << log.text();
}

TEST_F(BCheckSettingTest, StoredRecords) {
    const BCheckSetting described = fromRecord(
        Msg().str("problem", {"ResTooLowContone"}).str("type", {"eSettingType_Boolean"}).num("warn", {150}));
    // The description wins over the stored type; a missing precision is 0.
    EXPECT_EQ(std::tuple(described.GetSettingType(), described.GetPrecision(), described.GetSeverity()),
              std::tuple(eSettingType_LimitsLow, 0, eProblemSeverity_Warn));

    const BCheckSetting kept = fromRecord(Msg()
                                              .str("problem", {"MinPlates"})
                                              .str("type", {"eSettingType_Boolean"})
                                              .str("subtype", {"eSettingType_LimitsHigh"})
                                              .ints("fault", {5})
                                              .num("precision", {3.9}));
    // Not described: the subtype before the type.
    EXPECT_EQ(std::tuple(kept.GetName(), kept.GetSettingType(), kept.GetPrecision(), kept.GetValue(kFault),
                         kept.GetSeverity()),
              std::tuple(ustring("MinPlates"), eSettingType_LimitsHigh, 3, 5.0, eProblemSeverity_Fault));

    // A type text that names no type gives -1, and such a record gets no values.
    const BCheckSetting none =
        fromRecord(Msg().str("problem", {"MinPlates"}).str("type", {"limitsHigh"}).num("fault", {5}));
    EXPECT_EQ(std::tuple(static_cast<int>(none.GetSettingType()), none.GetValueNULL(kFault)),
              std::tuple(-1, true));

    EXPECT_EQ(fromRecord(Msg().str("problem", {"BlackUsed"}).str("severity", {"eProblemSeverity_Parameter"}))
                  .GetSeverity(),
              eProblemSeverity_Fault);
    EXPECT_EQ(fromRecord(Msg().str("problem", {"BlackUsed"}).str("severity", {"warn"})).GetSeverity(),
              eProblemSeverity_NotSet);
    const BCheckSetting s = fromRecord(Msg()
                                           .str("problem", {"Setting_ProcessProfile"})
                                           .str("P0", {"a.icc"})
                                           .str("P2", {"c.icc"})
                                           .flag("UserUnit", {true})
                                           .num("PV", {4}));
    EXPECT_EQ(std::tuple(s.GetStringParam(0), s.GetStringParamNULL(1), s.GetStringParam(2), s.GetSeverity(),
                         s.GetUseUserUnits(), s.GetParameterValue()),
              std::tuple(ustring("a.icc"), true, ustring("c.icc"), eProblemSeverity_Parameter, true, 4.0));
}

// A fresh process: the description table is built once per process, and this one must never see one.
// Names are cleared and profile checks refused, but the stored form still decodes.
TEST(BCheckSettingWithoutDescriptions, NamesAreClearedAndOnlyStoredRecordsDecode) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            BCheckSetting s("ResTooLowContone");
            BCheckSetting d(eProblemUndefined);
            BCheckSettingList stored;
            BCheckSettingList profile;
            stored.DeserialiseSettings(Ticket()
                                           .settingsRecord(Msg()
                                                               .str("problem", {"ResTooLowContone"})
                                                               .str("type", {"eSettingType_LimitsLow"})
                                                               .num("warn", {5}))
                                           .build());
            profile.DeserialiseSettings(
                Ticket().local(Qcs().check("ResTooLowContone", Check().warn(5))).build());
            const bool ok = detectableProblemDescriptions() == nullptr && s.GetName().empty() &&
                            s.GetSettingType() == eSettingType_Undefined && s.GetPrecision() == 2 &&
                            !d.DeserialiseSetting2("ResTooLowContone", WCheckSetting(Check().warn(1))) &&
                            stored.size() == 1 &&
                            stored.settings()[0]->GetSettingType() == eSettingType_LimitsLow &&
                            stored.settings()[0]->GetSeverity() == eProblemSeverity_Warn &&
                            profile.size() == 0 && profile.FindCheckSetting("MaxPlates") == nullptr &&
                            BCheckSettingList::LookupSettingType("MaxPlates") == eSettingType_Undefined;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
