#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "ByteText.h"
#include "inspect_runner.h"
#include "support/hexcodec.h"

namespace {

using inspect_test::inspect;
using testing_support::bytes;
using json = nlohmann::ordered_json;

// A writer with no identifier that wrote 5 under 'St' and the array 'RT' of 0, 0, 210, 297.
const std::string kFiftyBytes = bytes(
    "4B 53 FF 00 00 00 2A 06 C0 DE 01 02 01 53 74 01 02 05 52 54 FF 00 00 00 18 07 00 04 00 04 08 04 40 6A "
    "40 00 00 00 00 00 08 04 40 72 90 00 00 00 00 00");

TEST(InspectMessage, JsonRoundTripsKeepTypesArraysAndOddValuesInEveryVersion) {
    const char* everyType =
        R"({"a": {"int": -7}, "b": {"long long": 4294967297}, "c": {"bool": [true, false]},
        "d": {"double": [1.5, "NaN", "-Infinity"]}, "e": {"string": "Grüße"}, "f": {"string": {"hex": "C328"}},
        "g": {"message": [{"x": {"int": [1]}}, {"y": {"string": ""}}]}})";
    const char* older =
        R"({"m": {"message": {"v": {"double": 2.5}}}, "n": {"int": [1, 2]}, "s": {"string": "t"}})";
    for (const auto& [text, version] :
         {std::pair{everyType, "4"}, {older, "1"}, {older, "2"}, {older, "3"}}) {
        const auto encoded = inspect({"message", "--encode", "--version", version}, text);
        ASSERT_EQ(encoded.status, 0) << encoded.err;
        EXPECT_EQ(encoded.out[0], version[0] - '0');
        const auto decoded = inspect({"message"}, encoded.out);
        ASSERT_EQ(decoded.status, 0) << decoded.err;
        EXPECT_EQ(json::parse(decoded.out), json::parse(text)) << version;
    }
    // The event channel's hexadecimal text both ways.
    const auto hex = inspect({"message", "--encode", "--hex"}, older).out;
    EXPECT_EQ(hex, vnu::HexEncode(inspect({"message", "--encode"}, older).out) + "\n");
    EXPECT_EQ(json::parse(inspect({"message", "--hex"}, hex).out), json::parse(older));
}

TEST(InspectMessage, BadInputIsOneLineAndNoOutput) {
    const std::string flat = "varnel-inspect: stdin: not a flattened message",
                      js = "varnel-inspect: stdin: message JSON: ";
    const struct {
        std::vector<std::string> args;
        std::string input, err;
    } cases[] = {
        {{"message"}, bytes("05 00 00"), flat + "\n"},
        {{"message"}, bytes("04 01 01 'n' 01 00 01 00 01 05"), flat + ": string not found\n"},
        {{"message", "--encode"},
         R"({"n": {"int": 5000000000}})",
         js + "n: integer out of the 32-bit range\n"},
        {{"message", "--encode"}, R"({"n": {"float": 1}})", js + "n: unknown type \"float\"\n"},
        {{"message", "--encode"}, R"({"a/b": {"int": 1}})", js + "a/b: empty or invalid name\n"},
        {{"message", "--encode"}, R"({"n": {"int": []}})", js + "n: an entry needs at least one value\n"},
        {{"message", "--encode", "--version", "2"}, R"({"n": {"long long": 1}})", ""},
        {{"keystream"}, "", "varnel-inspect: stdin: UKeyInStream: meta key mismatch\n"},
        {{"keystream"}, bytes("4B 53 00 07"), "varnel-inspect: stdin: UKeyInStream: expecting record\n"},
        {{"keystream"}, kFiftyBytes.substr(0, 30), ""},
        {{"keystream"}, std::string(kFiftyBytes).replace(24, 1, "\x40"), ""},  // 'RT' claims too much
    };
    for (const auto& c : cases) {
        const auto r = inspect(c.args, c.input);
        EXPECT_EQ(std::tuple(r.status, r.out), std::tuple(1, std::string())) << c.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("varnel-inspect: stdin: ", 0), 0u) << r.err;
        if (!c.err.empty()) {
            EXPECT_EQ(r.err, c.err);
        }
    }
}

TEST(InspectKeystream, ShowsTheFieldsOfAStreamAndTheMessagesInThem) {
    const auto r = inspect({"keystream"}, kFiftyBytes);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "'KS' record(6) len=42\n"
              "  49374 int(2) len=1: 1\n"
              "  'St' int(2) len=1: 5\n"
              "  'RT' array(7) len=24\n"
              "    - double(4) len=0: 0\n"
              "    - double(4) len=0: 0\n"
              "    - double(4) len=8: 210\n"
              "    - double(4) len=8: 297\n");
    EXPECT_EQ(inspect({"keystream", "--hex"}, vnu::HexEncode(kFiftyBytes) + "\n").out, r.out);

    // The string field 'SR' whose bytes are the message {"n": int 5}.
    const auto m =
        inspect({"keystream"}, bytes("4B 53 FF 00 00 00 0E 06 'SR' 0A 05 04 01 01 'n' 01 01 01 00 01 05"));
    ASSERT_EQ(m.status, 0) << m.err;
    EXPECT_NE(m.out.find("'SR' string(5) len=10: flattened message\n"), std::string::npos) << m.out;
    EXPECT_NE(m.out.find("\"int\": 5"), std::string::npos) << m.out;
}

TEST(InspectUsage, HelpMistakesAndMissingFiles) {
    EXPECT_EQ(inspect({"--help"}).status, 0);
    for (const char* command : {"keystream", "job", "encode", "checks", "message"}) {
        const auto r = inspect({command, "--help"});
        EXPECT_EQ(std::pair(r.status, r.out.find(std::string("usage: varnel-inspect ") + command)),
                  std::pair(0, 0ul));
    }
    using Args = std::vector<std::string>;
    for (const Args& args : {Args{}, Args{"nonsense"}, Args{"message", "--encode", "--version", "5"}})
        EXPECT_EQ(inspect(args).status, 2) << args.size();

    // The program itself: a missing file names the program, the file and why, stdout stays
    // empty, status 1.
    EXPECT_EQ(
        inspect_test::shell(std::string(VARNEL_INSPECT_BIN) + " keystream /nonexistent/job.bin 2>&1"),
        std::pair(1, std::string("varnel-inspect: /nonexistent/job.bin: cannot be opened: No such file or "
                                 "directory\n")));
}

}  // namespace
