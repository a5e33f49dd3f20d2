#include "BCheckSetting.h"

#include <gtest/gtest.h>

#include <sstream>

#include "TestProblemDescriptions.h"
#include "UUnits.h"
#include "WQCS.h"
#include "ulogger.h"

using namespace ticket_builder;

namespace {

class BCheckSettingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(installTestProblemDescriptions(), nullptr); }

    static BCheckSetting fromCheck(const ustring& name, const Msg& check) {
        BCheckSetting s(eProblemUndefined);
        EXPECT_TRUE(s.DeserialiseSetting2(name, WCheckSetting(check)));
        return s;
    }
    static BCheckSetting fromRecord(const Msg& record) {
        BCheckSetting s(eProblemUndefined);
        s.DeserialiseSetting(record.get());
        return s;
    }
};

TEST(BCheckSettingNames, TypeAndSeverityNames) {
    EXPECT_EQ(BCheckSetting::NameToProblemType("eSettingType_CombiningParameterHigh"), 10);
    EXPECT_EQ(BCheckSetting::NameToProblemType("eSettingType_Undefined"), 0);
    EXPECT_EQ(BCheckSetting::NameToProblemType("eSettingType_LimitsLow"), 2);
    EXPECT_EQ(BCheckSetting::NameToProblemType("limitsLow"), -1);
    EXPECT_EQ(BCheckSetting::NameToProblemType(""), -1);
    EXPECT_EQ(BCheckSetting::kProblemTypeNames[11], nullptr);
    EXPECT_EQ(BCheckSetting::NameToProblemSeverity("warn"), eProblemSeverity_NotSet);
    EXPECT_EQ(BCheckSetting::NameToProblemSeverity("eProblemSeverity_Warn"), eProblemSeverity_Warn);
    EXPECT_EQ(BCheckSetting::NameToProblemSeverity("eProblemSeverity_ParameterNotSet"),
              eProblemSeverity_ParameterNotSet);
}

struct ConstructionCase {
    const char* name;
    const char* keptName;
    ESettingType type;
    int precision;
};

class BCheckSettingConstruction : public BCheckSettingTest,
                                  public ::testing::WithParamInterface<ConstructionCase> {};

TEST_P(BCheckSettingConstruction, TypeAndPrecisionFollowTheName) {
    const ConstructionCase& c = GetParam();
    BCheckSetting s(c.name);
    EXPECT_EQ(s.GetName(), ustring(c.keptName));
    EXPECT_EQ(s.GetSettingType(), c.type);
    EXPECT_EQ(s.GetPrecision(), c.precision);
    EXPECT_EQ(s.GetSeverity(), eProblemSeverity_Ignore);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(s.GetValueNULL(i) && s.GetStringParamNULL(i));
}

INSTANTIATE_TEST_SUITE_P(
    PrecisionLists, BCheckSettingConstruction,
    ::testing::Values(ConstructionCase{"ResTooLowContone", "ResTooLowContone", eSettingType_LimitsLow, 0},
                      ConstructionCase{"MaxPlates", "MaxPlates", eSettingType_LimitsHigh, 0},
                      ConstructionCase{"InkWeightTAC", "InkWeightTAC", eSettingType_LimitsHigh, 1},
                      ConstructionCase{"PDFVersionTooLow", "PDFVersionTooLow", eSettingType_LimitsLow, 1},
                      ConstructionCase{"SolidTextTooSmall", "SolidTextTooSmall", eSettingType_LimitsLow, 2},
                      ConstructionCase{"BlackUsed", "BlackUsed", eSettingType_Boolean, 2},
                      // In the whole-number list but not described: cleared, so the list no longer applies.
                      ConstructionCase{"MinPlates", "", eSettingType_Undefined, 2},
                      // Described without a known type.
                      ConstructionCase{"DoublePageSpread", "", eSettingType_Undefined, 2},
                      ConstructionCase{"", "", eSettingType_Undefined, 2}));

TEST_F(BCheckSettingTest, SeverityFollowsWhatIsSet) {
    BCheckSetting limits("ResTooHighContone");
    limits.SetIgnoreValue(10);
    EXPECT_EQ(limits.GetSeverity(), eProblemSeverity_Ignore);
    limits.SetValue(BCheckSetting::eValue_Note, 300);
    EXPECT_EQ(limits.GetSeverity(), eProblemSeverity_Note);
    limits.SetValue(BCheckSetting::eValue_Fault, 450);
    EXPECT_EQ(limits.GetSeverity(), eProblemSeverity_Fault);
    limits.SetValue(BCheckSetting::eValue_Warn, 400);
    EXPECT_EQ(limits.GetSeverity(), eProblemSeverity_Fault);

    BCheckSetting parameter("Setting_PDFVersion");
    parameter.SetIgnoreValue(1);
    EXPECT_EQ(parameter.GetSeverity(), eProblemSeverity_ParameterNotSet);
    parameter.SetValue(BCheckSetting::eValue_Warn, 1.4);
    EXPECT_EQ(parameter.GetSeverity(), eProblemSeverity_Parameter);

    BCheckSetting strings("Setting_ProcessProfile");
    strings.SetStringParam(3, "x.icc");
    EXPECT_EQ(strings.GetSeverity(), eProblemSeverity_ParameterNotSet);
    strings.SetStringParam(2, "y.icc");
    EXPECT_EQ(strings.GetSeverity(), eProblemSeverity_Parameter);

    BCheckSetting boolean("BlackUsed");
    boolean.SetSeverity(eProblemSeverity_Warn);
    boolean.SetValue(BCheckSetting::eValue_Fault, 1);
    boolean.SetStringParam(0, "x");
    EXPECT_EQ(boolean.GetSeverity(), eProblemSeverity_Warn);
}

struct SeverityCase {
    double measured;
    EProblemSeverity expected;
    double threshold;  // what the output holds afterwards (-1 = untouched)
};

class LimitsHighWholeNumbers : public BCheckSettingTest,
                               public ::testing::WithParamInterface<SeverityCase> {};

TEST_P(LimitsHighWholeNumbers, StrictComparisonAfterRounding) {
    BCheckSetting s("ResTooHighContone");  // precision 0
    s.SetValue(BCheckSetting::eValue_Note, 300);
    s.SetValue(BCheckSetting::eValue_Warn, 400);
    s.SetValue(BCheckSetting::eValue_Fault, 450);
    double t = -1;
    EXPECT_EQ(s.GetSeverity(GetParam().measured, &t), GetParam().expected);
    EXPECT_EQ(t, GetParam().threshold);
}

INSTANTIATE_TEST_SUITE_P(Thresholds, LimitsHighWholeNumbers,
                         ::testing::Values(SeverityCase{450, eProblemSeverity_Warn, 400},
                                           SeverityCase{450.6, eProblemSeverity_Fault, 450},
                                           SeverityCase{450.4, eProblemSeverity_Warn, 400},
                                           SeverityCase{300.5, eProblemSeverity_Note, 300},
                                           SeverityCase{300.4, eProblemSeverity_Ignore, -1},
                                           SeverityCase{299, eProblemSeverity_Ignore, -1}));

TEST_F(BCheckSettingTest, LimitsLowWithOnlyAWarnValue) {
    BCheckSetting s("SolidTextTooSmall");  // precision 2
    s.SetValue(BCheckSetting::eValue_Warn, 150);
    double t = -1;
    EXPECT_EQ(s.GetSeverity(149.99, &t), eProblemSeverity_Warn);
    EXPECT_EQ(t, 150);
    t = -1;
    EXPECT_EQ(s.GetSeverity(149.999, &t), eProblemSeverity_Ignore);  // rounds to 150.00
    EXPECT_EQ(t, -1);
    EXPECT_EQ(s.GetSeverity(10), eProblemSeverity_Warn);  // no output asked for
}

TEST_F(BCheckSettingTest, IgnoreValueIsWrittenOnlyWhenCrossed) {
    BCheckSetting high("ResTooHighContone");
    high.SetValue(BCheckSetting::eValue_Fault, 450);
    high.SetIgnoreValue(100);
    double t = -1;
    EXPECT_EQ(high.GetSeverity(200, &t), eProblemSeverity_Ignore);
    EXPECT_EQ(t, 100);
    t = -1;
    EXPECT_EQ(high.GetSeverity(100, &t), eProblemSeverity_Ignore);
    EXPECT_EQ(t, -1);

    BCheckSetting low("ResTooLowContone");
    low.SetIgnoreValue(100);
    EXPECT_EQ(low.GetSeverity(99, &t), eProblemSeverity_Ignore);
    EXPECT_EQ(t, 100);
}

TEST_F(BCheckSettingTest, OtherTypesAreIgnoredAndLeaveTheOutput) {
    BCheckSetting s("Setting_PDFVersion");
    s.SetValue(BCheckSetting::eValue_Fault, 1.4);
    double t = -1;
    EXPECT_EQ(s.GetSeverity(999.9, &t), eProblemSeverity_Ignore);
    EXPECT_EQ(t, -1);
}

TEST_F(BCheckSettingTest, UserUnitsCompareInMillimetres) {
    ASSERT_EQ(g_units->unit(), UUnits::eUnit_Millimeter);
    // SolidTextTooSmall is described with user units: 8.5 points compares as 3 mm.
    const BCheckSetting s = fromCheck("SolidTextTooSmall", Check().warn(8.5).fault(2.9));
    ASSERT_TRUE(s.GetUseUserUnits());
    double measured = 8.49;
    double thresholds[4];
    s.GetComparisonValues(measured, thresholds);
    EXPECT_DOUBLE_EQ(measured, 3.0);  // 2.995 mm
    EXPECT_DOUBLE_EQ(thresholds[BCheckSetting::eValue_Warn], 3.0);
    EXPECT_DOUBLE_EQ(thresholds[BCheckSetting::eValue_Fault], 1.02);
    EXPECT_DOUBLE_EQ(thresholds[BCheckSetting::eValue_Note], 0.0);  // rounded whether set or not

    double t = -1;
    EXPECT_EQ(s.GetSeverity(8.49, &t), eProblemSeverity_Ignore);
    EXPECT_EQ(s.GetSeverity(8.4, &t), eProblemSeverity_Warn);  // 2.96 mm
    EXPECT_EQ(t, 8.5);                                         // the stored value, in points
}

TEST_F(BCheckSettingTest, ProfileCheckSeverityWords) {
    EXPECT_EQ(fromCheck("Setting_PDFVersion", Check().sev("ignore").fault(1.4)).GetSeverity(),
              eProblemSeverity_Parameter);
    EXPECT_EQ(fromCheck("Setting_PDFVersion", Check().sev("parameter")).GetSeverity(),
              eProblemSeverity_ParameterNotSet);
    EXPECT_EQ(fromCheck("BlackUsed", Check().sev("parameter")).GetSeverity(), eProblemSeverity_Fault);
    EXPECT_EQ(fromCheck("BlackUsed", Check().sev("dynamic")).GetSeverity(), eProblemSeverity_Fault);
    EXPECT_EQ(fromCheck("BlackUsed", Check().sev("note")).GetSeverity(), eProblemSeverity_Note);

    // Unknown words, "notset" and a missing word leave the severity as it was.
    for (const char* word : {"Warn", "notset", ""}) {
        BCheckSetting s(eProblemUndefined);
        s.SetSeverity(eProblemSeverity_Warn);
        ASSERT_TRUE(s.DeserialiseSetting2("BlackUsed", WCheckSetting(Check().sev(word))));
        EXPECT_EQ(s.GetSeverity(), eProblemSeverity_Warn) << word;
    }
    BCheckSetting s(eProblemUndefined);
    s.SetSeverity(eProblemSeverity_Note);
    ASSERT_TRUE(s.DeserialiseSetting2("CourierUsed", WCheckSetting(Check())));
    EXPECT_EQ(s.GetSeverity(), eProblemSeverity_Note);
}

TEST_F(BCheckSettingTest, ProfileCheckValuesAndParameters) {
    Check limits;
    limits.note(300).integer("precision", 0);
    limits.int64("warn", 400);
    const BCheckSetting s = fromCheck("ResTooHighContone", limits);
    EXPECT_EQ(s.GetName(), ustring("ResTooHighContone"));
    EXPECT_EQ(s.GetSettingType(), eSettingType_LimitsHigh);
    EXPECT_EQ(s.GetPrecision(), 0);
    EXPECT_FALSE(s.GetUseUserUnits());
    EXPECT_EQ(s.GetSeverity(), eProblemSeverity_Warn);
    EXPECT_EQ(s.GetValue(BCheckSetting::eValue_Warn), 400);
    EXPECT_TRUE(s.GetValueNULL(BCheckSetting::eValue_Fault));
    EXPECT_TRUE(s.GetParameterValueNULL());

    EXPECT_EQ(fromCheck("ResTooHighContone", Check()).GetPrecision(), 2);
    Check fractional;
    fractional.num("precision", 1.7);
    EXPECT_EQ(fromCheck("ResTooHighContone", fractional).GetPrecision(), 1);

    Check strings;
    strings.param("a.icc").param("b.icc");
    const BCheckSetting p = fromCheck("Setting_ProcessProfile", strings);
    EXPECT_EQ(p.GetStringParam(0), ustring("a.icc"));
    EXPECT_EQ(p.GetStringParam(1), ustring("b.icc"));
    EXPECT_TRUE(p.GetStringParamNULL(2));
    EXPECT_EQ(p.GetSeverity(), eProblemSeverity_Parameter);
}

TEST_F(BCheckSettingTest, ProfileCheckParameterValue) {
    Check asDouble, asInt, asText;
    asDouble.num("PV", 2.5);
    asInt.integer("PV", 7);
    asText.str("PV", "seven");
    const BCheckSetting d = fromCheck("Setting_TrimSize", asDouble);
    EXPECT_FALSE(d.GetParameterValueNULL());
    EXPECT_EQ(d.GetParameterValue(), 2.5);
    EXPECT_EQ(fromCheck("Setting_TrimSize", asInt).GetParameterValue(), 7);
    const BCheckSetting t = fromCheck("Setting_TrimSize", asText);
    EXPECT_FALSE(t.GetParameterValueNULL());
    EXPECT_EQ(t.GetParameterValue(), 0);
}

TEST_F(BCheckSettingTest, UndescribedProfileCheckIsRefusedAndLogged) {
    std::ostringstream log;
    std::ostream* before = vnu::logger.stream();
    vnu::logger.setStream(&log);
    BCheckSetting s("BlackUsed");
    const bool accepted = s.DeserialiseSetting2("MinPlates", WCheckSetting(Check().warn(3)));
    vnu::logger.setStream(before);
    EXPECT_FALSE(accepted);
    EXPECT_EQ(s.GetName(), ustring("BlackUsed"));
    EXPECT_TRUE(s.GetValueNULL(BCheckSetting::eValue_Warn));
    EXPECT_NE(log.str().find("new setting not found"), std::string::npos);
    EXPECT_NE(log.str().find("[BCheckSetting:"), std::string::npos);  // the logger shows the base name
    EXPECT_NE(log.str().find("DeserialiseSetting2"), std::string::npos);
}

TEST_F(BCheckSettingTest, RecordTypeAndPrecision) {
    Msg record;
    record.str("problem", "ResTooLowContone").str("type", "eSettingType_Boolean").num("warn", 150);
    const BCheckSetting described = fromRecord(record);
    EXPECT_EQ(described.GetSettingType(), eSettingType_LimitsLow);  // the description wins
    EXPECT_EQ(described.GetPrecision(), 0);                         // missing: 0
    EXPECT_EQ(described.GetSeverity(), eProblemSeverity_Warn);

    Msg undescribed;
    undescribed.str("problem", "MinPlates")
        .str("type", "eSettingType_Boolean")
        .str("subtype", "eSettingType_LimitsHigh")
        .integer("fault", 5)
        .num("precision", 3.9);
    const BCheckSetting kept = fromRecord(undescribed);
    EXPECT_EQ(kept.GetName(), ustring("MinPlates"));
    EXPECT_EQ(kept.GetSettingType(), eSettingType_LimitsHigh);  // subtype before type
    EXPECT_EQ(kept.GetPrecision(), 3);
    EXPECT_EQ(kept.GetValue(BCheckSetting::eValue_Fault), 5);
    EXPECT_EQ(kept.GetSeverity(), eProblemSeverity_Fault);

    // A type text that names no type gives -1, and such a record gets no values.
    Msg unknownType;
    unknownType.str("problem", "MinPlates").str("type", "limitsHigh").num("fault", 5);
    const BCheckSetting none = fromRecord(unknownType);
    EXPECT_EQ(static_cast<int>(none.GetSettingType()), -1);
    EXPECT_TRUE(none.GetValueNULL(BCheckSetting::eValue_Fault));
}

TEST_F(BCheckSettingTest, RecordSeverityAndStrings) {
    Msg boolean;
    boolean.str("problem", "BlackUsed").str("severity", "eProblemSeverity_Parameter");
    EXPECT_EQ(fromRecord(boolean).GetSeverity(), eProblemSeverity_Fault);

    Msg word;
    word.str("problem", "BlackUsed").str("severity", "warn");
    EXPECT_EQ(fromRecord(word).GetSeverity(), eProblemSeverity_NotSet);

    Msg strings;
    strings.str("problem", "Setting_ProcessProfile")
        .str("P0", "a.icc")
        .str("P2", "c.icc")
        .flag("UserUnit", true)
        .num("PV", 4);
    const BCheckSetting s = fromRecord(strings);
    EXPECT_EQ(s.GetStringParam(0), ustring("a.icc"));
    EXPECT_TRUE(s.GetStringParamNULL(1));
    EXPECT_EQ(s.GetStringParam(2), ustring("c.icc"));
    EXPECT_EQ(s.GetSeverity(), eProblemSeverity_Parameter);
    EXPECT_TRUE(s.GetUseUserUnits());
    EXPECT_EQ(s.GetParameterValue(), 4);
}

TEST_F(BCheckSettingTest, WrongTypedKeysGiveTheDefaults) {
    Msg record;
    record.str("problem", "ResTooLowContone")
        .integer("severity", 3)
        .num("subtype", 2)
        .str("precision", "2")
        .integer("UserUnit", 1)
        .str("PV", "1")
        .str("fault", "100")
        .flag("warn", true)
        .msg("note", Msg())
        .str("ignore", "");
    BCheckSetting s(eProblemUndefined);
    ASSERT_NO_THROW(s.DeserialiseSetting(record.get()));
    EXPECT_EQ(s.GetSettingType(), eSettingType_LimitsLow);
    EXPECT_EQ(s.GetPrecision(), 0);
    EXPECT_FALSE(s.GetUseUserUnits());
    EXPECT_TRUE(s.GetParameterValueNULL());
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(s.GetValueNULL(i));
    EXPECT_EQ(s.GetSeverity(), eProblemSeverity_Ignore);

    Check check;
    check.integer("sev", 4).str("precision", "1").str("warn", "150").flag("fault", true).integer("P", 3);
    BCheckSetting c(eProblemUndefined);
    ASSERT_TRUE(c.DeserialiseSetting2("ResTooLowContone", WCheckSetting(check)));
    EXPECT_EQ(c.GetPrecision(), 2);
    EXPECT_TRUE(c.GetValueNULL(BCheckSetting::eValue_Warn));
    EXPECT_EQ(c.GetSeverity(), eProblemSeverity_Ignore);

    BCheckSetting p(eProblemUndefined);
    ASSERT_TRUE(p.DeserialiseSetting2("Setting_ProcessProfile", WCheckSetting(check)));
    EXPECT_TRUE(p.GetStringParamNULL(0));

    BCheckSetting empty(eProblemUndefined);
    ASSERT_NO_THROW(empty.DeserialiseSetting(umessage()));
    EXPECT_EQ(empty.GetName(), ustring(""));
}

// A fresh process: the description table is built once per process, and this one must never see one.
TEST(BCheckSettingWithoutDescriptions, NamesAreClearedAndChecksRefused) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            BCheckSetting s("ResTooLowContone");
            BCheckSetting d(eProblemUndefined);
            const bool ok = detectableProblemDescriptions() == nullptr && s.GetName().empty() &&
                            s.GetSettingType() == eSettingType_Undefined && s.GetPrecision() == 2 &&
                            !d.DeserialiseSetting2("ResTooLowContone", WCheckSetting(Check().warn(1)));
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
