#include "BCheckSettingDecode.h"

#include <gtest/gtest.h>

#include "TestProblemDescriptions.h"

using namespace ticket_builder;

namespace {

class ApplyingCheck : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(installTestProblemDescriptions(), nullptr); }

    static WCheckSetting find(const Ticket& t, const char* name) {
        return FindCheckSetting(WEffectiveProfile(t.build()), name);
    }
    static ustring text(const WCheckSetting& c, const char* key) {
        ustring s;
        c.message()->find<ustring>(key, 0, s);
        return s;
    }
    static bool has(const WCheckSetting& c, const char* key) { return c.message()->hasData(key); }
    static int fix(const WCheckSetting& c) { return c.message()->get<int>("fix", 0, -1); }
    // A check marked so the winner can be recognised in the result.
    static Check marked(const char* mark) {
        Check c;
        c.str("mark", mark);
        return c;
    }
};

TEST_F(ApplyingCheck, LimitsLowKeepsTheLargestPerKey) {
    Check second = marked("second");
    second.warn(200).fault(100);
    const WCheckSetting c =
        find(Ticket()
                 .destination(Qcs().check("ResTooLowContone", Check().warn(150).sev("note")))
                 .destination(Qcs().check("ResTooLowContone", second)),
             "ResTooLowContone");
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c.GetValue<double>(WCheckSetting::kIndexWarn), 200);
    EXPECT_EQ(c.GetValue<double>(WCheckSetting::kIndexFault), 100);
    EXPECT_TRUE(c.GetValueNULL(WCheckSetting::kIndexNote));
    EXPECT_EQ(text(c, "sev"), ustring("fault"));
    EXPECT_EQ(text(c, "mark"), ustring("second"));
    EXPECT_FALSE(has(c, "fix"));
}

TEST_F(ApplyingCheck, LimitsHighKeepsTheSmallestAndTheEarlierOnTies) {
    Check first = marked("first");
    first.warn(400).note(10);
    Check second = marked("second");
    second.warn(300).note(10).ignore(1);
    Check third = marked("third");
    third.integer("warn", 300);
    const WCheckSetting c = find(Ticket()
                                     .destination(Qcs().check("ResTooHighContone", first))
                                     .destination(Qcs().check("ResTooHighContone", second))
                                     .destination(Qcs().check("ResTooHighContone", third)),
                                 "ResTooHighContone");
    EXPECT_EQ(c.GetValue<double>(WCheckSetting::kIndexWarn), 300);
    EXPECT_EQ(c.GetValue<double>(WCheckSetting::kIndexNote), 10);
    EXPECT_EQ(text(c, "sev"), ustring("warn"));
    // The winner is the first check with a number under the gravest key.
    EXPECT_EQ(text(c, "mark"), ustring("first"));
    EXPECT_TRUE(c.GetValueNULL(WCheckSetting::kIndexIgnore));
}

TEST_F(ApplyingCheck, LimitsFixOnlyBelowFault) {
    const WCheckSetting warn =
        find(Ticket()
                 .destination(Qcs().check("ResTooHighContone", Check().warn(4).fix(3)))
                 .destination(Qcs().check("ResTooHighContone", Check().note(2).fix(2))),
             "ResTooHighContone");
    EXPECT_EQ(text(warn, "sev"), ustring("warn"));
    EXPECT_EQ(fix(warn), 1);

    const WCheckSetting fault =
        find(Ticket()
                 .destination(Qcs().check("ResTooHighContone", Check().warn(4).fix(1)))
                 .destination(Qcs().check("ResTooHighContone", Check().fault(9).fix(1))),
             "ResTooHighContone");
    EXPECT_EQ(text(fault, "sev"), ustring("fault"));
    EXPECT_FALSE(has(fault, "fix"));

    const WCheckSetting nothing =
        find(Ticket()
                 .destination(Qcs().check("ResTooHighContone", Check().sev("fault")))
                 .destination(Qcs().check("ResTooHighContone", Check().ignore(3))),
             "ResTooHighContone");
    EXPECT_TRUE(nothing.empty());
}

TEST_F(ApplyingCheck, BooleanKeepsTheGravestWord) {
    Check firstFault = marked("first");
    firstFault.sev("fault");
    Check secondFault = marked("second");
    secondFault.sev("fault").fix(2);  // even: not fixable
    const WCheckSetting c = find(Ticket()
                                     .destination(Qcs().check("BlackUsed", Check().sev("note")))
                                     .destination(Qcs().check("BlackUsed", firstFault))
                                     .destination(Qcs().check("BlackUsed", secondFault)),
                                 "BlackUsed");
    EXPECT_EQ(text(c, "sev"), ustring("fault"));
    EXPECT_EQ(text(c, "mark"), ustring("first"));
    EXPECT_FALSE(has(c, "fix"));
}

TEST_F(ApplyingCheck, BooleanFixableFaultBecomesWarn) {
    Check fixableWarn = marked("warn");
    fixableWarn.sev("warn").fix(1);
    const WCheckSetting c = find(Ticket()
                                     .destination(Qcs().check("BlackUsed", fixableWarn))
                                     .destination(Qcs().check("BlackUsed", marked("fault").sev("fault"))),
                                 "BlackUsed");
    EXPECT_EQ(text(c, "sev"), ustring("warn"));
    EXPECT_EQ(fix(c), 1);
    EXPECT_EQ(text(c, "mark"), ustring("fault"));
}

TEST_F(ApplyingCheck, BooleanWithoutGradedWordsIsEmpty) {
    const WCheckSetting c = find(Ticket()
                                     .destination(Qcs().check("BlackUsed", Check().sev("dynamic")))
                                     .destination(Qcs().check("BlackUsed", Check().sev("parameter"))),
                                 "BlackUsed");
    EXPECT_TRUE(c.empty());
}

TEST_F(ApplyingCheck, LocalPageBoxChecksMeetAMadeUpFault) {
    const Ticket withDestination = Ticket()
                                       .destination(Qcs().check("BlackUsed", Check().sev("warn")))
                                       .local(Qcs().check("MissingTrimBox", Check().sev("note")));
    const std::vector<WCheckSetting> chain =
        check_setting_decode::CollectChain(WEffectiveProfile(withDestination.build()), "MissingTrimBox");
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(text(chain[0], "sev"), ustring("fault"));
    EXPECT_EQ(chain[0].message()->getNames().size(), 1u);
    EXPECT_EQ(text(find(withDestination, "MissingTrimBox"), "sev"), ustring("fault"));

    // Without destinations the local word stands.
    const Ticket localOnly = Ticket().local(Qcs().check("MissingTrimBox", Check().sev("note")));
    EXPECT_EQ(text(find(localOnly, "MissingTrimBox"), "sev"), ustring("note"));
}

TEST_F(ApplyingCheck, DestinationsWinForInkWeight) {
    const WCheckSetting c = find(Ticket()
                                     .destination(Qcs().check("InkWeightTAC", marked("dest").fault(300)))
                                     .local(Qcs().check("InkWeightTAC", marked("local").fault(250))),
                                 "InkWeightTAC");
    EXPECT_EQ(text(c, "mark"), ustring("dest"));
    EXPECT_EQ(c.GetValue<double>(WCheckSetting::kIndexFault), 300);

    // A local restriction is collected first, so it also hides the local qcs's own check.
    const Ticket t = Ticket().destination(Qcs()).local(
        Qcs()
            .check("InkWeightTAC", marked("local").fault(250))
            .restriction(Qcs().check("InkWeightTAC", marked("restriction").fault(280))));
    const auto chain = check_setting_decode::CollectChain(WEffectiveProfile(t.build()), "InkWeightTAC");
    ASSERT_EQ(chain.size(), 1u);
    EXPECT_EQ(text(chain[0], "mark"), ustring("restriction"));
}

TEST_F(ApplyingCheck, AllCheckStandsInForLimitsAndBooleansOnly) {
    const Ticket t = Ticket().local(Qcs()
                                        .check("all", Check().sev("warn").warn(2))
                                        .check("Setting_ProcessProfile", Check().param("a.icc")));
    EXPECT_EQ(text(find(t, "BlackUsed"), "sev"), ustring("warn"));
    EXPECT_EQ(find(t, "ResTooLowContone").GetValue<double>(WCheckSetting::kIndexWarn), 2);
    EXPECT_TRUE(find(t, "Setting_PDFVersion").empty());  // parameter, and no default check
    EXPECT_TRUE(find(t, "MinPlates").empty());           // not described
}

TEST_F(ApplyingCheck, RestrictionsComeBeforeTheirQcs) {
    const Ticket t = Ticket().destination(Qcs()
                                              .check("Setting_ProcessProfile", Check().param("own.icc"))
                                              .restriction(Qcs().restriction(Qcs().restriction(Qcs().check(
                                                  "Setting_ProcessProfile", Check().param("deep.icc"))))));
    EXPECT_EQ(text(find(t, "Setting_ProcessProfile"), "P"), ustring("deep.icc"));
}

TEST_F(ApplyingCheck, ParameterTakesTheFirstStringParameter) {
    Check numeric;
    numeric.integer("P", 3);
    Check third;
    third.str("P", "").str("P", "").str("P", "third.icc");
    const WCheckSetting c =
        find(Ticket()
                 .destination(Qcs().check("Setting_ProcessProfile", numeric))
                 .destination(Qcs().check("Setting_ProcessProfile", third))
                 .local(Qcs().check("Setting_ProcessProfile", Check().param("local.icc"))),
             "Setting_ProcessProfile");
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c.message()->get<ustring>("P", 2, ""), ustring("third.icc"));

    const WCheckSetting numbers = find(Ticket()
                                           .destination(Qcs().check("Setting_PDFVersion", Check().note(1.4)))
                                           .local(Qcs().check("Setting_PDFVersion", Check().note(1.5))),
                                       "Setting_PDFVersion");
    EXPECT_TRUE(numbers.empty());
}

TEST_F(ApplyingCheck, EmptyChainGivesTheDefaultCheck) {
    const Ticket t = Ticket().local(Qcs().check("CourierUsed", Check().sev("warn")));
    EXPECT_EQ(text(find(t, "BlackUsed"), "sev"), ustring("note"));
    EXPECT_TRUE(find(t, "ResTooLowContone").empty());
    EXPECT_TRUE(find(Ticket(), "MaxPlates").GetValue<double>(WCheckSetting::kIndexWarn) == 6);
}

TEST_F(ApplyingCheck, SeveralChecksOfAnUndefinedTypeGiveNothing) {
    const WCheckSetting c = find(Ticket()
                                     .destination(Qcs().check("DoublePageSpread", Check().sev("warn")))
                                     .destination(Qcs().check("DoublePageSpread", Check().sev("fault"))),
                                 "DoublePageSpread");
    EXPECT_TRUE(c.empty());
}

TEST_F(ApplyingCheck, TheTicketIsNotChanged) {
    const Ticket t = Ticket()
                         .destination(Qcs().check("BlackUsed", Check().sev("fault").fix(1)))
                         .destination(Qcs().check("BlackUsed", Check().sev("note")));
    const auto ticket = t.build();
    const umessage before(*ticket);
    const WCheckSetting c = FindCheckSetting(WEffectiveProfile(ticket), "BlackUsed");
    EXPECT_EQ(text(c, "sev"), ustring("warn"));
    EXPECT_TRUE(*ticket == before);
}

TEST_F(ApplyingCheck, WrongTypedChecksNeverThrow) {
    Check odd;
    odd.integer("sev", 4).str("fix", "1").str("warn", "3").flag("fault", true);
    const Ticket t = Ticket()
                         .destination(Qcs().check("BlackUsed", odd).check("ResTooLowContone", odd))
                         .destination(Qcs().check("BlackUsed", odd).check("ResTooLowContone", odd));
    EXPECT_NO_THROW({
        EXPECT_TRUE(find(t, "BlackUsed").empty());
        EXPECT_TRUE(find(t, "ResTooLowContone").empty());
    });
    // No ticket at all: nothing collected, so the default check.
    EXPECT_EQ(text(FindCheckSetting(WEffectiveProfile(nullptr), "BlackUsed"), "sev"), ustring("note"));
}

TEST_F(ApplyingCheck, OneFinderAnswersNamesInAnyOrderAlike) {
    const Ticket t =
        Ticket()
            .destination(Qcs()
                             .check("BlackUsed", Check().sev("warn"))
                             .check("ResTooLowContone", Check().warn(150))
                             .check("Setting_ProcessProfile", Check().param("a.icc")))
            .destination(
                Qcs().check("CourierUsed", Check().sev("fault")).check("ResTooLowContone", Check().fault(90)))
            .destination(Qcs().restriction(Qcs().check("InkWeightTAC", Check().fault(280))))
            .local(Qcs()
                       .check("all", Check().sev("note").warn(3))
                       .check("MissingTrimBox", Check().sev("note"))
                       .check("ResTooHighContone", Check().warn(400)));
    const auto ticket = t.build();
    const WEffectiveProfile profile(ticket);
    const std::vector<ustring> names = {"BlackUsed",        "CourierUsed",        "InkWeightTAC",
                                        "MaxPlates",        "MissingTrimBox",     "ResTooHighContone",
                                        "ResTooLowContone", "Setting_PDFVersion", "Setting_ProcessProfile",
                                        "Zzz not described"};
    const std::vector<ustring> reversed(names.rbegin(), names.rend());
    const std::vector<ustring> mixed = {"ResTooLowContone",       "BlackUsed",   "BlackUsed",
                                        "Setting_ProcessProfile", "CourierUsed", "InkWeightTAC",
                                        "MissingTrimBox"};
    for (const auto* order : {&names, &reversed, &mixed}) {
        const check_setting_decode::ProfileChecks finder(profile);
        for (const ustring& name : *order) {
            SCOPED_TRACE(name.str());
            const WCheckSetting fast = finder.find(name);
            const WCheckSetting alone = FindCheckSetting(profile, name);
            ASSERT_EQ(fast.empty(), alone.empty());
            if (!fast.empty()) {
                EXPECT_TRUE(*fast.message() == *alone.message());
            }
        }
    }
    // The answers are not all alike, so the comparison above has something to tell apart.
    EXPECT_EQ(text(FindCheckSetting(profile, "ResTooLowContone"), "sev"), ustring("fault"));
    EXPECT_EQ(text(FindCheckSetting(profile, "CourierUsed"), "sev"), ustring("fault"));
    EXPECT_EQ(text(FindCheckSetting(profile, "MaxPlates"), "sev"), ustring("note"));
}

}  // namespace
