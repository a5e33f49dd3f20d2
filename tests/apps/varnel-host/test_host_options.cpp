// varnel-host's own options: their forms, usage errors, the log level it sets for itself and for
// the plug-in it loads.
#include <gmock/gmock.h>

#include <regex>
#include <sstream>

#include "SessionEnvironment.h"

namespace {

using testing::HasSubstr;

class HostOptions : public testing::Test {
protected:
    void SetUp() override {
        env_.unset("DBUS_SESSION_BUS_ADDRESS");
        env_.unset("VARNEL_LOG");
        env_.set("HOME", home_.path());
        for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
            env_.set(name, home_.makeFolder(name));
    }

    static testing_support::Outcome run(std::vector<std::string> args,
                                        const std::map<std::string, std::string>& environment = {}) {
        args.insert(args.begin(), VHOST_PROGRAM);
        return testing_support::RunProgram(args, environment);
    }
    static int linesWith(const std::string& text, const std::string& fragment) {
        std::istringstream in(text);
        int n = 0;
        for (std::string line; std::getline(in, line);) n += line.find(fragment) != std::string::npos;
        return n;
    }

    testing_support::ScratchFolder home_;
    testing_support::ScopedEnvironment env_;
};

TEST_F(HostOptions, ValuesJoinedOrSeparateVersionAndHelp) {
    const std::string plugin = VHOST_TEST_PLUGIN;
    const struct {
        std::vector<std::string> args;
        std::string out;  // all of it, or its first line for help
    } cases[] = {
        {{"--plugin=" + plugin, "-c", "docs"}, "no document open\n"},
        {{"--plugin", plugin, "-cdocs"}, "no document open\n"},
        {{"--plu=" + plugin, "--without=AI Art Suite", "--strict", "-c", "docs"}, "no document open\n"},
        {{"-h"}, "Usage: varnel-host [OPTIONS] [SCRIPT]"},
        {{"--plugin=/absent.so", "--help"}, "Usage: varnel-host [OPTIONS] [SCRIPT]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const auto r = run(c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(c.out.ends_with('\n') ? r.out : r.out.substr(0, r.out.find('\n')), c.out);
    }
    const auto version = run({"--version", "--plugin=/absent.so"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("varnel-host [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.out;
}

TEST_F(HostOptions, UsageErrorsAreTwoLinesAndStatusTwo) {
    const std::string script = home_.write("script", "docs\n");
    const struct {
        std::vector<std::string> args;
        std::string problem;
    } cases[] = {
        {{"--bogus"}, "unrecognized option '--bogus'"},
        {{"--plugin"}, "option '--plugin' requires an argument"},
        {{"-c"}, "option requires an argument -- 'c'"},
        {{"-x"}, "invalid option -- 'x'"},
        {{"--trace=yes"}, "option '--trace' doesn't allow an argument"},
        {{"--ver"}, "option '--ver' is ambiguous; possibilities: '--verbose' '--version'"},
        {{script, "other"}, "one script only, not also 'other'"},
        {{"-c", "docs", script}, "give -c or a script, not both"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const auto r = run(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "varnel-host: " + c.problem + "\nTry 'varnel-host --help'.\n");
        EXPECT_EQ(r.out, "");
    }
}

// The plug-in logs its timer at start-up at DEBUG through its own copy of the logger.
TEST_F(HostOptions, TheLogLevelReachesThePluginsLogger) {
    const struct {
        const char* variable;  // VARNEL_LOG, or none
        std::vector<std::string> args;
        bool debug;
        int warnings;  // lines about a VARNEL_LOG that names no level
    } cases[] = {
        {nullptr, {}, false, 0},          {"debug", {}, true, 0},           {nullptr, {"-v"}, true, 0},
        {"debug", {"--quiet"}, false, 0}, {"info", {"--verbose"}, true, 0}, {"loud", {}, false, 1},
        {"loud", {"-v"}, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.variable ? c.variable : "unset") + " " + testing::PrintToString(c.args));
        std::map<std::string, std::string> environment;
        if (c.variable != nullptr) environment["VARNEL_LOG"] = c.variable;
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--plugin", VHOST_PLUGIN, "-c", "quit"});
        const auto r = run(args, environment);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(linesWith(r.err, "] timer err = "), c.debug ? 1 : 0) << r.err;
        EXPECT_EQ(linesWith(r.err, "[DEBUG]") > 0, c.debug) << r.err;
        EXPECT_EQ(linesWith(r.err, "[VARNEL_LOG] unknown level \"loud\""), c.warnings) << r.err;
    }
}

}  // namespace
