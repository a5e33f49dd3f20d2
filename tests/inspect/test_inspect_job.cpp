#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "inspect_runner.h"

namespace {

using json = nlohmann::json;
const std::filesystem::path kFixtures = std::filesystem::path(VARNEL_TESTS_DIR) / "inspect" / "fixtures";

using inspect_test::inspect;
using inspect_test::shell;

std::string fixture(const std::string& name) {
    std::ifstream f(kFixtures / name);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Every member the fixture names must come back with the same value; members the fixture
// leaves out may hold defaults.
void expectContained(const json& expected, const json& actual, const std::string& path = "") {
    if (expected.is_object()) {
        ASSERT_TRUE(actual.is_object()) << path;
        for (const auto& [k, v] : expected.items()) {
            ASSERT_TRUE(actual.contains(k)) << path + k;
            expectContained(v, actual[k], path + k + ".");
        }
    } else if (expected.is_array()) {
        ASSERT_TRUE(actual.is_array()) << path;
        ASSERT_EQ(expected.size(), actual.size()) << path;
        for (size_t i = 0; i < expected.size(); ++i)
            expectContained(expected[i], actual[i], path + std::to_string(i) + ".");
    } else {
        EXPECT_EQ(expected, actual) << path;
    }
}

// The problem-description table is built once per process, from the first job read, so the
// check listing runs as a program of its own.
TEST(InspectChecks, ListsTheDecodedSettingsAndThePdfVersion) {
    const std::string bin = VARNEL_INSPECT_BIN;
    int status = -1;
    const std::string out =
        shell(bin + " encode " + (kFixtures / "checks.json").string() + " | " + bin + " checks", status);
    ASSERT_EQ(status, 0);
    std::vector<std::string> lines;
    std::istringstream s(out);
    for (std::string line; std::getline(s, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 6u) << out;
    EXPECT_EQ(lines[0].rfind("BlackUsed type=eSettingType_Boolean severity=warn ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1],
              "ResTooLowContone type=eSettingType_LimitsLow severity=fault "
              "values=note:-,warn:150,fault:100,ignore:- strings=-,-,-,- precision=2 userUnits=no");
    EXPECT_NE(lines[3].find("strings=\"Coated.icc\",-,-,-"), std::string::npos) << lines[3];
    EXPECT_NE(lines[4].find("userUnits=mm"), std::string::npos) << lines[4];
    EXPECT_EQ(lines[5], "default PDF version: 1.6");
}

TEST(InspectJob, EncodeThenReadGivesTheFixtureBack) {
    for (const auto& entry : std::filesystem::directory_iterator(kFixtures)) {
        SCOPED_TRACE(entry.path().filename().string());
        const auto encoded = inspect({"encode", entry.path().string()});
        ASSERT_EQ(encoded.status, 0) << encoded.err;
        const auto read = inspect({"job"}, encoded.out);
        ASSERT_EQ(read.status, 0) << read.err;
        expectContained(json::parse(fixture(entry.path().filename().string())), json::parse(read.out));
    }
}

TEST(InspectJob, BytesAreStableButForAFreshIdentifier) {
    EXPECT_EQ(inspect({"encode", (kFixtures / "full.json").string()}).out,
              inspect({"encode", (kFixtures / "full.json").string()}).out);

    const auto first = inspect({"encode"}, R"({"DN": "no identifier"})").out;
    const auto second = inspect({"encode"}, R"({"DN": "no identifier"})").out;
    ASSERT_EQ(first.size(), second.size());
    size_t differing = 0;
    for (size_t i = 0; i < first.size(); ++i) differing += first[i] != second[i];
    EXPECT_GT(differing, 0u);
    EXPECT_LE(differing, 32u);  // only hexadecimal digits of the identifier can differ
    const auto id = json::parse(inspect({"job"}, first).out)["identifier"].get<std::string>();
    EXPECT_EQ(id.size(), 36u);
    EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF-"), std::string::npos) << id;
}

TEST(InspectJob, DocumentCopyFlagsCarryOnlyThePlacementBlock) {
    const auto encoded = inspect({"encode", "--flags", "2", (kFixtures / "full.json").string()});
    ASSERT_EQ(encoded.status, 0) << encoded.err;
    const auto job = json::parse(inspect({"job", "--flags", "2"}, encoded.out).out);
    EXPECT_EQ(job["placement"]["width"], 210.0);
    EXPECT_EQ(job["SE"], true);
    EXPECT_EQ(job["DN"], "");  // written, but read only with the full block
    EXPECT_EQ(job["NP"], 1);
    EXPECT_EQ(job["documentFile"], "");
    EXPECT_TRUE(job["pageSections"].empty());
    EXPECT_EQ(job["groups"].size(), 2u);
}

TEST(InspectJob, BadInputNamesWhatIsWrong) {
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::string err;
    };
    const Case cases[] = {
        {{"job"}, "not a job", "stdin: UKeyInStream: meta key mismatch\n"},
        {{"checks"}, "", "stdin: UKeyInStream: meta key mismatch\n"},
        {{"encode"},
         R"({"groups": [{"destinations": [{"widht": 1}]}]})",
         "stdin: job JSON: groups[0].destinations[0].widht: unknown member\n"},
        {{"encode"},
         R"({"documentFile": "jobs/a.pdf"})",
         "stdin: job JSON: documentFile: not an absolute path\n"},
        {{"encode"}, R"({"NP": "two"})", "stdin: job JSON: NP: expected a 32-bit integer\n"},
        {{"encode"},
         R"({"ticket": {"n": {"int": true}}})",
         "stdin: job JSON: ticket: message JSON: n: expected an integer\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        const auto r = inspect(c.args, c.input);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(InspectProgram, HexPipelineBetweenTwoRuns) {
    const std::string bin = VARNEL_INSPECT_BIN;
    int status = -1;
    const std::string out = shell(
        bin + " encode --hex " + (kFixtures / "full.json").string() + " | " + bin + " job --hex -", status);
    ASSERT_EQ(status, 0);
    expectContained(json::parse(fixture("full.json")), json::parse(out));
}

}  // namespace
