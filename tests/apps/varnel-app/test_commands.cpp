// varnel-app's command line and the small commands that talk to the serving instance.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "AppTestSupport.h"

namespace app_test {
namespace {

// Whether the job list `list` marks `job` as the selected one.
bool Selected(const std::string& list, const std::string& job) {
    return ("\n" + list).find("\n* " + job + " ") != std::string::npos;
}

TEST(AppCommands, UsageHelpAndCommandsWithoutAServingInstance) {
    testing_support::ScratchFolder folder;
    const std::map<std::string, std::string> noBus{
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + folder / "none"}};
    const struct {
        std::vector<std::string> args;
        std::map<std::string, std::string> environment;
        int status;
        std::string start;  // of standard output when the status is 0, else of standard error
    } cases[] = {
        {{"list"}, {}, 1, "varnel-app: no varnel-app is serving"},
        {{"list"}, noBus, 1, "varnel-app: cannot reach the session bus"},
        {{"serve", "--jobs", folder / "none"}, {}, 1, "varnel-app: " + (folder / "none") + ": "},
        {{"serve", "--jobs=" + folder / "none"}, {}, 1, "varnel-app: " + (folder / "none") + ": "},
        {{"--help"}, {}, 0, "usage: varnel-app [COMMAND]"},
        {{"export", "--help"}, {}, 0, "usage: varnel-app export [--wait SECONDS] JOB"},
        {{"-h", "select"}, {}, 0, "usage: varnel-app select JOB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args) + (c.environment.empty() ? "" : " without a bus"));
        const Outcome r = runApp(c.args, c.environment);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE((c.status == 0 ? r.out : r.err).starts_with(c.start)) << r.out << r.err;
        if (c.status == 1) {  // a failure is one line, and prints nothing else
            EXPECT_TRUE(r.out.empty());
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
}

TEST(AppCommands, UsageErrorsAreTwoLinesAndStatusTwo) {
    const struct {
        std::vector<std::string> args;
        std::string problem;
    } cases[] = {
        {{"bogus"}, "unknown command 'bogus'"},
        {{"bogus", "--help"}, "unknown command 'bogus'"},
        {{"select"}, "which job? (varnel-app select JOB)"},
        {{"export", "--wait=5"}, "which job? (varnel-app export JOB)"},
        {{"select", "a", "b"}, "unexpected argument 'b'"},
        {{"list", "a"}, "unexpected argument 'a'"},
        {{"--bogus"}, "unrecognized option '--bogus'"},
        {{"serve", "--jobs"}, "option '--jobs' requires an argument"},
        {{"-x"}, "invalid option -- 'x'"},
        {{"list", "--wait", "5"}, "option '--wait' is for 'export' only"},
        {{"--out=/tmp", "list"}, "option '--out' is for 'serve' only"},
        {{"export", "--wait=-1", "brochure"}, "--wait takes a whole number of seconds up to 86400, not '-1'"},
        {{"export", "--wait", "86401", "brochure"},
         "--wait takes a whole number of seconds up to 86400, not '86401'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Outcome r = runApp(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "varnel-app: " + c.problem + "\nTry 'varnel-app --help'.\n");
        EXPECT_EQ(r.out, "");
    }
    const Outcome version = runApp({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("varnel-app [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.out;
}

// Serving with no bus logs the jobs it holds at INFO, then fails.
TEST(AppCommands, LogLevelFromTheEnvironmentAndTheOptions) {
    testing_support::ScratchFolder folder;
    const struct {
        std::string variable;  // VARNEL_LOG's value, empty for none
        std::vector<std::string> options;
        bool info;
    } cases[] = {
        {"", {}, true},      {"", {"-q"}, false},     {"error", {}, false},
        {"warn", {}, false}, {"error", {"-v"}, true}, {"debug", {"--quiet"}, false},
    };
    testing_support::ScopedEnvironment variables;
    variables.unset("VARNEL_LOG");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variable + " " + testing::PrintToString(c.options));
        std::map<std::string, std::string> environment{
            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + folder / "none"}};
        if (!c.variable.empty()) environment["VARNEL_LOG"] = c.variable;
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"serve", "--jobs", folder.path()});
        const Outcome r = runApp(args, environment);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.find("][INFO][") != std::string::npos, c.info) << r.err;
        EXPECT_NE(r.err.find("varnel-app: "), std::string::npos)
            << "the failure is not a log line: " << r.err;
    }
}

TEST(AppCommands, ListMarksTheSelectedJobSelectTakesNameIdentifierOrTitleServeRunsOnce) {
    ServedApp app;
    const Outcome second = runApp({"serve", "--jobs", app.jobs(), "--out", app.out()});
    EXPECT_EQ(second.status, 1);
    EXPECT_THAT(second.err, HasSubstr("already serving"));
    const Outcome first = runApp({"list"});
    ASSERT_EQ(first.status, 0);
    EXPECT_EQ(std::count(first.out.begin(), first.out.end(), '\n'), 3) << first.out;
    EXPECT_TRUE(Selected(first.out, "brochure")) << first.out;  // first by file name

    const auto poster = nlohmann::json::parse(ReadFile(app.jobs() + "/poster.json"));
    for (const std::string& key :
         {poster["identifier"].get<std::string>(), poster["DN"].get<std::string>()}) {
        ASSERT_EQ(runApp({"select", key}).status, 0) << key;
        EXPECT_TRUE(Selected(runApp({"list"}).out, "poster")) << key;
        ASSERT_EQ(runApp({"select", "brochure"}).status, 0);
    }
    EXPECT_EQ(runApp({"select", "no such job"}).status, 1);
    EXPECT_TRUE(Selected(runApp({"list"}).out, "brochure"));
}

}  // namespace
}  // namespace app_test
