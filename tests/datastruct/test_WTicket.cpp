#include "WTicket.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "MessageBuilder.h"
#include "ulogger.h"

namespace {

// Collects what the validation writes to the log: per record, the function and the text.
class LogCapture {
public:
    LogCapture() : previous_(vnu::logger.stream()) { vnu::logger.setStream(&out_); }
    ~LogCapture() { vnu::logger.setStream(previous_); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // "<function>: <text>" for each record, e.g. "TicketIsWellFormed: invalid tickets : ...".
    std::vector<std::string> records() const {
        std::vector<std::string> result;
        std::istringstream lines(out_.str());
        std::string line;
        while (std::getline(lines, line)) {
            const auto text = line.find("] ");
            const auto location = line.rfind('[', text);
            const auto colon = line.find(':', location);
            const auto function = line.substr(colon + 1, line.find(':', colon + 1) - colon - 1);
            result.push_back(function + ": " + line.substr(text + 2));
        }
        return result;
    }

private:
    std::ostream* previous_;
    std::ostringstream out_;
};

Msg destination(const ustring& identifier) {
    return Msg().str("identifier", {identifier});
}

Msg ticketWith(std::initializer_list<Msg> destinations) {
    return Msg().str("identifier", {"job 1"}).sub("destinations", destinations);
}

struct Case {
    const char* what;
    Msg message;
    const char* failure;  // null when well formed
};

// Each case passes, or fails with exactly one record: `function`'s own, carrying the case's text.
template <size_t N>
void expectVerdicts(bool (*check)(const umessage*), const std::string& function, const Case (&cases)[N]) {
    for (const Case& c : cases) {
        LogCapture log;
        EXPECT_EQ(check(&c.message.get()), c.failure == nullptr) << c.what;
        std::vector<std::string> expected;
        if (c.failure != nullptr) expected.push_back(function + ": invalid tickets : " + c.failure);
        EXPECT_EQ(log.records(), expected) << c.what;
    }
}

TEST(DestinationIsWellFormed, FieldRules) {
    const Case cases[] = {
        {"empty", Msg(), nullptr},
        {"unknown field", Msg().str("comment", {"anything"}), nullptr},
        {"full",
         destination("d")
             .str("mlkey", {"k"})
             .str("country", {"a", "b"})
             .str("publication", {"p"})
             .str("publisher", {"p", "q"})
             .str("section", {"s"})
             .str("style", {"Style/Mono"})
             .sub("qcs", {Msg(), Msg()})
             .num("printerMarkSize", {1})
             .ints("printerMarkOffset", {2})
             .longs("width", {3})
             .num("depth", {4})
             .ints("columns", {5})
             .str("colourName", {"c"})
             .num("colourMakeup", {0, 0, 0, 100})
             .str("namedSize", {"A4"})
             .flag("requires2DPSFiles", {false})
             .ints("bleed", {3, 3, 3, 3})
             .num("typeIndent", {1, 2, 3, 4})
             .flag("exported", {true})
             .flag("ro", {false})
             .sub("userFields", {Msg().sub("f", {Msg().str("x", {"1"})})}),
         nullptr},
        {"null userFields", Msg().nullSub("userFields"), nullptr},
        {"identifier twice", Msg().str("identifier", {"a", "b"}), "there should be only 1 identifier"},
        {"identifier number", Msg().ints("identifier", {1}), "identifier has wrong type"},
        {"mlkey twice", Msg().str("mlkey", {"a", "b"}), "there should be only 1 identifier"},
        {"mlkey number", Msg().num("mlkey", {1}), "medialink key has wrong type"},
        {"three countries", Msg().str("country", {"a", "b", "c"}), "country field has too many entries"},
        {"three publications", Msg().str("publication", {"a", "b", "c"}),
         "publication field has too many entries"},
        {"publisher flag", Msg().flag("publisher", {true}), "publisher has wrong type"},
        {"three sections", Msg().str("section", {"a", "b", "c"}), "section field has too many entries"},
        {"two styles", Msg().str("style", {"a", "b"}), "there should be only 1 style field"},
        {"qcs text", Msg().str("qcs", {"a"}), "qcs has wrong type"},
        {"width text", Msg().str("width", {"10"}), "width has wrong type"},
        {"two depths", Msg().num("depth", {1, 2}), "there should be only 1 depth field"},
        {"two columns", Msg().ints("columns", {1, 2}), "there should be only 1 columns field"},
        {"colourMakeup of 3", Msg().num("colourMakeup", {1, 2, 3}), "there should be 4 colourMakeup field"},
        {"three bleeds", Msg().ints("bleed", {3, 3, 3}), "there should be exactly 4 bleed fields"},
        {"five typeIndents", Msg().num("typeIndent", {1, 2, 3, 4, 5}),
         "there should be exactly 4 typeIndent fields"},
        {"requires2DPSFiles int", Msg().ints("requires2DPSFiles", {1}), "requires2DPSFiles has wrong type"},
        {"exported twice", Msg().flag("exported", {true, false}),
         "there should be exactly 1 exported fields"},
        {"ro twice", Msg().flag("ro", {true, true}), "there should be exactly 1 ro fields"},
        {"two userFields", Msg().sub("userFields", {Msg(), Msg()}), "there should be only 1 userFields"},
        {"userField text", Msg().sub("userFields", {Msg().sub("a", {Msg()}).str("b", {"x"})}),
         "userField has wrong type"},
        {"printerMarkOffset twice", Msg().num("printerMarkOffset", {1, 2}),
         "there should be only 1 printerMarkOffset field"},
        // Several faults: the smallest field name is reported.
        {"first in byte order", Msg().str("width", {"x"}).num("bleed", {1}).str("Zone", {"x"}),
         "there should be exactly 4 bleed fields"},
    };
    expectVerdicts(DestinationIsWellFormed, "DestinationIsWellFormed", cases);
    EXPECT_FALSE(DestinationIsWellFormed(nullptr));
}

TEST(TicketIsWellFormed, FieldRules) {
    const Case cases[] = {
        {"identifier only", Msg().str("identifier", {"job"}), nullptr},
        {"all fields",
         Msg()
             .str("identifier", {"job"})
             .str("operator", {"op"})
             .str("local", {"a", "b", "c"})
             .sub("qcs", {Msg()})
             .str("style", {"s"})
             .sub("destinations", {destination("d"), destination("e"), Msg().str("style", {"Style/Spot"})})
             .flag("active", {true})
             .flag("groupingDisabled", {false})
             .ints("previous_report", {1, 2})
             .num("plugin_report", {1.5})
             .str("bookingMatched", {"x"}),
         nullptr},
        {"identifier twice", Msg().str("identifier", {"a", "b"}), "there should be only 1 identifier"},
        {"unexpected field", Msg().str("identifier", {"a"}).str("comment", {"x"}),
         "unexpected field: comment"},
        {"operator twice", Msg().str("operator", {"a", "b"}), "there should be only 1 operator"},
        {"local int", Msg().ints("local", {1}), "qcs has wrong type"},
        {"qcs text", Msg().str("qcs", {"x"}), "qcs has wrong type"},
        {"active checked before qcs", Msg().flag("active", {true}).sub("qcs", {Msg(), Msg()}),
         "there should be only 1 qcs"},
        {"two styles", Msg().str("style", {"a", "b"}), "there should be only 1 style"},
        {"destinations text", Msg().str("destinations", {"d"}), "destinations has wrong type"},
        {"active text", Msg().str("active", {"yes"}), "active field has wrong type"},
        {"groupingDisabled twice", Msg().flag("groupingDisabled", {true, true}),
         "there should be only 1 groupingDisabled field"},
        // "active" < "destinations" < "identifier": the smallest name is reported.
        {"first in byte order", Msg().str("identifier", {"a", "b"}).flag("active", {true, false}),
         "there should be only 1 active field"},
        {"two without identifier", Msg().sub("destinations", {Msg(), Msg()}),
         "duplicate destination identifier"},
        // The duplicate is reported before its own fault is looked at: no destination record.
        {"duplicate identifier", ticketWith({destination("a"), destination("a").str("style", {"x", "y"})}),
         "duplicate destination identifier"},
    };
    expectVerdicts(TicketIsWellFormed, "TicketIsWellFormed", cases);
}

TEST(TicketIsWellFormed, NullAndEmptyTicketsFailWithoutARecord) {
    LogCapture log;
    umessage empty;
    EXPECT_FALSE(TicketIsWellFormed(nullptr));
    EXPECT_FALSE(TicketIsWellFormed(&empty));
    EXPECT_FALSE(WTicket().isWellFormed());
    EXPECT_TRUE(log.records().empty());
}

TEST(TicketIsWellFormed, BadThirdDestinationLogsItsRuleThenInvalidDestination) {
    LogCapture log;
    Msg ticket = ticketWith({destination("a"), destination("b"), destination("c").str("style", {"x", "y"})});
    EXPECT_FALSE(WTicket(ticket.ptr()).isWellFormed());
    EXPECT_EQ(log.records(),
              (std::vector<std::string>{
                  "DestinationIsWellFormed: invalid tickets : there should be only 1 style field",
                  "TicketIsWellFormed: invalid tickets : invalid destination"}));
}

TEST(TicketViews, DestinationsAndQcsThroughTheViews) {
    Msg localQcs = Msg().sub("checks", {Msg().sub("Hairline", {Msg().str("sev", {"note"})})});
    Msg ticket =
        ticketWith({destination("north").sub("qcs", {Msg().sub("checks", {Msg()})}), destination("south")})
            .sub("qcs", {localQcs});
    WEffectiveProfile profile(ticket.ptr());
    ASSERT_EQ(profile.nbOfDestinations(), 2u);
    EXPECT_EQ(profile.destination(0).identifier(), "north");
    EXPECT_FALSE(profile.destination(0).qcs().empty());
    EXPECT_EQ(profile.destination(1).identifier(), "south");
    EXPECT_TRUE(profile.destination(1).qcs().empty());
    EXPECT_TRUE(profile.destination(2).empty());
    EXPECT_EQ(profile.localQCS().findCheck(eProblemHairline).GetSeverity(), eProblemSeverity_Note);
}

// Decoding never throws on content: every key of the wrong type, or missing, gives the default.
TEST(TicketViews, WrongTypedAndMissingKeysGiveDefaults) {
    const Msg tickets[] = {
        Msg(),
        Msg().str("destinations", {"north"}).ints("qcs", {1}),
        Msg().sub("destinations", {Msg().ints("identifier", {7}).str("qcs", {"x"})}).flag("qcs", {true}),
        Msg().sub("destinations", {Msg().num("identifier", {1.0}).sub("qcs", {Msg().str("checks", {"x"})})}),
    };
    for (const Msg& t : tickets) {
        WEffectiveProfile profile(t.ptr());
        EXPECT_TRUE(profile.localQCS().empty());
        for (unsigned i = 0; i <= profile.nbOfDestinations(); ++i) {
            WDestination d = profile.destination(i);
            EXPECT_EQ(d.identifier(), "");
            EXPECT_TRUE(d.qcs().getNames().empty());
        }
    }
    WEffectiveProfile none;
    EXPECT_EQ(none.nbOfDestinations(), 0u);
    EXPECT_TRUE(none.destination(0).empty());
    EXPECT_TRUE(none.localQCS().empty());
    EXPECT_EQ(WDestination().identifier(), "");
    EXPECT_TRUE(WDestination().qcs().empty());
}

}  // namespace
