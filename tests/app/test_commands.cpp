// varnel-app's command line and the small commands that talk to the serving instance.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "AppTestSupport.h"

namespace app_test {
namespace {

std::string selectedLine(const std::string& list) {
    std::istringstream lines(list);
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("* ")) return line;
    return {};
}

TEST(AppCommands, CommandsWithoutAServingInstanceFailWithOneLine) {
    testing_support::ScratchFolder folder;
    const std::map<std::string, std::string> noBus{
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (folder / "none")}};
    const struct {
        std::vector<std::string> args;
        std::map<std::string, std::string> environment;
        const char* reason;
    } cases[] = {
        {{"list"}, {}, "no varnel-app is serving"},
        {{"history"}, {}, "no varnel-app is serving"},
        {{"select", "brochure"}, {}, "no varnel-app is serving"},
        {{"export", "brochure"}, {}, "no varnel-app is serving"},
        {{"list"}, noBus, "cannot reach the session bus"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + (c.environment.empty() ? "" : " without a bus"));
        const Result r = runApp(c.args, c.environment);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.empty());
        EXPECT_TRUE(r.err.starts_with(std::string("varnel-app: ") + c.reason)) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST(AppCommands, BadUsageExitsWithTwoAndHelpWithZero) {
    const struct {
        std::vector<std::string> args;
        int status;
        const char* start;  // of standard output, or of standard error when the status is 2
    } cases[] = {
        {{"bogus"}, 2, "varnel-app: unknown command 'bogus'"},
        {{"select"}, 2, "varnel-app: which job?"},
        {{"serve", "--jobs"}, 2, "varnel-app: --jobs needs a folder"},
        {{"--help"}, 0, "usage: varnel-app [COMMAND]"},
        {{"export", "--help"}, 0, "usage: varnel-app export JOB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const Result r = runApp(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE((c.status == 2 ? r.err : r.out).starts_with(c.start)) << r.out << r.err;
    }
}

TEST(AppCommands, ServeRefusesAMissingJobsFolderAndASecondInstance) {
    testing_support::ScratchFolder folder;
    const Result missing = runApp({"serve", "--jobs", folder / "none", "--out", folder.path()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find(folder / "none"), std::string::npos) << missing.err;

    ServedApp app;
    const Result second = runApp({"serve", "--jobs", app.jobs(), "--out", folder.path()});
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("already serving"), std::string::npos) << second.err;
}

TEST(AppCommands, ListMarksTheSelectedJobAndSelectTakesNameIdentifierOrTitle) {
    ServedApp app;
    const Result first = runApp({"list"});
    ASSERT_EQ(first.status, 0);
    EXPECT_EQ(std::count(first.out.begin(), first.out.end(), '\n'), 3) << first.out;
    EXPECT_TRUE(selectedLine(first.out).starts_with("* brochure ")) << first.out;  // first by file name

    const auto poster = nlohmann::json::parse(readFile(app.jobs() + "/poster.json"));
    for (const std::string& key :
         {std::string("poster"), poster["identifier"].get<std::string>(), poster["DN"].get<std::string>()}) {
        ASSERT_EQ(runApp({"select", "brochure"}).status, 0);
        ASSERT_EQ(runApp({"select", key}).status, 0) << key;
        EXPECT_TRUE(selectedLine(runApp({"list"}).out).starts_with("* poster ")) << key;
    }
    const Result unknown = runApp({"select", "no such job"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(selectedLine(runApp({"list"}).out).starts_with("* poster "));
}

}  // namespace
}  // namespace app_test
