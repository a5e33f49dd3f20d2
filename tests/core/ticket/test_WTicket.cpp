#include "ticket/WTicket.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "TestFolders.h"
#include "TicketBuilder.h"

namespace {

using ticket_builder::Msg;

// The log's records, one "<level> <function>: <text>" each.
std::vector<std::string> records(const testing_support::CapturedLog& log) {
    static const std::regex kRecord(R"(\]\[(\w+)\]\[[^\]]*\]\[[^:\]]*:(\w+):\d+\] (.*))");
    std::vector<std::string> result;
    const std::string text = log.text();
    for (std::sregex_iterator it(text.begin(), text.end(), kRecord), end; it != end; ++it)
        result.push_back((*it)[1].str() + " " + (*it)[2].str() + ": " + (*it)[3].str());
    return result;
}

Msg destination(const ustring& identifier) {
    return Msg().str("identifier", {identifier});
}

// One well-formed value of every field a destination may hold.
Msg everyDestinationField() {
    Msg d = destination("d").str("mlkey", {"k"}).str("country", {"a", "b"}).str("publication", {"p"});
    d.str("publisher", {"p", "q"}).str("section", {"s"}).str("style", {"Style/Mono"});
    d.msg("qcs", {Msg(), Msg()}).num("printerMarkSize", {1}).ints("printerMarkOffset", {2});
    d.longs("width", {3}).num("depth", {4}).ints("columns", {5}).str("colourName", {"c"});
    d.num("colourMakeup", {0, 0, 0, 100}).str("namedSize", {"A4"}).flag("requires2DPSFiles", {false});
    d.ints("bleed", {3, 3, 3, 3}).num("typeIndent", {1, 2, 3, 4}).flag("exported", {true});
    return d.flag("ro", {false}).msg("userFields", {Msg().msg("f", {Msg().str("x", {"1"})})});
}

// One well-formed value of every field a ticket may hold.
Msg everyTicketField() {
    Msg t = Msg().str("identifier", {"job"}).str("operator", {"op"}).str("local", {"a", "b", "c"});
    t.msg("qcs", {Msg()}).str("style", {"s"}).flag("active", {true}).flag("groupingDisabled", {false});
    t.msg("destinations", {destination("d"), destination("e"), Msg().str("style", {"Style/Spot"})});
    return t.ints("previous_report", {1, 2}).num("plugin_report", {1.5}).str("bookingMatched", {"x"});
}

Msg ticketWith(std::initializer_list<Msg> destinations) {
    return Msg().str("identifier", {"job 1"}).msg("destinations", destinations);
}

struct Case {
    Msg message;
    const char* failure;  // null when well formed
};

// Each case passes, or fails with exactly one record: `function`'s own, carrying the case's text.
template <size_t N>
void expectVerdicts(bool (*check)(const umessage*), const std::string& function, const Case (&cases)[N]) {
    for (size_t i = 0; i < N; ++i) {
        SCOPED_TRACE(i);
        testing_support::CapturedLog log;
        EXPECT_EQ(check(&cases[i].message.get()), cases[i].failure == nullptr);
        std::vector<std::string> expected;
        if (cases[i].failure != nullptr)
            expected.push_back("ERROR " + function + ": invalid tickets : " + cases[i].failure);
        EXPECT_EQ(records(log), expected);
    }
}

TEST(DestinationIsWellFormed, FieldRules) {
    const Case cases[] = {
        {Msg().str("comment", {"anything"}), nullptr},
        {everyDestinationField(), nullptr},
        {Msg().nullMsg("userFields"), nullptr},
        {Msg().str("identifier", {"a", "b"}), "there should be only 1 identifier"},
        {Msg().ints("identifier", {1}), "identifier has wrong type"},
        {Msg().str("mlkey", {"a", "b"}), "there should be only 1 identifier"},
        {Msg().num("mlkey", {1}), "medialink key has wrong type"},
        {Msg().str("country", {"a", "b", "c"}), "country field has too many entries"},
        {Msg().str("publication", {"a", "b", "c"}), "publication field has too many entries"},
        {Msg().flag("publisher", {true}), "publisher has wrong type"},
        {Msg().str("section", {"a", "b", "c"}), "section field has too many entries"},
        {Msg().str("style", {"a", "b"}), "there should be only 1 style field"},
        {Msg().str("qcs", {"a"}), "qcs has wrong type"},
        {Msg().str("width", {"10"}), "width has wrong type"},
        {Msg().num("depth", {1, 2}), "there should be only 1 depth field"},
        {Msg().ints("columns", {1, 2}), "there should be only 1 columns field"},
        {Msg().num("colourMakeup", {1, 2, 3}), "there should be 4 colourMakeup field"},
        {Msg().ints("bleed", {3, 3, 3}), "there should be exactly 4 bleed fields"},
        {Msg().num("typeIndent", {1, 2, 3, 4, 5}), "there should be exactly 4 typeIndent fields"},
        {Msg().ints("requires2DPSFiles", {1}), "requires2DPSFiles has wrong type"},
        {Msg().flag("exported", {true, false}), "there should be exactly 1 exported fields"},
        {Msg().flag("ro", {true, true}), "there should be exactly 1 ro fields"},
        {Msg().msg("userFields", {Msg(), Msg()}), "there should be only 1 userFields"},
        {Msg().msg("userFields", {Msg().msg("a", {Msg()}).str("b", {"x"})}), "userField has wrong type"},
        {Msg().num("printerMarkOffset", {1, 2}), "there should be only 1 printerMarkOffset field"},
        // Several faults: the smallest field name is reported.
        {Msg().str("width", {"x"}).num("bleed", {1}).str("Zone", {"x"}),
         "there should be exactly 4 bleed fields"},
    };
    expectVerdicts(DestinationIsWellFormed, "DestinationIsWellFormed", cases);
    EXPECT_FALSE(DestinationIsWellFormed(nullptr));
}

TEST(TicketIsWellFormed, FieldRules) {
    const Case cases[] = {
        {everyTicketField(), nullptr},
        {Msg().str("identifier", {"a", "b"}), "there should be only 1 identifier"},
        {Msg().str("identifier", {"a"}).str("comment", {"x"}), "unexpected field: comment"},
        {Msg().str("operator", {"a", "b"}), "there should be only 1 operator"},
        {Msg().ints("local", {1}), "qcs has wrong type"},
        {Msg().str("qcs", {"x"}), "qcs has wrong type"},
        {Msg().flag("active", {true}).msg("qcs", {Msg(), Msg()}), "there should be only 1 qcs"},
        {Msg().str("style", {"a", "b"}), "there should be only 1 style"},
        {Msg().str("destinations", {"d"}), "destinations has wrong type"},
        {Msg().str("active", {"yes"}), "active field has wrong type"},
        {Msg().flag("groupingDisabled", {true, true}), "there should be only 1 groupingDisabled field"},
        // "active" < "destinations" < "identifier": the smallest name is reported.
        {Msg().str("identifier", {"a", "b"}).flag("active", {true, false}),
         "there should be only 1 active field"},
        {Msg().msg("destinations", {Msg(), Msg()}), "duplicate destination identifier"},
        // The duplicate is reported before its own fault is looked at: no destination record.
        {ticketWith({destination("a"), destination("a").str("style", {"x", "y"})}),
         "duplicate destination identifier"},
    };
    expectVerdicts(TicketIsWellFormed, "TicketIsWellFormed", cases);
}

TEST(TicketIsWellFormed, NullEmptyAndBadThirdDestination) {
    testing_support::CapturedLog log;
    const umessage empty{};
    EXPECT_FALSE(TicketIsWellFormed(nullptr) || TicketIsWellFormed(&empty) || WTicket().isWellFormed());
    EXPECT_TRUE(records(log).empty());  // no record for a null or empty ticket
    Msg ticket = ticketWith({destination("a"), destination("b"), destination("c").str("style", {"x", "y"})});
    EXPECT_FALSE(WTicket(ticket.build()).isWellFormed());
    EXPECT_EQ(records(log),
              (std::vector<std::string>{
                  "ERROR DestinationIsWellFormed: invalid tickets : there should be only 1 style field",
                  "ERROR TicketIsWellFormed: invalid tickets : invalid destination"}));
}

}  // namespace
