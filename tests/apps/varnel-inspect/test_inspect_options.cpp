// The inspector's options: their forms, --version against the message format's version, usage
// errors, the log level, and doubles in their shortest form.
#include <gtest/gtest.h>

#include <regex>

#include "ByteText.h"
#include "inspect_runner.h"
#include "support/ulogger.h"

namespace {

using inspect_test::inspect;
using testing_support::bytes;

const char* const kMessage = R"({"n": {"int": [1, 2]}})";

TEST(InspectOptions, ValuesJoinedOrSeparateAndTheFormatVersion) {
    // The first byte of a flattened message is its format version.
    const struct {
        std::vector<std::string> args;
        char version;
    } cases[] = {
        {{"message", "--encode"}, 4},
        {{"message", "--encode", "--format-version", "2"}, 2},
        {{"message", "--encode", "--format-version=3"}, 3},
        {{"message", "--encode", "--format=1"}, 1},
        // As before the program had a version of its own, in either order.
        {{"message", "--encode", "--version", "1"}, 1},
        {{"--version=2", "--encode", "message"}, 2},
        {{"-q", "message", "-", "--encode"}, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const auto r = inspect(c.args, kMessage);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.at(0), c.version);
    }
    const std::string hex = inspect({"message", "--encode", "--hex"}, kMessage).out;
    EXPECT_EQ(inspect({"--hex", "message", "--encode"}, kMessage).out, hex) << "options before the command";
    EXPECT_EQ(inspect({"message", "--enc", "--hex"}, kMessage).out, hex) << "an unambiguous abbreviation";
}

TEST(InspectOptions, VersionAndHelp) {
    const std::regex version("varnel-inspect [0-9]+\\.[0-9]+\\.[0-9]+\n");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--version"},
                                                 {"job", "--version"},
                                                 {"message", "--version"},
                                                 {"--version", "nonsense"}}) {
        const auto r = inspect(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(std::regex_match(r.out, version)) << r.out;
    }
    const struct {
        std::vector<std::string> args;
        std::string start;
    } help[] = {
        {{"-h"}, "usage: varnel-inspect COMMAND"},
        {{"--version", "--help"}, "usage: varnel-inspect COMMAND"},
        {{"-h", "job"}, "usage: varnel-inspect job [--flags N]"},
        {{"message", "--encode", "--help"}, "usage: varnel-inspect message [--hex]"},
    };
    for (const auto& c : help) {
        const auto r = inspect(c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.rfind(c.start, 0), 0u) << r.out;
    }
}

TEST(InspectOptions, UsageErrorsAreTwoLinesAndStatusTwo) {
    const struct {
        std::vector<std::string> args;
        std::string problem;
    } cases[] = {
        {{}, "no command given"},
        {{"nonsense"}, "unknown command 'nonsense'"},
        {{"nonsense", "--help"}, "unknown command 'nonsense'"},
        {{"job", "--bogus"}, "unrecognized option '--bogus'"},
        {{"job", "--flags"}, "option '--flags' requires an argument"},
        {{"job", "--fl"}, "option '--flags' requires an argument"},
        {{"job", "--flags", "x"}, "--flags needs an integer, not \"x\""},
        {{"job", "--flags=4x"}, "--flags needs an integer, not \"4x\""},
        {{"job", "--hex=1"}, "option '--hex' doesn't allow an argument"},
        {{"job", "--ver"}, "option '--ver' is ambiguous; possibilities: '--version' '--verbose'"},
        {{"job", "-x"}, "invalid option -- 'x'"},
        {{"job", "-xq"}, "invalid option -- 'x'"},
        {{"--hex=1", "-xq"}, "option '--hex' doesn't allow an argument"},
        {{"--flags=2", "-xq"}, "invalid option -- 'x'"},
        {{"job", "a", "b"}, "more than one input file: 'a' and 'b'"},
        {{"keystream", "--flags", "2"}, "option '--flags' does not apply to 'keystream'"},
        {{"job", "--encode"}, "option '--encode' does not apply to 'job'"},
        {{"message", "--format-version", "2"}, "option '--format-version' needs --encode"},
        {{"message", "--encode", "--version"}, "option '--version' requires an argument"},
        {{"message", "--encode", "--version", "5"}, "the format version must be 1 to 4, not 5"},
        {{"message", "--encode", "--format-version=0"}, "the format version must be 1 to 4, not 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const auto r = inspect(c.args, kMessage);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "varnel-inspect: " + c.problem + "\nTry 'varnel-inspect --help'.\n");
        EXPECT_EQ(r.out, "");
    }
}

// A check the job's problem descriptions do not name is logged at INFO as it is read; the
// process starts at VARNEL_LOG's level and -q and -v override it.
TEST(InspectOptions, LogLevelFromTheEnvironmentAndTheOptions) {
    const testing_support::ScratchFolder folder;
    const std::string job = folder.write(
        "job.json",
        R"({"problemDescriptions": {"ResTooLowContone": {"message": {"type": {"string": "limitsLow"}}}},
            "ticket": {"destinations": {"message": [{"identifier": {"string": "d1"}, "qcs": {"message": {
              "checks": {"message": {
                "ResTooLowContone": {"message": {"warn": {"double": 0.7999999999999999}, "fault": {"double": 1e21}}},
                "NoSuchCheck": {"message": {"sev": {"string": "warn"}}}}}}}}]}}})");
    const std::string bin = VARNEL_INSPECT_BIN;
    const struct {
        std::string variable;  // VARNEL_LOG's value, empty for none
        std::string options;
        bool info;
    } cases[] = {
        {"", "", true},        {"", "-q", false},           {"error", "", false}, {"WARN", "", false},
        {"error", "-v", true}, {"debug", "--quiet", false}, {"info", "", true},   {"loud", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variable + " " + c.options);
        const std::string environment =
            c.variable.empty() ? "env -u VARNEL_LOG" : "env VARNEL_LOG=" + c.variable;
        const auto [status, out] = inspect_test::shell(bin + " encode " + job + " | " + environment + " " +
                                                       bin + " " + c.options + " checks 2>&1");
        ASSERT_EQ(status, 0) << out;
        EXPECT_EQ(out.find("][INFO][") != std::string::npos, c.info) << out;
        EXPECT_EQ(
            out.find("[VARNEL_LOG] unknown level \"loud\" (error, warn, info or debug)") != std::string::npos,
            c.variable == "loud")
            << out;
        // Doubles in their shortest form: the stream's default six digits wrote 0.8.
        EXPECT_NE(out.find(" values=note:-,warn:0.7999999999999999,fault:1e+21,ignore:- "), std::string::npos)
            << out;
    }
    // In-process runs leave the process's level as they found it.
    const unsigned mask = vnu::logger.mask;
    EXPECT_EQ(inspect({"-v", "message", "--encode"}, kMessage).status, 0);
    EXPECT_EQ(inspect({"-q", "message", "--encode"}, kMessage).status, 0);
    EXPECT_EQ(vnu::logger.mask, mask);
}

// Doubles in a key stream's dump in the fewest digits that read back.
TEST(InspectDoubles, ShortestTextInTheDump) {
    // 'RT' holds 0.7999999999999999 (max_digits10 wrote 0.79999999999999993) and 1e21.
    const auto r =
        inspect({"keystream"}, bytes("4B 53 FF 00 00 00 21 06 C0 DE 01 02 01 52 54 FF 00 00 00 14 07"
                                     " 08 04 3F E9 99 99 99 99 99 99 08 04 44 4B 1A E4 D6 E2 EF 50"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "'KS' record(6) len=33\n"
              "  49374 int(2) len=1: 1\n"
              "  'RT' array(7) len=20\n"
              "    - double(4) len=8: 0.7999999999999999\n"
              "    - double(4) len=8: 1e+21\n");
}

}  // namespace
