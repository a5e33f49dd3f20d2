#include "BCheckSettingDecode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "TestProblemDescriptions.h"

using namespace ticket_builder;

namespace {

constexpr int kNote = WCheckSetting::kIndexNote;
constexpr int kWarn = WCheckSetting::kIndexWarn;
constexpr int kFault = WCheckSetting::kIndexFault;

// One destination per check, each defining `name`.
Ticket inDestinations(const char* name, const std::vector<Check>& checks) {
    Ticket t;
    for (const Check& c : checks) t.destination(Qcs().check(name, c));
    return t;
}

class ApplyingCheck : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(installTestProblemDescriptions(), nullptr); }

    static WCheckSetting find(const Ticket& t, const char* name) {
        return FindCheckSetting(WEffectiveProfile(t.build()), name);
    }
    static std::vector<WCheckSetting> chain(const Ticket& t, const char* name) {
        return check_setting_decode::CollectChain(WEffectiveProfile(t.build()), name);
    }
    static ustring text(const WCheckSetting& c, const char* key) {
        return c.empty() ? ustring("(empty)") : c.message()->get<ustring>(key, 0, "");
    }
    static int fix(const WCheckSetting& c) { return c.message()->get<int>("fix", 0, -1); }
};

TEST_F(ApplyingCheck, LimitsLowKeepsTheLargestPerKey) {
    const WCheckSetting c =
        find(inDestinations("ResTooLowContone",
                            {Check().warn(150).sev("note"), Check().mark("second").warn(200).fault(100)}),
             "ResTooLowContone");
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c.GetValue<double>(kWarn), 200);
    EXPECT_EQ(c.GetValue<double>(kFault), 100);
    EXPECT_TRUE(c.GetValueNULL(kNote));
    EXPECT_EQ(text(c, "sev"), ustring("fault"));
    EXPECT_EQ(text(c, "mark"), ustring("second"));
    EXPECT_EQ(fix(c), -1);
}

TEST_F(ApplyingCheck, LimitsHighKeepsTheSmallestAndTheEarlierOnTies) {
    Check third = Check().mark("third");
    third.ints("warn", 300);
    const WCheckSetting c = find(
        inDestinations("ResTooHighContone", {Check().mark("first").warn(400).note(10),
                                             Check().mark("second").warn(300).note(10).ignore(1), third}),
        "ResTooHighContone");
    EXPECT_EQ(c.GetValue<double>(kWarn), 300);
    EXPECT_EQ(c.GetValue<double>(kNote), 10);
    EXPECT_EQ(text(c, "sev"), ustring("warn"));
    // The winner is the first check with a number under the gravest key.
    EXPECT_EQ(text(c, "mark"), ustring("first"));
    EXPECT_TRUE(c.GetValueNULL(WCheckSetting::kIndexIgnore));
}

TEST_F(ApplyingCheck, ReductionWordsAndFix) {
    const struct {
        const char* name;
        std::vector<Check> checks;
        const char* sev;  // "(empty)": nothing applies
        int fix;          // -1: no "fix"
        const char* mark;
    } cases[] = {
        // Limits: "fix" only below fault; the checks' own words play no part.
        {"ResTooHighContone", {Check().warn(4).fix(3), Check().note(2).fix(2)}, "warn", 1, ""},
        {"ResTooHighContone", {Check().warn(4).fix(1), Check().fault(9).fix(1)}, "fault", -1, ""},
        {"ResTooHighContone", {Check().sev("fault"), Check().ignore(3)}, "(empty)", 0, ""},
        // Booleans: the gravest word, the first check to reach it wins; an even "fix" is no fix.
        {"BlackUsed",
         {Check().sev("note"), Check().mark("first").sev("fault"),
          Check().mark("second").sev("fault").fix(2)},
         "fault",
         -1,
         "first"},
        {"BlackUsed",
         {Check().mark("warn").sev("warn").fix(1), Check().mark("fault").sev("fault")},
         "warn",
         1,
         "fault"},
        {"BlackUsed", {Check().sev("ignore"), Check()}, "ignore", -1, ""},
        {"BlackUsed", {Check().sev("dynamic"), Check().sev("parameter")}, "(empty)", 0, ""},
        // Several checks of a type with no reduction.
        {"DoublePageSpread", {Check().sev("warn"), Check().sev("fault")}, "(empty)", 0, ""},
    };
    for (const auto& c : cases) {
        const WCheckSetting r = find(inDestinations(c.name, c.checks), c.name);
        SCOPED_TRACE(testing::Message() << c.name << " -> " << c.sev);
        EXPECT_EQ(text(r, "sev"), ustring(c.sev));
        if (r.empty()) continue;
        EXPECT_EQ(fix(r), c.fix);
        EXPECT_EQ(text(r, "mark"), ustring(c.mark));
    }
}

TEST_F(ApplyingCheck, LocalPageBoxChecksMeetAMadeUpFault) {
    const Ticket withDestination = Ticket()
                                       .destination(Qcs().check("BlackUsed", Check().sev("warn")))
                                       .local(Qcs().check("MissingTrimBox", Check().sev("note")));
    const std::vector<WCheckSetting> c = chain(withDestination, "MissingTrimBox");
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(text(c[0], "sev"), ustring("fault"));
    EXPECT_EQ(c[0].message()->getNames().size(), 1u);
    EXPECT_EQ(text(find(withDestination, "MissingTrimBox"), "sev"), ustring("fault"));

    // Without destinations the local word stands.
    const Ticket localOnly = Ticket().local(Qcs().check("MissingTrimBox", Check().sev("note")));
    EXPECT_EQ(text(find(localOnly, "MissingTrimBox"), "sev"), ustring("note"));
}

TEST_F(ApplyingCheck, DestinationsWinForInkWeight) {
    const WCheckSetting c =
        find(Ticket()
                 .destination(Qcs().check("InkWeightTAC", Check().mark("dest").fault(300)))
                 .local(Qcs().check("InkWeightTAC", Check().mark("local").fault(250))),
             "InkWeightTAC");
    EXPECT_EQ(text(c, "mark"), ustring("dest"));
    EXPECT_EQ(c.GetValue<double>(kFault), 300);

    // A local restriction is collected first, so it also hides the local qcs's own check.
    const auto restricted =
        chain(Ticket().destination(Qcs()).local(
                  Qcs()
                      .check("InkWeightTAC", Check().mark("local").fault(250))
                      .restriction(Qcs().check("InkWeightTAC", Check().mark("restriction").fault(280)))),
              "InkWeightTAC");
    ASSERT_EQ(restricted.size(), 1u);
    EXPECT_EQ(text(restricted[0], "mark"), ustring("restriction"));
}

TEST_F(ApplyingCheck, AllCheckStandsInForLimitsAndBooleansOnly) {
    const Ticket t = Ticket().local(Qcs()
                                        .check("all", Check().sev("warn").warn(2))
                                        .check("Setting_ProcessProfile", Check().param("a.icc")));
    EXPECT_EQ(text(find(t, "BlackUsed"), "sev"), ustring("warn"));
    EXPECT_EQ(find(t, "ResTooLowContone").GetValue<double>(kWarn), 2);
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
    numeric.ints("P", 3);
    Ticket t =
        inDestinations("Setting_ProcessProfile", {numeric, Check().param("").param("").param("third.icc")});
    const WCheckSetting c = find(t.local(Qcs().check("Setting_ProcessProfile", Check().param("local.icc"))),
                                 "Setting_ProcessProfile");
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c.message()->get<ustring>("P", 2, ""), ustring("third.icc"));

    // Numeric parameters defined twice reduce to nothing.
    EXPECT_TRUE(find(inDestinations("Setting_PDFVersion", {Check().note(1.4), Check().note(1.5)}),
                     "Setting_PDFVersion")
                    .empty());
}

TEST_F(ApplyingCheck, EmptyChainGivesTheDefaultCheck) {
    const Ticket t = Ticket().local(Qcs().check("CourierUsed", Check().sev("warn")));
    EXPECT_EQ(text(find(t, "BlackUsed"), "sev"), ustring("note"));
    EXPECT_TRUE(find(t, "ResTooLowContone").empty());
    EXPECT_EQ(find(Ticket(), "MaxPlates").GetValue<double>(kWarn), 6);
    // No ticket at all: nothing collected, so the default check.
    EXPECT_EQ(text(FindCheckSetting(WEffectiveProfile(nullptr), "BlackUsed"), "sev"), ustring("note"));
}

TEST_F(ApplyingCheck, TheTicketIsNotChangedAndWrongTypesNeverThrow) {
    const auto ticket =
        inDestinations("BlackUsed", {Check().sev("fault").fix(1), Check().sev("note")}).build();
    const umessage before(*ticket);
    EXPECT_EQ(text(FindCheckSetting(WEffectiveProfile(ticket), "BlackUsed"), "sev"), ustring("warn"));
    EXPECT_TRUE(*ticket == before);

    Check odd;
    odd.ints("sev", 4).str("fix", "1").str("warn", "3").flag("fault", true);
    const Ticket t = Ticket()
                         .destination(Qcs().check("BlackUsed", odd).check("ResTooLowContone", odd))
                         .destination(Qcs().check("BlackUsed", odd).check("ResTooLowContone", odd));
    EXPECT_NO_THROW({
        EXPECT_TRUE(find(t, "BlackUsed").empty());
        EXPECT_TRUE(find(t, "ResTooLowContone").empty());
    });
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

TEST_F(ApplyingCheck, OneWalkOverEveryQcsGivesWhatEachNameGivesAlone) {
    const Qcs local = Qcs()
                          .check("all", Check().mark("local all").sev("fault").fault(5))
                          .check("InkWeightTAC", Check().fault(250))
                          .check("ImageJPEGEncoded", Check().sev("note"))
                          .check("MissingBleedBox", Check().sev("note"))
                          .check("Setting_ProcessProfile", Check().param("local.icc"))
                          .check("Zzz local only", Check().sev("warn"))
                          .restriction(Qcs()
                                           .check("ImageNotJPEGEncoded", Check().sev("warn"))
                                           .check("MediaTooSmall", Check().sev("note")));
    const Ticket varied =
        Ticket()
            .destination(Qcs()
                             .check("all", Check().mark("first all").sev("note").warn(3))
                             .check("BlackUsed", Check().sev("warn").fix(1))
                             .check("MissingTrimBox", Check().sev("note"))
                             .check("ResTooLowContone", Check().warn(150))
                             .check("Setting_ProcessProfile", Check().param("a.icc"))
                             .restriction(Qcs()
                                              .check("CourierUsed", Check().sev("fault"))
                                              .check("ResTooLowContone", Check().fault(90))
                                              .restriction(Qcs().check("InkWeightTAC", Check().fault(280)))))
            .destination(Qcs()
                             .check("DoublePageSpread", Check().sev("warn"))
                             .check("ResTooHighContone", Check().warn(400))
                             .check("ResTooLowContone", Check().warn(200).fault(100))
                             .check("Setting_PDFVersion", Check().note(1.4))
                             .check("Zzz not described", Check().sev("fault")))
            .destination(Qcs())
            .destination(Qcs()
                             .check("Aaa not described", Check().sev("note"))
                             .check("BlackUsed", Check().sev("fault"))
                             .check("DoublePageSpread", Check().sev("note"))
                             .check("ImageJPEGEncoded", Check().sev("warn"))
                             .check("Setting_PDFVersion", Check().note(1.5)))
            .local(local);
    for (const Ticket& t : {varied, Ticket().local(local)}) {
        const auto ticket = t.build();
        const WEffectiveProfile profile(ticket);
        WConstEffectiveProfileCheckSettingIterator it(profile);
        std::vector<const ustring*> every, some;
        while (it.next()) every.push_back(&it.name());
        // Every other name, and one no qcs mentions.
        const ustring maxPlates("MaxPlates");
        for (size_t i = 0; i < every.size(); i += 2) some.push_back(every[i]);
        some.push_back(&maxPlates);
        std::sort(some.begin(), some.end(), [](const ustring* a, const ustring* b) { return *a < *b; });

        for (const auto* names : {&every, &some}) {
            const std::vector<WCheckSetting> all =
                check_setting_decode::ProfileChecks(profile).findAll(*names);
            ASSERT_EQ(all.size(), names->size());
            for (size_t i = 0; i < names->size(); ++i) {
                SCOPED_TRACE((*names)[i]->str());
                const WCheckSetting alone = FindCheckSetting(profile, *(*names)[i]);
                ASSERT_EQ(all[i].empty(), alone.empty());
                if (!alone.empty()) {
                    EXPECT_TRUE(*all[i].message() == *alone.message());
                }
            }
        }
    }
}

}  // namespace
