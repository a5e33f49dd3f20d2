#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "inspect_runner.h"

namespace {

using inspect_test::inspect;
using json = nlohmann::json;
const std::filesystem::path kFixtures = std::filesystem::path(VARNEL_TESTS_DIR) / "apps" / "varnel-inspect" / "fixtures";
const std::string kBin = VARNEL_INSPECT_BIN;

json fixture(const std::filesystem::path& path) {
    std::ifstream f(path);
    return json::parse(f);
}

// Every member the fixture names must come back with the same value; members the fixture
// leaves out may hold defaults.
void expectContained(const json& expected, const json& actual, const std::string& path = "") {
    if (expected.is_object() || expected.is_array()) {
        ASSERT_EQ(actual.type(), expected.type()) << path;
        if (expected.is_array()) {
            ASSERT_EQ(expected.size(), actual.size()) << path;
        }
        for (const auto& [k, v] : expected.items()) {
            ASSERT_TRUE(expected.is_array() || actual.contains(k)) << path + k;
            expectContained(v, expected.is_array() ? actual[std::stoul(k)] : actual[k], path + k + ".");
        }
    } else {
        EXPECT_EQ(expected, actual) << path;
    }
}

// The problem-description table is built once per process, from the first job read, so the
// check listing runs as a program of its own.
TEST(InspectChecks, ListsTheDecodedSettingsAndThePdfVersion) {
    const auto [status, out] = inspect_test::shell(kBin + " encode " + (kFixtures / "checks.json").string() +
                                                   " | " + kBin + " checks");
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
        expectContained(fixture(entry.path()), json::parse(read.out));
    }
}

TEST(InspectJob, StableBytesAndTheDocumentCopyBlock) {
    const std::string full = (kFixtures / "full.json").string();
    EXPECT_EQ(inspect({"encode", full}).out, inspect({"encode", full}).out);
    // Document-copy flags carry only the placement block.
    const auto job =
        json::parse(inspect({"job", "--flags", "2"}, inspect({"encode", "--flags", "2", full}).out).out);
    // "DN" is written, but read only with the full block.
    expectContained(json::parse(R"({"placement": {"width": 210.0}, "SE": true, "DN": "", "NP": 1,
                                    "documentFile": "", "pageSections": []})"),
                    job);
    EXPECT_EQ(job["groups"].size(), 2u);
}

TEST(InspectJob, BadInputNamesWhatIsWrong) {
    const struct {
        const char* command;
        std::string input, err;
    } cases[] = {
        {"job", "not a job", "stdin: UKeyInStream: meta key mismatch\n"},
        {"checks", "", "stdin: UKeyInStream: meta key mismatch\n"},
        {"encode", R"({"groups": [{"destinations": [{"widht": 1}]}]})",
         "stdin: job JSON: groups[0].destinations[0].widht: unknown member\n"},
        {"encode", R"({"documentFile": "jobs/a.pdf"})",
         "stdin: job JSON: documentFile: not an absolute path\n"},
        {"encode", R"({"NP": "two"})", "stdin: job JSON: NP: expected a 32-bit integer\n"},
        {"encode", R"({"ticket": {"n": {"int": true}}})",
         "stdin: job JSON: ticket: message JSON: n: expected an integer\n"},
    };
    for (const auto& c : cases) {
        const auto r = inspect({c.command}, c.input);
        EXPECT_EQ(std::tuple(r.status, r.out, r.err),
                  std::tuple(1, std::string(), "varnel-inspect: " + c.err))
            << c.input;
    }
}

}  // namespace
