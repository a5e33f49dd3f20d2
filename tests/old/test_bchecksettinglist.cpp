#include "BCheckSettingList.h"

#include <gtest/gtest.h>
#include <string>

#include "TestFolders.h"
#include "TestProblemDescriptions.h"
#include "UFileSpecCore.h"

using namespace ticket_builder;

namespace {

class BCheckSettingListTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(installTestProblemDescriptions(), nullptr); }

    static BCheckSetting* named(const char* name) {
        auto* s = new BCheckSetting(eProblemUndefined);
        s->SetName(name);
        return s;
    }
    // A list decoded from a ticket whose local qcs holds the given checks.
    void decodeLocal(const Qcs& qcs) { list.DeserialiseSettings(Ticket().local(qcs).build()); }

    BCheckSettingList list;
};

TEST_F(BCheckSettingListTest, InsertGoesBeforeEqualNames) {
    BCheckSetting* b1 = named("b");
    BCheckSetting* a = named("a");
    BCheckSetting* b2 = named("b");
    list.Insert(b1);
    list.Insert(a);
    list.Insert(b2);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.settings()[0], a);
    EXPECT_EQ(list.settings()[1], b2);
    EXPECT_EQ(list.settings()[2], b1);

    BCheckSetting* found = nullptr;
    EXPECT_TRUE(list.Find("b", found));
    EXPECT_EQ(found, b2);
    BCheckSetting* untouched = a;
    EXPECT_FALSE(list.Find("ab", untouched));
    EXPECT_EQ(untouched, a);

    EXPECT_LT(list.CompareItems(&a, &b1), 0);
    EXPECT_EQ(list.CompareItems(&b1, &b2), 0);
    EXPECT_GT(list.CompareItems(&b1, &a), 0);
}

TEST_F(BCheckSettingListTest, FindCheckSettingFallsBackToTheDefaultCheckOnce) {
    EXPECT_EQ(list.FindCheckSetting(""), nullptr);
    EXPECT_EQ(list.FindCheckSetting("ResTooLowContone"), nullptr);  // described, no defaults
    EXPECT_EQ(list.FindCheckSetting("MinPlates"), nullptr);         // not described

    BCheckSetting* maxPlates = list.FindCheckSetting("MaxPlates");
    ASSERT_NE(maxPlates, nullptr);
    EXPECT_EQ(maxPlates->GetName(), ustring("MaxPlates"));
    EXPECT_EQ(maxPlates->GetValue(BCheckSetting::eValue_Warn), 6);
    EXPECT_EQ(maxPlates->GetPrecision(), 0);
    EXPECT_EQ(maxPlates->GetSeverity(), eProblemSeverity_Warn);
    EXPECT_EQ(list.FindCheckSetting("MaxPlates"), maxPlates);
    EXPECT_EQ(list.defaultSettings().size(), 1u);
    EXPECT_EQ(list.size(), 0u);

    // Rebuilding the list keeps what was made from defaults; an own setting takes precedence.
    decodeLocal(Qcs().check("MaxPlates", Check().fault(8)));
    BCheckSetting* own = list.FindCheckSetting("MaxPlates");
    ASSERT_NE(own, nullptr);
    EXPECT_NE(own, maxPlates);
    EXPECT_EQ(own->GetSeverity(), eProblemSeverity_Fault);
    list.RemoveAll();
    EXPECT_EQ(list.FindCheckSetting("MaxPlates"), maxPlates);
    EXPECT_EQ(list.defaultSettings().size(), 1u);
}

TEST_F(BCheckSettingListTest, DefaultPDFVersionFromTheVersionAndItsLimits) {
    const Check none;
    const struct {
        const char* label;
        double version;  // 0: no Setting_PDFVersion check
        Check tooHigh, tooLow;
        double expected;
    } cases[] = {
        {"high limit caps the version", 1.6, Check().fault(1.4), none, 1.4},
        {"low limit alone, floored to 1.3", 0, none, Check().fault(1.2), 1.3},
        {"nothing found", 0, none, none, 0},
        {"version alone, capped to 1.7", 2.0, none, none, 1.7},
        {"version alone", 1.5, none, none, 1.5},
        {"high limit alone", 0, Check().warn(1.5), none, 1.5},
        {"high limit above the version", 1.4, Check().fault(1.6), none, 1.4},
        {"fault threshold before warn", 0, Check().warn(1.6).fault(1.5), none, 1.5},
        {"note limits do not count", 1.6, Check().note(1.4), Check().note(1.7), 1.6},
        {"low limit raises the version", 1.4, none, Check().fault(1.5), 1.5},
        {"low limit below the version", 1.6, none, Check().warn(1.5), 1.6},
        {"both limits", 1.7, Check().fault(1.5), Check().warn(1.4), 1.5},
    };
    for (const auto& c : cases) {
        Qcs qcs;
        if (c.version != 0) qcs.check("Setting_PDFVersion", Check().note(c.version));
        if (!c.tooHigh.get().empty()) qcs.check("PDFVersionTooHigh", c.tooHigh);
        if (!c.tooLow.get().empty()) qcs.check("PDFVersionTooLow", c.tooLow);
        decodeLocal(qcs);
        EXPECT_DOUBLE_EQ(list.GetDefaultPDFVersion(), c.expected) << c.label;
    }
}

TEST_F(BCheckSettingListTest, StoredRecordsDecodeWithoutProfileResolution) {
    Ticket t;
    Msg b, a, nameless, resolvedNot;
    b.str("problem", "ResTooLowContone").num("warn", 150);
    a.str("problem", "BlackUsed").str("severity", "eProblemSeverity_Warn");
    nameless.num("warn", 1);
    resolvedNot.str("problem", "Setting_ProcessProfile").str("P0", "Default CMYK.icc");
    t.settingsRecord(b).settingsRecord(nameless).settingsRecord(a).settingsRecord(resolvedNot);
    // A profile next to the records is not looked at.
    t.local(Qcs().check("CourierUsed", Check().sev("fault")));
    list.DeserialiseSettings(t.build());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.settings()[0]->GetName(), ustring("BlackUsed"));
    EXPECT_EQ(list.settings()[0]->GetSeverity(), eProblemSeverity_Warn);
    EXPECT_EQ(list.settings()[1]->GetName(), ustring("ResTooLowContone"));
    EXPECT_EQ(list.settings()[1]->GetValue(BCheckSetting::eValue_Warn), 150);
    EXPECT_EQ(list.settings()[2]->GetStringParam(0), ustring("Default CMYK.icc"));
}

TEST_F(BCheckSettingListTest, ProfileFormKeepsDescribedChecksInNameOrder) {
    list.DeserialiseSettings(Ticket()
                                 .destination(Qcs().check("ResTooLowContone", Check().warn(150)))
                                 .local(Qcs()
                                            .check("BlackUsed", Check().sev("warn"))
                                            .check("MinPlates", Check().warn(2))  // not described
                                            .check("DoublePageSpread", Check().sev("fault")))
                                 .build());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.settings()[0]->GetName(), ustring("BlackUsed"));
    // Described, though of no known type: kept, with nothing to evaluate.
    EXPECT_EQ(list.settings()[1]->GetName(), ustring("DoublePageSpread"));
    EXPECT_EQ(list.settings()[1]->GetSettingType(), eSettingType_Undefined);
    EXPECT_EQ(list.settings()[2]->GetName(), ustring("ResTooLowContone"));

    list.DeserialiseSettings(nullptr);
    EXPECT_EQ(list.size(), 0u);
}

TEST_F(BCheckSettingListTest, NumericParameterInTwoQcsFallsBackToTheDefault) {
    list.DeserialiseSettings(Ticket()
                                 .destination(Qcs().check("MaxPlates", Check().warn(4)))
                                 .destination(Qcs().check("MaxPlates", Check().warn(5)))
                                 .build());
    // MaxPlates is a limit: the two combine.
    ASSERT_NE(list.FindCheckSetting("MaxPlates"), nullptr);
    EXPECT_EQ(list.FindCheckSetting("MaxPlates")->GetValue(BCheckSetting::eValue_Warn), 4);

    list.DeserialiseSettings(Ticket()
                                 .destination(Qcs().check("Setting_PDFVersion", Check().note(1.4)))
                                 .destination(Qcs().check("Setting_PDFVersion", Check().note(1.5)))
                                 .build());
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(list.FindCheckSetting("Setting_PDFVersion"), nullptr);  // and it has no default check
}

TEST_F(BCheckSettingListTest, WrongTypedTicketsDecodeToDefaults) {
    Ticket t;
    t.raw().str("destinations", "d1").ints("qcs", 3);
    ASSERT_NO_THROW(list.DeserialiseSettings(t.build()));
    EXPECT_EQ(list.size(), 0u);

    Ticket settings;
    settings.raw().str("settings", "not a record");
    settings.local(Qcs().check("BlackUsed", Check().sev("warn")));
    list.DeserialiseSettings(settings.build());  // not the stored form: the profile is read
    ASSERT_EQ(list.size(), 1u);

    Msg wrongProblem;
    wrongProblem.ints("problem", 4);
    list.DeserialiseSettings(Ticket().settingsRecord(wrongProblem).build());
    EXPECT_EQ(list.size(), 0u);

    // A null record among the stored ones is skipped like a nameless one.
    Msg record;
    record.str("problem", "BlackUsed");
    const auto stored = Ticket().settingsRecord(record).build();
    auto withNull = std::make_shared<umessage>(*stored);
    withNull->addData_priv<std::shared_ptr<umessage>>("settings", umessage_type_message, nullptr, false);
    withNull->addData_priv<std::shared_ptr<umessage>>("settings", umessage_type_message, record.build(),
                                                      false);
    list.DeserialiseSettings(withNull);
    EXPECT_EQ(list.size(), 2u);

    Msg wrongChecks;
    wrongChecks.str("checks", "BlackUsed").msg("restrictions", Msg().str("checks", "x"));
    Msg wrongQcsTicket;
    wrongQcsTicket.msg("qcs", wrongChecks).msg("destinations", Msg().ints("qcs", 1));
    ASSERT_NO_THROW(list.DeserialiseSettings(wrongQcsTicket.build()));
    EXPECT_EQ(list.size(), 0u);
}

// The colour profiles folder lives under XDG_DATA_HOME; each test gets its own.
class ProfileResolution : public BCheckSettingListTest {
protected:
    void SetUp() override {
        BCheckSettingListTest::SetUp();
        env.set("XDG_DATA_HOME", root.path());
        ASSERT_EQ(UFileSpecCore(UFileSpecCore::eSpecialFolder_ColorProfiles).path(), ustring(root / "icc"));
    }
    ustring profile(const char* name) { return ustring(root.write(std::string("icc/") + name, "icc")); }

    testing_support::ScratchFolder root;
    testing_support::ScopedEnvironment env;
};

TEST_F(ProfileResolution, ExistingFilesBecomeFullPaths) {
    const ustring path = profile("Coated.icc");
    root.makeFolder("icc/Folder.icc");
    decodeLocal(Qcs()
                    .check("Setting_ProcessProfile", Check().param("Coated.icc").param("Missing.icc"))
                    .check("Setting_GrayscaleProfile", Check().param("Folder.icc"))
                    .check("Setting_Standard", Check().param("Coated.icc")));
    const BCheckSetting* process = list.FindCheckSetting("Setting_ProcessProfile");
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(process->GetStringParam(0), path);
    EXPECT_EQ(process->GetStringParam(1), ustring("Missing.icc"));
    EXPECT_EQ(list.FindCheckSetting("Setting_GrayscaleProfile")->GetStringParam(0), ustring("Folder.icc"));
    // Not one of the four profile settings.
    EXPECT_EQ(list.FindCheckSetting("Setting_Standard")->GetStringParam(0), ustring("Coated.icc"));

    ustring name = "Coated.icc";
    EXPECT_TRUE(BCheckSettingList::convertProfileNameToPath(name));
    EXPECT_EQ(name, path);
    name = "";
    EXPECT_FALSE(BCheckSettingList::convertProfileNameToPath(name));
    EXPECT_EQ(name, ustring(""));
}

TEST_F(ProfileResolution, DefaultChecksAreResolvedToo) {
    const ustring path = profile("Default CMYK.icc");
    const BCheckSetting* process = list.FindCheckSetting("Setting_ProcessProfile");
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(process->GetStringParam(0), path);
}

TEST(BCheckSettingListWithoutDescriptions, StoredFormStillDecodes) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            BCheckSettingList stored;
            BCheckSettingList profile;
            Msg record;
            record.str("problem", "ResTooLowContone").str("type", "eSettingType_LimitsLow").num("warn", 5);
            stored.DeserialiseSettings(Ticket().settingsRecord(record).build());
            profile.DeserialiseSettings(
                Ticket().local(Qcs().check("ResTooLowContone", Check().warn(5))).build());
            const bool ok = detectableProblemDescriptions() == nullptr && stored.size() == 1 &&
                            stored.settings()[0]->GetSettingType() == eSettingType_LimitsLow &&
                            stored.settings()[0]->GetSeverity() == eProblemSeverity_Warn &&
                            profile.size() == 0 && profile.FindCheckSetting("MaxPlates") == nullptr &&
                            BCheckSettingList::LookupSettingType("MaxPlates") == eSettingType_Undefined;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
