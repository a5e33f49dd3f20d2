#include "job/BCheckSetting.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <sstream>

#include "TestProblemDescriptions.h"
#include "job/BCheckSettingList.h"
#include "support/UUnits.h"
#include "ticket/WQCS.h"

using namespace ticket_builder;

namespace {

constexpr int kNote = BCheckSetting::eValue_Note;
constexpr int kWarn = BCheckSetting::eValue_Warn;
constexpr int kFault = BCheckSetting::eValue_Fault;
constexpr auto kSevIgnore = eProblemSeverity_Ignore, kSevNote = eProblemSeverity_Note,
               kSevWarn = eProblemSeverity_Warn, kSevFault = eProblemSeverity_Fault,
               kSevParameter = eProblemSeverity_Parameter, kSevNotSet = eProblemSeverity_ParameterNotSet;

// The setting as text: name, type, precision and severity, then what is set of user units,
// values, string parameters and the numeric parameter.
std::string Describe(const BCheckSetting& s) {
    const auto word = [](const char* name) { return std::strchr(name, '_') + 1; };
    const int type = s.GetSettingType();
    std::ostringstream os;
    os << s.GetName().str() << ' ' << (type < 0 ? "-1" : word(BCheckSetting::kProblemTypeNames[type])) << " p"
       << s.GetPrecision() << ' ' << word(BCheckSetting::kProblemSeverityNames[s.GetSeverity()]);
    if (s.GetUseUserUnits()) os << " units";
    for (int i = 0; i < BCheckSetting::kValueCount; ++i) {
        if (!s.GetValueNULL(i))
            os << ' ' << std::array{"note", "warn", "fault", "ignore"}[i] << '=' << s.GetValue(i);
        if (!s.GetStringParamNULL(i)) os << " P" << i << '=' << s.GetStringParam(i).str();
    }
    if (!s.GetParameterValueNULL()) os << " PV=" << s.GetParameterValue();
    return os.str();
}

class BCheckSettingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(installTestProblemDescriptions(), nullptr); }

    static BCheckSetting fromCheck(const ustring& name, const Msg& check,
                                   EProblemSeverity before = kSevIgnore) {
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

TEST_F(BCheckSettingTest, ConstructionTakesTheDescribedTypeAndTheNamesPrecision) {
    for (const auto& [name, text] : {
             std::pair{"ResTooLowContone", "ResTooLowContone LimitsLow p0 Ignore"},
             {"InkWeightTAC", "InkWeightTAC LimitsHigh p1 Ignore"},
             {"SolidTextTooSmall", "SolidTextTooSmall LimitsLow p2 Ignore"},
             {"BlackUsed", "BlackUsed Boolean p2 Ignore"},
             // In the whole-number list but not described: cleared, so the list no longer applies.
             {"MinPlates", " Undefined p2 Ignore"},
             {"DoublePageSpread", " Undefined p2 Ignore"},  // described without a known type
         })
        EXPECT_EQ(Describe(BCheckSetting(name)), text);
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
        {high, 450, kSevWarn, 400},     // equal does not cross
        {high, 450.6, kSevFault, 450},  // rounds to 451
        {high, 450.4, kSevWarn, 400},
        {high, 300.5, kSevNote, 300},
        {high, 299, kSevIgnore, untouched},
        {low, 149.99, kSevWarn, 150},
        {low, 149.999, kSevIgnore, untouched},  // rounds to 150.00
        {ignoreHigh, 200, kSevIgnore, 100},
        {ignoreHigh, 100, kSevIgnore, untouched},
        {ignoreLow, 99, kSevIgnore, 100},
        {parameter, 999.9, kSevIgnore, untouched},
    };
    for (const auto& c : cases) {
        double t = untouched;
        EXPECT_EQ(std::pair(c.setting.GetSeverity(c.measured, &t), t), std::pair(c.expected, c.threshold))
            << c.measured;
    }
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
    EXPECT_EQ(s.GetSeverity(8.49, &t), kSevIgnore);
    EXPECT_EQ(std::pair(s.GetSeverity(8.4, &t), t), std::pair(kSevWarn, 8.5));  // 2.96 mm; points given back
}

TEST_F(BCheckSettingTest, ProfileCheckSeverity) {
    const struct {
        const char* name;
        Check check;
        EProblemSeverity before, expected;
    } cases[] = {
        // Values decide for parameter checks, whatever "sev" says.
        {"Setting_PDFVersion", Check().sev("ignore").fault(1.4), kSevIgnore, kSevParameter},
        {"Setting_PDFVersion", Check().sev("parameter"), kSevIgnore, kSevNotSet},
        // Booleans keep the word, capped at fault.
        {"BlackUsed", Check().sev("parameter"), kSevIgnore, kSevFault},
        {"BlackUsed", Check().sev("note"), kSevIgnore, kSevNote},
        // "notset" and no word leave the severity as it was.
        {"BlackUsed", Check().sev("notset"), kSevWarn, kSevWarn},
        {"CourierUsed", Check(), kSevNote, kSevNote},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fromCheck(c.name, c.check, c.before).GetSeverity(), c.expected)
            << c.name << " " << c.check.get().get<ustring>("sev", 0, "(none)").str();
}

TEST_F(BCheckSettingTest, ProfileChecksAndStoredRecords) {
    Check limits = Check().note(300).precision(0);
    limits.longs("warn", {400}).str("PV", {"seven"});
    const auto record = [](const char* problem) { return Msg().str("problem", {problem}); };
    Msg subtype = record("MinPlates").str("type", {"eSettingType_Boolean"});
    subtype.str("subtype", {"eSettingType_LimitsHigh"}).ints("fault", {5}).num("precision", {3.9});
    Msg strings = record("Setting_ProcessProfile").str("P0", {"a.icc"}).str("P2", {"c.icc"});
    strings.flag("UserUnit", {true}).num("PV", {4});
    const std::pair<BCheckSetting, const char*> cases[] = {
        // "PV" present but not a number: set, at 0.
        {fromCheck("ResTooHighContone", limits),
         "ResTooHighContone LimitsHigh p0 Warn note=300 warn=400 PV=0"},
        {fromCheck("ResTooHighContone", Check().num("precision", {1.7})),
         "ResTooHighContone LimitsHigh p1 Ignore"},
        {fromCheck("Setting_TrimSize", Check().ints("PV", {7})),
         "Setting_TrimSize Parameter p2 ParameterNotSet units PV=7"},
        {fromCheck("Setting_ProcessProfile", Check().param("a.icc").param("b.icc")),
         "Setting_ProcessProfile StringParameter p2 Parameter P0=a.icc P1=b.icc"},
        // Stored: the description wins over the stored type; a missing precision is 0.
        {fromRecord(record("ResTooLowContone").str("type", {"eSettingType_Boolean"}).num("warn", {150})),
         "ResTooLowContone LimitsLow p0 Warn warn=150"},
        // Not described: the subtype before the type.
        {fromRecord(subtype), "MinPlates LimitsHigh p3 Fault fault=5"},
        // A type text that names no type gives -1, and such a record gets no values.
        {fromRecord(record("MinPlates").str("type", {"limitsHigh"}).num("fault", {5})),
         "MinPlates -1 p0 Ignore"},
        {fromRecord(record("BlackUsed").str("severity", {"eProblemSeverity_Parameter"})),
         "BlackUsed Boolean p0 Fault"},
        {fromRecord(record("BlackUsed").str("severity", {"warn"})), "BlackUsed Boolean p0 NotSet"},
        {fromRecord(strings),
         "Setting_ProcessProfile StringParameter p0 Parameter units P0=a.icc P2=c.icc PV=4"},
    };
    for (const auto& [setting, text] : cases) EXPECT_EQ(Describe(setting), text);

    BCheckSetting refused("BlackUsed");
    EXPECT_FALSE(refused.DeserialiseSetting2("MinPlates", WCheckSetting(Check().warn(3))));  // not described
    EXPECT_EQ(Describe(refused), "BlackUsed Boolean p2 Ignore");
}

// A fresh process, which never sees a description table (the table is built once per process):
// names are cleared and profile checks refused, but the stored form still decodes.
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
            const bool ok = detectableProblemDescriptions() == nullptr &&
                            Describe(s) == " Undefined p2 Ignore" &&
                            !d.DeserialiseSetting2("ResTooLowContone", WCheckSetting(Check().warn(1))) &&
                            stored.size() == 1 &&
                            Describe(*stored.settings()[0]) == "ResTooLowContone LimitsLow p0 Warn warn=5" &&
                            profile.size() == 0 && profile.FindCheckSetting("MaxPlates") == nullptr &&
                            BCheckSettingList::LookupSettingType("MaxPlates") == eSettingType_Undefined;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
