#include "ticket/WQCS.h"

#include <gtest/gtest.h>

#include "TicketBuilder.h"

namespace {

using ticket_builder::Msg;

Msg check(const ustring& sev) {
    return Msg().str("sev", {sev});
}

TEST(WQCS, FindsChecksOnlyWhenTheyAreMessages) {
    Msg checks = Msg().msg("Hairline", {check("warn")}).str("FloatLR", {"fault"}).nullMsg("FloatTB");
    WQCS q(Msg().msg("checks", {checks}).build());
    EXPECT_EQ(q.findCheck(eProblemHairline).GetSeverity(), eProblemSeverity_Warn);
    for (const ustring& name : {eProblemFloatLR, eProblemFloatTB, ustring("Absent")})
        EXPECT_TRUE(q.findCheck(name).empty()) << name;
    EXPECT_EQ(q.getNames(), (std::vector<ustring>{"FloatLR", "FloatTB", "Hairline"}));
}

}  // namespace
