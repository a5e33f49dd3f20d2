#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "hexcodec.h"
#include "inspect_runner.h"

namespace {

using inspect_test::inspect;
using inspect_test::shell;

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}

// A writer with no identifier that wrote 5 under 'St' and the array 'RT' of 0, 0, 210, 297.
const std::string kFiftyBytes = bytes(
    {0x4B, 0x53, 0xFF, 0x00, 0x00, 0x00, 0x2A, 0x06, 0xC0, 0xDE, 0x01, 0x02, 0x01, 0x53, 0x74, 0x01, 0x02,
     0x05, 0x52, 0x54, 0xFF, 0x00, 0x00, 0x00, 0x18, 0x07, 0x00, 0x04, 0x00, 0x04, 0x08, 0x04, 0x40, 0x6A,
     0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x04, 0x40, 0x72, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00});

const char* const kEveryType = R"({
  "a": {"int": -7},
  "b": {"long long": 4294967297},
  "c": {"bool": [true, false, true]},
  "d": {"double": [1.5, "NaN", "-Infinity"]},
  "e": {"string": "Grüße"},
  "f": {"string": {"hex": "C328"}},
  "g": {"message": [{"x": {"int": [1]}}, {"y": {"string": ""}}]}
})";

TEST(InspectMessage, JsonRoundTripKeepsTypesArraysAndOddValues) {
    const auto encoded = inspect({"message", "--encode"}, kEveryType);
    ASSERT_EQ(encoded.status, 0) << encoded.err;
    const auto decoded = inspect({"message"}, encoded.out);
    ASSERT_EQ(decoded.status, 0) << decoded.err;
    EXPECT_EQ(nlohmann::ordered_json::parse(decoded.out), nlohmann::ordered_json::parse(kEveryType));
}

TEST(InspectMessage, EveryVersionThatCanHoldTheTypesRoundTrips) {
    const char* json =
        R"({"n": {"int": [1, 2]}, "s": {"string": "t"}, "m": {"message": {"v": {"double": 2.5}}}})";
    for (const char* version : {"1", "2", "3", "4"}) {
        SCOPED_TRACE(version);
        const auto encoded = inspect({"message", "--encode", "--version", version}, json);
        ASSERT_EQ(encoded.status, 0) << encoded.err;
        EXPECT_EQ(encoded.out[0], version[0] - '0');
        const auto decoded = inspect({"message"}, encoded.out);
        ASSERT_EQ(decoded.status, 0) << decoded.err;
        EXPECT_EQ(nlohmann::json::parse(decoded.out), nlohmann::json::parse(json));
    }
}

TEST(InspectMessage, HexInAndOut) {
    const auto encoded = inspect({"message", "--encode", "--hex"}, R"({"n": {"int": 5}})");
    ASSERT_EQ(encoded.status, 0) << encoded.err;
    EXPECT_EQ(encoded.out,
              vnu::HexEncode(inspect({"message", "--encode"}, R"({"n": {"int": 5}})").out) + "\n");
    const auto decoded = inspect({"message", "--hex"}, encoded.out);
    ASSERT_EQ(decoded.status, 0) << decoded.err;
    EXPECT_EQ(nlohmann::json::parse(decoded.out), nlohmann::json::parse(R"({"n": {"int": 5}})"));
}

TEST(InspectMessage, BadInputIsOneLineAndNoOutput) {
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::string err;
    };
    const Case cases[] = {
        {{"message"}, bytes({0x05, 0x00, 0x00}), "stdin: not a flattened message\n"},
        {{"message"},
         bytes({0x04, 0x01, 0x01, 'n', 0x01, 0x00, 0x01, 0x00, 0x01, 0x05}),
         "stdin: not a flattened message: string not found\n"},
        {{"message", "--encode"},
         R"({"n": {"int": 5000000000}})",
         "stdin: message JSON: n: integer out of the 32-bit range\n"},
        {{"message", "--encode"},
         R"({"n": {"float": 1}})",
         "stdin: message JSON: n: unknown type \"float\"\n"},
        {{"message", "--encode"},
         R"({"a/b": {"int": 1}})",
         "stdin: message JSON: a/b: empty or invalid name\n"},
        {{"message", "--encode"},
         R"({"n": {"int": []}})",
         "stdin: message JSON: n: an entry needs at least one value\n"},
        {{"message", "--encode", "--version", "2"}, R"({"n": {"long long": 1}})", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        const auto r = inspect(c.args, c.input);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        if (!c.err.empty()) {
            EXPECT_EQ(r.err, c.err);
        }
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    }
}

TEST(InspectKeystream, ShowsTheFieldsOfAStream) {
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
}

TEST(InspectKeystream, DecodesFlattenedMessagesInFields) {
    // Root record holding the string field 'SR' whose bytes are the message {"n": int 5}.
    const std::string message = bytes({0x04, 0x01, 0x01, 'n', 0x01, 0x01, 0x01, 0x00, 0x01, 0x05});
    std::string stream = bytes(
        {0x4B, 0x53, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x06, 'S', 'R', static_cast<int>(message.size()), 0x05});
    stream += message;
    stream[6] = static_cast<char>(stream.size() - 8);
    const auto r = inspect({"keystream"}, stream);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("'SR' string(5) len=10: flattened message\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"int\": 5"), std::string::npos) << r.out;
}

TEST(InspectKeystream, MalformedStreamsAreErrors) {
    struct Case {
        std::string input;
        std::string err;
    };
    std::string truncated = kFiftyBytes.substr(0, 30);
    std::string overlong = kFiftyBytes;
    overlong[24] = 0x40;  // array 'RT' claims more than its record holds
    const Case cases[] = {
        {"", "stdin: UKeyInStream: meta key mismatch\n"},
        {bytes({0x4B, 0x53, 0x00, 0x07}), "stdin: UKeyInStream: expecting record\n"},
        {truncated, ""},
        {overlong, ""},
    };
    for (const auto& c : cases) {
        const auto r = inspect({"keystream"}, c.input);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        if (!c.err.empty()) {
            EXPECT_EQ(r.err, c.err);
        }
        EXPECT_EQ(r.err.rfind("stdin: ", 0), 0u) << r.err;
    }
}

TEST(InspectUsage, HelpAndMistakes) {
    EXPECT_EQ(inspect({"--help"}).status, 0);
    for (const char* command : {"keystream", "message"}) {
        const auto r = inspect({command, "--help"});
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find(std::string("varnel-inspect ") + command), std::string::npos);
    }
    EXPECT_EQ(inspect({}).status, 2);
    EXPECT_EQ(inspect({"nonsense"}).status, 2);
    EXPECT_EQ(inspect({"message", "--bogus"}).status, 2);
    EXPECT_EQ(inspect({"message", "--encode", "--version", "5"}).status, 2);
    EXPECT_EQ(inspect({"message", "a", "b"}).status, 2);
}

// The program itself: a missing file names the file, stdout stays empty, status 1.
TEST(InspectProgram, RunsAsACommand) {
    const std::string missing = "/nonexistent/job.bin";
    int status = -1;
    const std::string text =
        shell(std::string(VARNEL_INSPECT_BIN) + " keystream " + missing + " 2>&1", status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(text, missing + ": cannot be opened\n");
}

}  // namespace
