#include "ticket/WQCS.h"

#include <gtest/gtest.h>

#include "TicketBuilder.h"
#include "ticket/WTicket.h"

namespace {

using ticket_builder::Msg;

Msg check(const ustring& sev) {
    return Msg().str("sev", {sev});
}

// Checks of severity "warn", and nested restrictions.
Msg qcs(std::initializer_list<const char*> names, std::initializer_list<Msg> restrictions = {}) {
    Msg checks;
    for (const char* name : names) checks.msg(name, {check("warn")});
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
    WConstEffectiveProfileCheckSettingIterator it(WEffectiveProfile(ticket.build()));
    std::vector<ustring> names;
    while (it.next()) names.push_back(it.name());
    return names;
}

TEST(WQCS, FindsChecksOnlyWhenTheyAreMessages) {
    Msg checks = Msg().msg("Hairline", {check("warn")}).str("FloatLR", {"fault"}).nullMsg("FloatTB");
    WQCS q(Msg().msg("checks", {checks}).build());
    EXPECT_EQ(q.findCheck(eProblemHairline).GetSeverity(), eProblemSeverity_Warn);
    for (const ustring& name : {eProblemFloatLR, eProblemFloatTB, ustring("Absent")})
        EXPECT_TRUE(q.findCheck(name).empty()) << name;
    EXPECT_EQ(q.getNames(), (std::vector<ustring>{"FloatLR", "FloatTB", "Hairline"}));
}

TEST(CheckSettingIterator, UnitesEveryQcsEachNameOnceInByteOrder) {
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
    WConstEffectiveProfileCheckSettingIterator empty{WEffectiveProfile()};
    EXPECT_FALSE(empty.next() || empty.next());
    EXPECT_EQ(empty.name(), "");
}

}  // namespace
