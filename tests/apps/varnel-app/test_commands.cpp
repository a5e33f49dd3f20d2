// varnel-app's command line and the small commands that talk to the serving instance.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

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
        {{"bogus"}, {}, 2, "varnel-app: unknown command 'bogus'"},
        {{"select"}, {}, 2, "varnel-app: which job?"},
        {{"serve", "--jobs"}, {}, 2, "varnel-app: --jobs needs a folder"},
        {{"--help"}, {}, 0, "usage: varnel-app [COMMAND]"},
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
