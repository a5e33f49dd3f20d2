// The streaming JSON writer against nlohmann's own dump, which the inspector's output always was,
// and the walks of messages and jobs at sizes where holding a tree used to cost too much.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <sstream>

#include "ByteText.h"
#include "inspect_runner.h"
#include "job/BJobFile.h"
#include "jobjson/job_json.h"
#include "jobjson/json_writer.h"
#include "jobjson/message_json.h"
#include "keystream/UKeyStream.h"

namespace {

using inspect::JsonSink;
using json = nlohmann::ordered_json;
using Calls = std::function<void(JsonSink&)>;

std::string streamed(const Calls& calls, int margin = 0) {
    std::ostringstream out;
    {
        inspect::JsonWriter writer(out, margin);
        calls(writer);
    }
    return out.str();
}

std::string dumped(const Calls& calls) {
    inspect::JsonTreeBuilder tree;
    calls(tree);
    return tree.take().dump(2, ' ', false, json::error_handler_t::replace);
}

Calls text(std::string s) {
    return [s](JsonSink& out) { out.string(s); };
}

TEST(JsonWriter, LayoutAsTheDumpWritesIt) {
    const struct {
        const char* name;
        Calls calls;
    } cases[] = {
        {"empty object", [](JsonSink& o) { o.beginObject(), o.endObject(); }},
        {"empty array", [](JsonSink& o) { o.beginArray(), o.endArray(); }},
        {"scalar", [](JsonSink& o) { o.boolean(false); }},
        {"empties inside",
         [](JsonSink& o) {
             o.beginObject();
             o.key("a"), o.beginArray(), o.endArray();
             o.key("o"), o.beginObject(), o.endObject();
             o.key("n"), o.null();
             o.endObject();
         }},
        {"arrays of arrays",
         [](JsonSink& o) {
             o.beginArray();
             for (int i = 0; i < 3; ++i) {
                 o.beginArray();
                 for (int j = 0; j < i; ++j) o.number(j);
                 o.endArray();
             }
             o.beginObject(), o.member("k", true), o.endObject();
             o.endArray();
         }},
    };
    for (const auto& c : cases) EXPECT_EQ(streamed(c.calls), dumped(c.calls)) << c.name;
}

TEST(JsonWriter, EscapesAndIllFormedUtf8AsTheDumpReplacesThem) {
    const std::string cases[] = {
        "",
        "plain",
        "\"\\/",
        "\b\f\n\r\t",
        std::string("\0\x01\x1F\x7F", 4),
        "Grüße €𝄞",
        "\x80",
        "\xC0\x80",
        "\xC1\xBF",
        "\xC3",
        "\xC3(",
        "\xE0\x80\x80",
        "\xE0\xA0",
        "\xED\xA0\x80",
        "\xEF\xBF\xBF",
        "\xF0\x8F\xBF\xBF",
        "\xF4\x90\x80\x80",
        "\xF4\x8F\xBF\xBF",
        "\xF5\x80",
        "\xFF\xFE",
        "a\xE2\x82",
        "\xE2\x82\xE2\x82\xAC",
    };
    for (const std::string& s : cases) {
        EXPECT_EQ(streamed(text(s)), dumped(text(s))) << testing_support::spacedHex(s);
        // Keys take the same path.
        const Calls keyed = [&](JsonSink& o) { o.beginObject(), o.member(s, 1), o.endObject(); };
        EXPECT_EQ(streamed(keyed), dumped(keyed)) << testing_support::spacedHex(s);
    }

    // Every short string of the bytes that decide UTF-8, with the dump's strict mode as the judge
    // of isUtf8.
    const unsigned char alphabet[] = {'a',  '"',  0x01, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0,
                                      0xC2, 0xDF, 0xE0, 0xE1, 0xED, 0xEF, 0xF0, 0xF3, 0xF4, 0xF5, 0xFF};
    std::mt19937 random(7);
    for (int n = 0; n < 20000; ++n) {
        std::string s(random() % 7, ' ');
        for (char& c : s) c = static_cast<char>(alphabet[random() % sizeof alphabet]);
        bool strictDumps = true;
        try {
            (void)json(s).dump();
        } catch (const json::type_error&) {
            strictDumps = false;
        }
        ASSERT_EQ(inspect::isUtf8(s), strictDumps) << testing_support::spacedHex(s);
        ASSERT_EQ(streamed(text(s)), dumped(text(s))) << testing_support::spacedHex(s);
    }
}

TEST(JsonWriter, NumbersInTheDumpsDigits) {
    const double doubles[] = {0.0,
                              -0.0,
                              1.0,
                              -1.5,
                              0.1,
                              1.0 / 3,
                              0.30000000000000004,
                              1e-4,
                              1.5e-5,
                              123456789012345.0,
                              1e15,
                              1e16,
                              1e21,
                              DBL_MAX,
                              DBL_MIN,
                              5e-324,
                              NAN,
                              INFINITY,
                              -INFINITY};
    for (const double d : doubles) {
        const Calls calls = [d](JsonSink& o) { o.number(d); };
        EXPECT_EQ(streamed(calls), dumped(calls)) << d;
    }
    std::mt19937_64 random(11);
    for (int n = 0; n < 5000; ++n) {
        const std::uint64_t bits = random();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        const Calls calls = [d](JsonSink& o) { o.number(d); };
        ASSERT_EQ(streamed(calls), dumped(calls)) << bits;
    }
    for (const long long v : {0LL, -1LL, 42LL, LLONG_MIN, LLONG_MAX}) {
        const Calls calls = [v](JsonSink& o) { o.number(v); };
        EXPECT_EQ(streamed(calls), dumped(calls)) << v;
    }
}

TEST(JsonWriter, LongTextsAcrossTheBufferAndAMarginOnEveryLine) {
    std::string big;
    for (int i = 0; big.size() < 300 * 1024; ++i) big += i % 7 == 0 ? "\xC3\n\"" : "x€\xF0\x9D\x84\x9E";
    const Calls document = [&](JsonSink& o) {
        o.beginObject();
        o.member("big", std::string_view(big));
        o.key("many");
        o.beginArray();
        for (int i = 0; i < 50000; ++i) o.number(i * 0.25);
        o.endArray();
        o.endObject();
    };
    const std::string expected = dumped(document);
    EXPECT_EQ(streamed(document), expected);

    std::string indented = "    ";
    for (const char c : expected) indented += c == '\n' ? std::string("\n    ") : std::string(1, c);
    EXPECT_EQ(streamed(document, 4), indented);
}

// ---- the message and job walks ----

template <class T>
void add(umessage& m, const char* name, umessage_type_id type, const T& v, bool asArray = false) {
    m.addData_priv<T>(ustring(name), type, v, asArray);
}

TEST(MessageJson, EveryTypeAndTheFormsJsonCannotHold) {
    umessage m;
    add(m, "a", umessage_type_int, -7);
    add(m, "b", umessage_type_int, 1, true);  // an array of one stays an array
    add(m, "c", umessage_type_longlong, 1LL << 40);
    add(m, "d", umessage_type_double, std::nan(""));
    add(m, "d", umessage_type_double, -HUGE_VAL);
    add(m, "d", umessage_type_double, 2.5);
    add(m, "e", umessage_type_bool, true);
    add(m, "f", umessage_type_string, ustring("\xC3("));
    add(m, "g", umessage_type_message, std::make_shared<umessage>());
    add(m, "\xFF", umessage_type_string, ustring(""));
    const json expected =
        json::parse(R"({"a": {"int": -7}, "b": {"int": [1]}, "c": {"long long": 1099511627776},
        "d": {"double": ["NaN", "-Infinity", 2.5]}, "e": {"bool": true}, "f": {"string": {"hex": "C328"}},
        "g": {"message": {}}, "\uFFFD": {"string": ""}})");
    std::ostringstream out;
    {
        inspect::JsonWriter writer(out);
        inspect::writeMessage(m, writer);
    }
    EXPECT_EQ(json::parse(out.str()), expected);
    EXPECT_EQ(out.str(), inspect::messageToJson(m).dump(2, ' ', false, json::error_handler_t::replace));
}

TEST(MessageJson, AsManyEntriesAsAMessageHoldsAndWideNesting) {
    umessage m;
    constexpr int kNames = 131071;  // and "zz": the most entries a flattened body holds
    char name[16];
    for (int i = 0; i < kNames; ++i) {
        std::snprintf(name, sizeof name, "n%06d", i);
        add(m, name, umessage_type_int, i);
    }
    auto list = std::make_shared<umessage>();
    for (int i = 0; i < 20000; ++i) add(*list, "x", umessage_type_message, std::make_shared<umessage>());
    add(m, "zz", umessage_type_message, list);
    std::ostringstream flat;
    m.flatten(flat);

    const auto r = inspect_test::inspect({"message"}, flat.str());
    ASSERT_EQ(r.status, 0) << r.err;
    // A map: ordered_json would look each of the keys up in a list.
    const auto back = nlohmann::json::parse(r.out);
    ASSERT_EQ(back.size(), kNames + 1u);
    // In key order.
    EXPECT_LT(r.out.find("\"n000000\""), r.out.find("\"n065536\""));
    EXPECT_LT(r.out.find("\"n065536\""), r.out.find("\"zz\""));
    EXPECT_EQ(back["n131070"]["int"], kNames - 1);
    EXPECT_EQ(back["zz"]["message"]["x"]["message"].size(), 20000u);
}

// A job of `destinations` destinations whose ticket field holds `ticket` as it is.
std::string jobWithTicket(int destinations, const std::string& ticket) {
    BJobFile job;
    auto* group = new BGroup(&job);
    job.GetGroups().Insert(group);
    for (int d = 0; d < destinations; ++d) group->InsertNewDestination()->SetIdentifier(std::to_string(d));
    std::ostringstream bytes;
    UKeyOutStream out(bytes, BJobFile::kStreamIdentifier);
    job.JobFileKeyStreamOut(out, BJobFile::kFlagFull);
    out << UKey('S', 'R');
    out.WriteField(ticket.data(), static_cast<int>(ticket.size()), UKeyStream::eType_Bytes);
    out.Flush();
    return bytes.str();
}

TEST(JobJson, TheTicketWithEitherFlagsAndTheStreamedJobAsTheTree) {
    umessage ticket;
    for (int d = 0; d < 500; ++d) {
        auto destination = std::make_shared<umessage>();
        add(*destination, "identifier", umessage_type_string, ustring(std::to_string(d)));
        add(ticket, "destinations", umessage_type_message, destination);
    }
    std::ostringstream flat;
    ticket.flatten(flat);
    const json expected = inspect::messageToJson(ticket);
    const struct {
        std::string ticket;
        json shown;
    } cases[] = {
        {flat.str(), expected},
        {"\x09not a message", json::object()},  // undecodable: shown empty, as the reader leaves it
    };
    for (const auto& c : cases) {
        const std::string bytes = jobWithTicket(500, c.ticket);
        for (const int flags : {BJobFile::kFlagPlacement, BJobFile::kFlagFull}) {
            const json tree = inspect::jobToJson(bytes, flags);
            EXPECT_EQ(tree["ticket"], c.shown) << flags;
            EXPECT_EQ(tree["groups"][0]["destinations"].size(), 500u);
            std::ostringstream out;
            {
                inspect::JsonWriter writer(out);
                inspect::DecodedJob(bytes, flags).write(writer);
            }
            EXPECT_EQ(out.str(), tree.dump(2, ' ', false, json::error_handler_t::replace)) << flags;
        }
    }
}

// Output that refuses every byte, as a full disk does.
class RefusingOutput : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST(InspectOutput, AWriteThatFailsIsAnErrorAndAKeyStreamShowsAnyMessageName) {
    umessage m;
    add(m, "\xFF", umessage_type_int, 5);
    std::ostringstream flat;
    m.flatten(flat);
    RefusingOutput refusing;
    std::ostream out(&refusing);
    std::ostringstream err;
    std::istringstream in(flat.str());
    EXPECT_EQ(inspect::run({"message"}, in, out, err), 1);
    EXPECT_EQ(err.str(), "varnel-inspect: the output cannot be written\n");

    // A name that is not UTF-8 shows as U+FFFD, in a message inside a key stream too.
    const auto r = inspect_test::inspect({"keystream"}, jobWithTicket(1, flat.str()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("'SR' bytes(8) len=" + std::to_string(flat.str().size()) + ": flattened message\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"\xEF\xBF\xBD\": {\n"), std::string::npos) << r.out;
}

// The problem-description table is built once per process, so the listing runs as a program.
TEST(InspectOutput, ACheckStringThatIsNotUtf8IsListed) {
    std::ifstream fixture(std::string(VARNEL_TESTS_DIR) + "/apps/varnel-inspect/fixtures/checks.json");
    std::string text(std::istreambuf_iterator<char>(fixture), {});
    const std::string profile = R"("Coated.icc")";
    ASSERT_NE(text.find(profile), std::string::npos);
    text.replace(text.find(profile), profile.size(), R"({"hex": "436F61FF"})");
    const testing_support::ScratchFolder folder;
    const std::string bin = VARNEL_INSPECT_BIN;
    const auto [status, out] =
        inspect_test::shell(bin + " encode " + folder.write("checks.json", text) + " | " + bin + " checks");
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("strings=\"Coa\xEF\xBF\xBD\",-,-,-"), std::string::npos) << out;
}

}  // namespace
