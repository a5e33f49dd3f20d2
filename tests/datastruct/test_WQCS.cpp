#include "WQCS.h"

#include <gtest/gtest.h>

#include "MessageBuilder.h"
#include "WTicket.h"

namespace {

// A check with a severity word.
Msg check(const ustring& sev) {
    return Msg().str("sev", {sev});
}

// A qcs: its checks (name, check) and its nested restrictions.
Msg qcs(std::initializer_list<std::pair<const char*, Msg>> checks,
        std::initializer_list<Msg> restrictions = {}) {
    Msg checksMessage;
    for (const auto& [name, c] : checks) checksMessage.sub(name, {c});
    Msg q = Msg().sub("checks", {checksMessage});
    if (restrictions.size() != 0) q.sub("restrictions", restrictions);
    return q;
}

Msg destination(const ustring& identifier, const Msg& destinationQcs) {
    return Msg().str("identifier", {identifier}).sub("qcs", {destinationQcs});
}

std::vector<ustring> namesOf(const Msg& ticket) {
    WEffectiveProfile profile(ticket.ptr());
    WConstEffectiveProfileCheckSettingIterator it(profile);
    std::vector<ustring> names;
    while (it.next()) names.push_back(it.name());
    return names;
}

TEST(WCheckSetting, SeverityWordsMatchByteForByte) {
    struct Case {
        Msg check;
        EProblemSeverity expected;
    };
    const Case cases[] = {
        {check("ignore"), eProblemSeverity_Ignore},
        {check("note"), eProblemSeverity_Note},
        {check("warn"), eProblemSeverity_Warn},
        {check("fault"), eProblemSeverity_Fault},
        {check("dynamic"), eProblemSeverity_Dynamic},
        {check("parameter"), eProblemSeverity_Parameter},
        {check("parameterNotSet"), eProblemSeverity_ParameterNotSet},
        {check("notset"), eProblemSeverity_NotSet},
        {check("Warn"), eProblemSeverity_NotSet},
        {check("warn "), eProblemSeverity_NotSet},
        {check(""), eProblemSeverity_NotSet},
        {Msg().ints("sev", {3}), eProblemSeverity_NotSet},
        {Msg().num("warn", {1.0}), eProblemSeverity_NotSet},
        // Only the first word counts.
        {Msg().str("sev", {"note", "fault"}), eProblemSeverity_Note},
    };
    for (const Case& c : cases) EXPECT_EQ(WCheckSetting(c.check.ptr()).GetSeverity(), c.expected);
    EXPECT_EQ(WCheckSetting().GetSeverity(), eProblemSeverity_NotSet);
}

TEST(WCheckSetting, ValuesAreReadByIndexNoteWarnFaultIgnoreWithNumericConversion) {
    WCheckSetting c(Msg()
                        .num("note", {1.5, 9.0})
                        .ints("warn", {5})
                        .longs("fault", {1LL << 40})
                        .str("ignore", {"7"})
                        .ptr());
    EXPECT_EQ(c.GetValue<double>(0), 1.5);
    EXPECT_EQ(c.GetValue<double>(1), 5.0);
    EXPECT_EQ(c.GetValue<double>(2), 1099511627776.0);
    EXPECT_EQ(c.GetValue<double>(3), 0.0);
    EXPECT_FALSE(c.GetValueNULL(0));
    EXPECT_FALSE(c.GetValueNULL(1));
    EXPECT_FALSE(c.GetValueNULL(2));
    EXPECT_TRUE(c.GetValueNULL(3));
    for (int outOfRange : {4, -1, 100}) {
        EXPECT_EQ(c.GetValue<double>(outOfRange), 0.0) << outOfRange;
        EXPECT_TRUE(c.GetValueNULL(outOfRange)) << outOfRange;
    }
    WCheckSetting onlySeverity(check("warn").ptr());
    EXPECT_EQ(onlySeverity.GetValue<double>(1), 0.0);
    EXPECT_TRUE(onlySeverity.GetValueNULL(1));
}

TEST(WQCS, FindsChecksOnlyWhenTheyAreMessages) {
    Msg checks = Msg().sub("Hairline", {check("warn")}).str("FloatLR", {"fault"});
    WQCS q(Msg().sub("checks", {checks}).ptr());
    EXPECT_EQ(q.findCheck(eProblemHairline).GetSeverity(), eProblemSeverity_Warn);
    EXPECT_TRUE(q.findCheck(eProblemFloatLR).empty());
    EXPECT_TRUE(q.findCheck(eProblemFloatTB).empty());
    EXPECT_EQ(q.getNames(), (std::vector<ustring>{"FloatLR", "Hairline"}));
}

TEST(WQCS, EmptyAndMistypedQcsGiveEmptyAnswers) {
    const Msg shapes[] = {
        Msg(),
        Msg().str("checks", {"Hairline"}).ints("restrictions", {1, 2}),
        Msg().num("checks", {1.0}).str("restrictions", {"x"}),
    };
    for (const Msg& shape : shapes) {
        WQCS q(shape.ptr());
        EXPECT_FALSE(q.empty());
        EXPECT_EQ(q.checks(), nullptr);
        EXPECT_TRUE(q.getNames().empty());
        EXPECT_TRUE(q.findCheck(eProblemHairline).empty());
        // Counted as values, but none of them is a qcs.
        for (unsigned i = 0; i < q.nbOfRestrictions(); ++i) EXPECT_TRUE(q.restrictions(i).empty());
        EXPECT_TRUE(q.restrictions(q.nbOfRestrictions()).empty());
    }
    WQCS none;
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(none.nbOfRestrictions(), 0u);
    EXPECT_TRUE(none.restrictions(0).empty());
    EXPECT_TRUE(none.getNames().empty());
    EXPECT_TRUE(none.findCheck(eProblemHairline).empty());
}

TEST(WQCS, RestrictionsAreQcsOfTheSameForm) {
    Msg q = qcs({{"A", check("note")}}, {qcs({{"B", check("warn")}}), qcs({{"C", check("fault")}})});
    WQCS view(q.ptr());
    ASSERT_EQ(view.nbOfRestrictions(), 2u);
    EXPECT_EQ(view.restrictions(1).findCheck("C").GetSeverity(), eProblemSeverity_Fault);
    EXPECT_TRUE(view.restrictions(1).findCheck("A").empty());
    EXPECT_TRUE(view.restrictions(2).empty());
}

TEST(CheckSettingIterator, TicketWithoutDestinationsOrQcsHasNoNames) {
    EXPECT_TRUE(namesOf(Msg().str("identifier", {"job"})).empty());
    WConstEffectiveProfileCheckSettingIterator empty{WEffectiveProfile()};
    EXPECT_FALSE(empty.next());
    EXPECT_FALSE(empty.next());
    EXPECT_EQ(empty.name(), "");
}

TEST(CheckSettingIterator, UnitesDestinationsAndLocalQcsEachNameOnceInOrder) {
    Msg ticket = Msg()
                     .sub("destinations", {destination("north", qcs({{"A", check("warn")}})),
                                           destination("south", qcs({{"A", check("fault")}}))})
                     .sub("qcs", {qcs({{"B", check("note")}, {"A", check("note")}})});
    EXPECT_EQ(namesOf(ticket), (std::vector<ustring>{"A", "B"}));
}

TEST(CheckSettingIterator, MergesQcsThatShareSomeNamesAndSkipOthers) {
    Msg ticket =
        Msg()
            .sub("destinations",
                 {destination("a", qcs({{"D", check("warn")}, {"B", check("warn")}, {"F", check("warn")}})),
                  destination("b", qcs({{"A", check("warn")},
                                        {"B", check("warn")},
                                        {"C", check("warn")},
                                        {"E", check("warn")},
                                        {"F", check("warn")},
                                        {"G", check("warn")}})),
                  destination("c", qcs({{"H", check("warn")}, {"D", check("warn")}}))})
            .sub("qcs", {qcs({{"Z", check("note")}, {"A", check("note")}, {"E", check("note")}})});
    EXPECT_EQ(namesOf(ticket), (std::vector<ustring>{"A", "B", "C", "D", "E", "F", "G", "H", "Z"}));
}

TEST(CheckSettingIterator, FindsChecksInRestrictionsAtAnyDepth) {
    Msg deep = qcs({}, {qcs({{"Outer", check("note")}},
                            {qcs({{"First", check("note")}}), qcs({{"Hidden", check("warn")}})})});
    Msg ticket = Msg()
                     .sub("destinations", {destination("north", deep)})
                     .sub("qcs", {qcs({}, {qcs({{"Z", check("warn")}})})});
    EXPECT_EQ(namesOf(ticket), (std::vector<ustring>{"First", "Hidden", "Outer", "Z"}));
}

TEST(CheckSettingIterator, SkipsWhatIsNotAMessageAndOrdersByBytes) {
    Msg ticket =
        Msg()
            .sub("destinations", {Msg().str("identifier", {"no qcs"}),
                                  destination("d", qcs({{"b", check("warn")}, {"B", check("warn")}}))})
            .str("qcs", {"local"});
    EXPECT_EQ(namesOf(ticket), (std::vector<ustring>{"B", "b"}));

    Msg notMessages =
        Msg().str("destinations", {"north"}).sub("qcs", {qcs({{"Ab", check("warn")}, {"A", check("x")}})});
    EXPECT_EQ(namesOf(notMessages), (std::vector<ustring>{"A", "Ab"}));
}

}  // namespace
