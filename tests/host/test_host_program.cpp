// varnel-host as a program, with the test plug-in: start-up and shut-down, commands, files.
#include <gmock/gmock.h>

#include <sstream>

#include "SessionEnvironment.h"

namespace {

using testing::HasSubstr;
using testing::Not;
using testing_support::ReadFile;

struct Outcome : testing_support::Outcome {
    // The plug-in's lines, without their prefix, in order.
    std::vector<std::string> plugin() const {
        std::vector<std::string> lines;
        std::istringstream in(err);
        for (std::string line; std::getline(in, line);)
            if (line.starts_with("test-plugin: ")) lines.push_back(line.substr(13));
        return lines;
    }
    int count(const std::string& line) const {
        const auto lines = plugin();
        return int(std::count(lines.begin(), lines.end(), line));
    }
};

class HostProgram : public testing::Test {
protected:
    void SetUp() override {
        env_.unset("DBUS_SESSION_BUS_ADDRESS");
        env_.set("HOME", home_.path());
        env_.set("XDG_CONFIG_HOME", home_ / "config");
    }

    // Runs varnel-host with the test plug-in, `args` and `input` on standard input.
    Outcome run(std::vector<std::string> args, const std::string& input = "",
                const std::map<std::string, std::string>& environment = {}) {
        args.insert(args.begin(), {VHOST_PROGRAM, "--plugin", VHOST_TEST_PLUGIN});
        const Outcome outcome{testing_support::RunProgram(args, environment, input)};
        EXPECT_THAT(outcome.err, Not(HasSubstr("FAIL")));
        return outcome;
    }

    testing_support::ScratchFolder home_, files_;
    testing_support::ScopedEnvironment env_;
};

TEST_F(HostProgram, StartsUnloadsReloadsAndShutsDownInOrder) {
    const Outcome r = run({"--trace", "-c", "unload; reload; quit; docs"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> expected = {
        "received SP Interface/Startup",
        "missing suite: 'S!Fd', other version: 'S!Vr'",
        "main bundle: " + std::filesystem::path(VHOST_PROGRAM).parent_path().string() + "/VarnelHost",
        "no menu in an unknown group: 'PARM'",
        "received AI Notifier/AI Notify",
        "notified of AI Application Started Notifier",
        "received SP Access/Unload",
        "received SP Access/Reload",
        "reload: globals kept, module fresh",
        "received AI Notifier/AI Notify",
        "notified of AI Application Shutdown Notifier",
        "received SP Interface/Shutdown",
    };
    EXPECT_EQ(r.plugin(), expected);
    EXPECT_THAT(r.out, HasSubstr("the module left memory"));
    EXPECT_THAT(r.out, Not(HasSubstr("no document"))) << "quit ends the script";
    EXPECT_THAT(r.err, HasSubstr("no session bus"));
    EXPECT_THAT(r.err,
                HasSubstr("trace:   SP Basic Suite.AcquireSuite(\"AI Nonexistent Suite\", 1) -> 'S!Fd'"));
    EXPECT_THAT(r.err, HasSubstr("trace: message \"SP Access\"/\"Reload\" -> 0\n"));
}

TEST_F(HostProgram, MenusUpdateAGuideIsMadeAndTheTimerFiresUnderTick) {
    const Outcome r = run({"-c", "menus; new; menus; menu Make Guide...; show; actions; tick 3"});
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t second = r.out.find("new document");
    ASSERT_NE(second, std::string::npos);
    EXPECT_THAT(r.out.substr(0, second), HasSubstr("    Make Guide…: disabled"));
    EXPECT_THAT(r.out.substr(second), HasSubstr("    Make Guide…: enabled"));
    EXPECT_THAT(r.out, HasSubstr("Place Document\n  ----\n  Test: enabled\n"));
    EXPECT_THAT(r.out, HasSubstr("    Exercise: enabled, key E (modifiers 4)"));
    EXPECT_EQ(r.count("received AI Menu/AI Update"), 3) << "two listings and the choice";
    EXPECT_EQ(r.count("adobe_makeGuide: 0"), 1);
    EXPECT_THAT(r.out, HasSubstr("sent 3 timer messages\n"));
    EXPECT_EQ(r.count("received AI Timer/AI Go"), 3) << "at once under tick";
    EXPECT_THAT(
        r.out,
        HasSubstr("guide 1: path x 10, y 20, width 100, height 50, 4 segments, closed, locked, selected, "
                  "marks test-guide = true\n1 guide(s), 0 other art"));
    EXPECT_THAT(
        r.out,
        HasSubstr("1. adobe_makeGuide (dialog 3) -> 0, no parameter block\n"
                  "2. test_unknownAction (dialog 3) -> 'ACT?', 5 parameter(s)\n"
                  "  'optn' integer 0\n  'opnm' string \"Custom\"\n  'comp' enumerated \"Compatibility\" 20\n"
                  "  'post' real 6.5\n  'rdtr' boolean true\n"));
}

TEST_F(HostProgram, DocumentsSaveAndOpenAgainAsTheSameJsonOrFromTheirPdf) {
    const std::string a = files_ / "a.json", b = files_ / "b.json", pdf = files_ / "c.pdf";
    env_.set("VHTEST_PDF", pdf);
    const Outcome r = run({"-c", "new 300 200; menu Make Guide; menu Exercise; menu Move Artboard; save " +
                                     a + "; close; open " + a + "; save " + b +
                                     "; docs; show; menu Export PDF; save; "
                                     "close; open " +
                                     pdf + "; show"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(ReadFile(a).empty());
    EXPECT_EQ(ReadFile(a), ReadFile(b));
    EXPECT_THAT(r.out, HasSubstr("* \"b.json\" 300 x 200 pt, " + b + "\n"));
    EXPECT_THAT(r.out, HasSubstr("artboard 1: left -8.5, top 208.5, right 308.5, bottom -8.5"));
    EXPECT_THAT(r.out, HasSubstr("dictionary test-data: 3 bytes\ndictionary test-flag = true\n"
                                 "profiles: RGB none, CMYK 128 bytes, grey none"));
    EXPECT_THAT(r.err, HasSubstr("new document \"Untitled-2\", 200 x 100 pt (for the plug-in)"));
    EXPECT_EQ(r.count("adobe_saveDocumentAs: 0"), 1);
    EXPECT_THAT(r.out, HasSubstr("saved \"c.pdf\" to " + pdf + " (PDF)"));
    const size_t reopened = r.out.find("document \"c.pdf\", file " + pdf + "\n");
    ASSERT_NE(reopened, std::string::npos) << r.out;
    EXPECT_THAT(r.out.substr(reopened), HasSubstr("1 guide(s)"));
    EXPECT_THAT(r.err, HasSubstr("options not acted on: cres"));
}

TEST_F(HostProgram, FaultsAreReportedAndEndTheRunOnlyWhereTheyMust) {
    const std::string commands = "bogus\nnew abc 20\nnew 10 20\ndocs\n";
    const struct {
        std::vector<std::string> args;
        std::map<std::string, std::string> environment;
        std::string input;
        int status;
        std::string err, out;  // part of standard error; all of standard output
    } cases[] = {
        // clang-format off
        {{"-c", "docs"}, {{"VHTEST_LEAK", "1"}}, "", 3,
         "varnel-host: suite \"AI Art Suite\" version 1021 acquired 1 times, released 0 times\n",
         "no document open\n"},
        // Everything acquired went back: no imbalance to report.
        {{"--without", "AI Timer Suite", "-c", "menus"}, {}, "", 0,
         "did not start (result 'S!Fd'): unloading it\n", "no menu items\n"},
        {{"--plugin", files_ / "absent.so", "-c", "docs"}, {}, "", 1, files_ / "absent.so", ""},
        {{}, {}, commands, 0,
         "varnel-host: stdin:1: unknown command \"bogus\" (see --help)\n"
         "varnel-host: stdin:2: new: W must be a number from 0.001 to 1000000, not \"abc\" "
         "(usage: new [W H])\n",
         "new document \"Untitled-1\", 10 x 20 pt\n* \"Untitled-1\" 10 x 20 pt, no file\n"},
        {{"--strict"}, {}, commands, 1, "varnel-host: stdin:1: unknown command \"bogus\" (see --help)\n", ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Outcome r = run(c.args, c.input, c.environment);
        EXPECT_EQ(r.status, c.status);
        EXPECT_THAT(r.err, HasSubstr(c.err));
        EXPECT_EQ(r.out, c.out);
    }
}

TEST_F(HostProgram, HelpDocumentsEveryCommand) {
    const Outcome r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    std::istringstream commands(
        "new [W H]|open FILE|save [FILE]|close|docs|menus|menu TITLE|tick [N]|run SECONDS|"
        "wait docs N [SECONDS]|wait file PATH [SECONDS]|show [--json]|dict KEY|actions [--json]|version [N]|"
        "unload|reload|quit|--plugin MODULE|--bundle DIR|--trace|--strict");
    for (std::string command; std::getline(commands, command, '|');)
        EXPECT_THAT(r.out, HasSubstr("  " + command + " ")) << command;
}

}  // namespace
