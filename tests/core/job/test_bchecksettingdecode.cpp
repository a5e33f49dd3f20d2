#include "job/BCheckSettingDecode.h"

#include <gtest/gtest.h>

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

TEST_F(ApplyingCheck, LimitsKeepTheStrictestValuePerKey) {
    // Low limits: the largest; the copy is the check that has the gravest key's winner.
    const WCheckSetting low =
        find(inDestinations("ResTooLowContone",
                            {Check().warn(150).sev("note"), Check().mark("second").warn(200).fault(100)}),
             "ResTooLowContone");
    ASSERT_FALSE(low.empty());
    EXPECT_EQ(std::tuple(low.GetValue<double>(kWarn), low.GetValue<double>(kFault), low.GetValueNULL(kNote)),
              std::tuple(200.0, 100.0, true));
    EXPECT_EQ(std::tuple(text(low, "sev"), text(low, "mark"), fix(low)),
              std::tuple(ustring("fault"), ustring("second"), -1));

    // High limits: the smallest, and the earlier check on ties.
    Check third = Check().mark("third");
    third.ints("warn", {300});
    const WCheckSetting high = find(
        inDestinations("ResTooHighContone", {Check().mark("first").warn(400).note(10),
                                             Check().mark("second").warn(300).note(10).ignore(1), third}),
        "ResTooHighContone");
    EXPECT_EQ(std::tuple(high.GetValue<double>(kWarn), high.GetValue<double>(kNote), text(high, "sev"),
                         text(high, "mark")),
              std::tuple(300.0, 10.0, ustring("warn"), ustring("first")));
    EXPECT_TRUE(high.GetValueNULL(WCheckSetting::kIndexIgnore));
}

TEST_F(ApplyingCheck, ReductionWordsAndFix) {
    const auto sev = [](const char* word) { return Check().sev(word); };
    const struct {
        const char* name;
        const char* sev;  // "(empty)": nothing applies
        int fix;          // -1: no "fix"
        const char* mark;
        std::vector<Check> checks;
    } cases[] = {
        // Limits: "fix" only below fault; the checks' own words play no part.
        {"ResTooHighContone", "warn", 1, "", {Check().warn(4).fix(3), Check().note(2).fix(2)}},
        {"ResTooHighContone", "fault", -1, "", {Check().warn(4).fix(1), Check().fault(9).fix(1)}},
        {"ResTooHighContone", "(empty)", 0, "", {Check().sev("fault"), Check().ignore(3)}},
        // Booleans: the gravest word, the first check to reach it wins; an even "fix" is no fix.
        {"BlackUsed", "fault", -1, "1", {sev("note"), sev("fault").mark("1"), sev("fault").mark("2").fix(2)}},
        {"BlackUsed", "warn", 1, "fault", {sev("warn").mark("warn").fix(1), sev("fault").mark("fault")}},
        {"BlackUsed", "(empty)", 0, "", {Check().sev("dynamic"), Check().sev("parameter")}},
        // A numeric parameter defined twice.
        {"Setting_PDFVersion", "(empty)", 0, "", {Check().note(1.4), Check().note(1.5)}},
    };
    for (const auto& c : cases) {
        const WCheckSetting r = find(inDestinations(c.name, c.checks), c.name);
        EXPECT_EQ(text(r, "sev"), ustring(c.sev)) << c.name << " -> " << c.sev;
        if (!r.empty()) {
            EXPECT_EQ(std::tuple(fix(r), text(r, "mark")), std::tuple(c.fix, ustring(c.mark)))
                << c.name << " -> " << c.sev;
        }
    }
}

TEST_F(ApplyingCheck, WhichQcsTakePart) {
    const Qcs trimNote = Qcs().check("MissingTrimBox", Check().sev("note"));
    const Qcs localInk = Qcs().check("InkWeightTAC", Check().mark("local").fault(250));
    Check numeric;
    numeric.ints("P", {3});
    const struct {
        const char* label;
        Ticket ticket;
        const char *name, *key, *expected;
    } cases[] = {
        {"local page-box checks meet a made-up fault when there are destinations",
         Ticket().destination(Qcs().check("BlackUsed", Check().sev("warn"))).local(trimNote),
         "MissingTrimBox", "sev", "fault"},
        {"without destinations they stand", Ticket().local(trimNote), "MissingTrimBox", "sev", "note"},
        {"destinations win for ink weight",
         Ticket().destination(Qcs().check("InkWeightTAC", Check().mark("dest").fault(300))).local(localInk),
         "InkWeightTAC", "mark", "dest"},
        {"a local restriction hides the local qcs's own check",
         Ticket().destination(Qcs()).local(
             Qcs(localInk).restriction(Qcs().check("InkWeightTAC", Check().mark("restriction").fault(280)))),
         "InkWeightTAC", "mark", "restriction"},
        {"restrictions at any depth come before their qcs",
         Ticket().destination(Qcs()
                                  .check("Setting_ProcessProfile", Check().param("own.icc"))
                                  .restriction(Qcs().restriction(Qcs().restriction(
                                      Qcs().check("Setting_ProcessProfile", Check().param("deep.icc")))))),
         "Setting_ProcessProfile", "P", "deep.icc"},
        {"the first string parameter wins",
         inDestinations("Setting_ProcessProfile", {numeric, Check().param("").param("x.icc")})
             .local(Qcs().check("Setting_ProcessProfile", Check().param("local.icc"))),
         "Setting_ProcessProfile", "P", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text(find(c.ticket, c.name), c.key), ustring(c.expected)) << c.label;
    const auto p = find(cases[5].ticket, "Setting_ProcessProfile");
    EXPECT_EQ(p.message()->get<ustring>("P", 1, ""), ustring("x.icc"));
    EXPECT_EQ(chain(cases[3].ticket, "InkWeightTAC").size(), 1u);
}

TEST_F(ApplyingCheck, AllCheckAndDefaultsStandInForMissingChecks) {
    const Ticket t = Ticket().local(
        Qcs().check("all", Check().sev("warn").warn(2)).check("CourierUsed", Check().sev("fault")));
    EXPECT_EQ(text(find(t, "BlackUsed"), "sev"), ustring("warn"));
    EXPECT_EQ(find(t, "ResTooLowContone").GetValue<double>(kWarn), 2);
    EXPECT_TRUE(find(t, "Setting_PDFVersion").empty());  // parameter, and no default check
    EXPECT_TRUE(find(t, "MinPlates").empty());           // not described
    // Without "all", the described defaults.
    EXPECT_TRUE(find(Ticket().local(Qcs().check("CourierUsed", Check())), "ResTooLowContone").empty());
    EXPECT_EQ(find(Ticket(), "MaxPlates").GetValue<double>(kWarn), 6);
    EXPECT_EQ(text(FindCheckSetting(WEffectiveProfile(nullptr), "BlackUsed"), "sev"), ustring("note"));

    // Reducing works on copies: the ticket stays as it was.
    const auto ticket =
        inDestinations("BlackUsed", {Check().sev("fault").fix(1), Check().sev("note")}).build();
    const umessage before(*ticket);
    EXPECT_EQ(text(FindCheckSetting(WEffectiveProfile(ticket), "BlackUsed"), "sev"), ustring("warn"));
    EXPECT_TRUE(*ticket == before);
}

namespace names {

using ticket_builder::Msg;

Msg warnCheck(const ustring& sev) {
    return Msg().str("sev", {sev});
}

// Checks of severity "warn", and nested restrictions.
Msg qcs(std::initializer_list<const char*> names, std::initializer_list<Msg> restrictions = {}) {
    Msg checks;
    for (const char* name : names) checks.msg(name, {warnCheck("warn")});
    Msg q = Msg().msg("checks", {checks});
    if (restrictions.size() != 0) q.msg("restrictions", restrictions);
    return q;
}

Msg destination(const ustring& identifier, const Msg& destinationQcs) {
    return Msg().str("identifier", {identifier}).msg("qcs", {destinationQcs});
}

Msg ticket(std::initializer_list<Msg> destinations, const Msg& local) {
    return Msg().msg("destinations", destinations).msg("qcs", {local});
}

std::vector<ustring> namesOf(const Msg& ticket) {
    return check_setting_decode::ProfileChecks(WEffectiveProfile(ticket.build())).checkNames();
}

TEST(ProfileCheckNames, UniteEveryQcsEachNameOnceInByteOrder) {
    struct Case {
        const char* what;
        Msg ticket;
        std::vector<ustring> names;
    };
    const Case cases[] = {
        {"neither destinations nor qcs", Msg().str("identifier", {"job"}), {}},
        // Later qcs share some names, add some before, between and after the known ones.
        {"interleaved",
         ticket({destination("a", qcs({"D", "B", "F"})),
                 destination("b", qcs({"A", "B", "C", "E", "F", "G"})), destination("c", qcs({"H", "D"}))},
                qcs({"Z", "A", "E"})),
         {"A", "B", "C", "D", "E", "F", "G", "H", "Z"}},
        {"restrictions at any depth",
         ticket({destination("north", qcs({}, {qcs({"Outer"}, {qcs({"First"}), qcs({"Hidden"})})}))},
                qcs({}, {qcs({"Z"})})),
         {"First", "Hidden", "Outer", "Z"}},
        {"destinations without a qcs, local qcs not a message",
         Msg()
             .msg("destinations", {Msg().str("identifier", {"no qcs"}), destination("d", qcs({"b", "B"}))})
             .nullMsg("destinations")
             .str("qcs", {"local"}),
         {"B", "b"}},
        {"destinations not messages",
         Msg().str("destinations", {"north"}).msg("qcs", {qcs({"Ab", "\xC3\xA9", "A"})}),
         {"A", "Ab", "\xC3\xA9"}},  // bytes compare unsigned
    };
    for (const Case& c : cases) EXPECT_EQ(namesOf(c.ticket), c.names) << c.what;
    EXPECT_TRUE(check_setting_decode::ProfileChecks(WEffectiveProfile()).checkNames().empty());
}

}  // namespace names

}  // namespace
