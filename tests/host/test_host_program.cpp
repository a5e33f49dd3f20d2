// varnel-host as a program, with the test plug-in: start-up and shut-down, commands, files.
#include <gtest/gtest.h>

#include <sstream>

#include "SessionEnvironment.h"

namespace {

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
    Outcome run(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), {VHOST_PROGRAM, "--plugin", VHOST_TEST_PLUGIN});
        const Outcome outcome{testing_support::RunProgram(args, {}, input)};
        EXPECT_EQ(outcome.err.find("FAIL"), std::string::npos) << outcome.err;
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
    EXPECT_NE(r.out.find("the module left memory"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("no document"), std::string::npos) << "quit ends the script";
    EXPECT_NE(r.err.find("no session bus"), std::string::npos);
    EXPECT_NE(r.err.find("trace:   SP Basic Suite.AcquireSuite(\"AI Nonexistent Suite\", 1) -> 'S!Fd'"),
              std::string::npos);
    EXPECT_NE(r.err.find("trace: message \"SP Access\"/\"Reload\" -> 0\n"), std::string::npos) << r.err;
}

TEST_F(HostProgram, MenusUpdateAndGuidesAreFoundAgain) {
    const Outcome r = run({"-c", "menus; new; menus; menu Make Guide...; menu Find Guides; show; actions"});
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t second = r.out.find("new document");
    ASSERT_NE(second, std::string::npos);
    EXPECT_NE(r.out.find("    Make Guide…: disabled"), std::string::npos) << r.out;
    EXPECT_LT(r.out.find("    Make Guide…: disabled"), second);
    EXPECT_NE(r.out.find("    Make Guide…: enabled", second), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Place Document\n  ----\n  Test: enabled\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("    Exercise: enabled, key E (modifiers 4)"), std::string::npos);
    EXPECT_EQ(r.count("received AI Menu/AI Update"), 3) << "two listings and the choice";
    EXPECT_EQ(r.count("adobe_makeGuide: 0"), 1);
    EXPECT_EQ(r.count("found 1 marked, 1 locked guide(s) among 1 art"), 1) << r.err;
    EXPECT_NE(
        r.out.find("guide 1: path x 10, y 20, width 100, height 50, 4 segments, closed, locked, selected, "
                   "marks test-guide = true\n1 guide(s), 0 other art"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(
                  "1. adobe_makeGuide (dialog 3) -> 0, no parameter block\n"
                  "2. test_unknownAction (dialog 3) -> 'ACT?', 5 parameter(s)\n"
                  "  'optn' integer 0\n  'opnm' string \"Custom\"\n  'comp' enumerated \"Compatibility\" 20\n"
                  "  'post' real 6.5\n  'rdtr' boolean true\n"),
              std::string::npos)
        << r.out;
}

TEST_F(HostProgram, TimerFiresAtOnceUnderTickAndNoFasterThanItsPeriodUnderRun) {
    env_.set("VHTEST_PERIOD", "6");
    Outcome r = run({"-c", "tick 3"});
    EXPECT_EQ(r.out, "sent 3 timer messages\n");
    EXPECT_EQ(r.count("received AI Timer/AI Go"), 3);
    r = run({"-c", "run 1"});
    const int fired = r.count("received AI Timer/AI Go");
    EXPECT_GE(fired, 1);
    EXPECT_LE(fired, 11) << "10 periods of 0.1 s, and one overdue at the start";
    EXPECT_NE(r.out.find("ran 1 s: " + std::to_string(fired) + " timer message"), std::string::npos) << r.out;
}

TEST_F(HostProgram, DocumentsSaveAndOpenAgainAsTheSameJson) {
    const std::string a = files_ / "a.json", b = files_ / "b.json";
    const Outcome r = run({"-c", "new 300 200; menu Make Guide; menu Exercise; menu Move Artboard; save " +
                                     a + "; close; open " + a + "; save " + b + "; docs; show"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(ReadFile(a).empty());
    EXPECT_EQ(ReadFile(a), ReadFile(b));
    EXPECT_NE(r.out.find("* \"b.json\" 300 x 200 pt, " + b + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("artboard 1: left -8.5, top 208.5, right 308.5, bottom -8.5"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("dictionary test-data: 3 bytes\ndictionary test-flag = true\n"
                         "profiles: RGB none, CMYK 128 bytes, grey none"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("new document \"Untitled-2\", 200 x 100 pt (for the plug-in)"), std::string::npos);
}

TEST_F(HostProgram, PdfExportBecomesTheDocumentsFileAndOpensAgain) {
    const std::string pdf = files_ / "out.pdf";
    env_.set("VHTEST_PDF", pdf);
    const Outcome r =
        run({"-c", "new; menu Make Guide; menu Export PDF; save; close; open " + pdf + "; show; actions"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.count("adobe_saveDocumentAs: 0"), 1) << r.err;
    EXPECT_NE(r.out.find("saved \"out.pdf\" to " + pdf + " (PDF)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("document \"out.pdf\", file " + pdf + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 guide(s)"), std::string::npos);
    EXPECT_NE(r.err.find("options not acted on: cres"), std::string::npos) << r.err;

    env_.set("VHTEST_PDF", "relative.pdf");
    const Outcome refused = run({"-c", "new; menu Export PDF"});
    EXPECT_EQ(refused.count("adobe_saveDocumentAs: 'FIL?'"), 1) << refused.err;
    EXPECT_NE(refused.err.find("varnel-host: adobe_saveDocumentAs failed: "), std::string::npos);
}

TEST_F(HostProgram, SuiteKeptAtShutdownIsReported) {
    env_.set("VHTEST_LEAK", "1");
    const Outcome r = run({"-c", "docs"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(
        r.err.find("varnel-host: suite \"AI Art Suite\" version 1021 acquired 1 times, released 0 times"),
        std::string::npos)
        << r.err;
}

TEST_F(HostProgram, PluginRefusedASuiteTheHostLacksDoesNotStart) {
    const Outcome r = run({"--without", "AI Timer Suite", "-c", "menus"});
    EXPECT_EQ(r.status, 0) << "everything acquired went back";
    EXPECT_EQ(r.count("cannot acquire AI Timer Suite: 'S!Fd'"), 1);
    EXPECT_NE(r.err.find("did not start (result 'S!Fd'): unloading it"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "no menu items\n");
}

TEST_F(HostProgram, BadCommandsFromStandardInputGoOnUnlessStrict) {
    const std::string input = "bogus\nnew abc 20\nnew 10 20\ndocs\n";
    const Outcome lenient = run({}, input);
    EXPECT_EQ(lenient.status, 0);
    EXPECT_NE(lenient.out.find("\"Untitled-1\" 10 x 20 pt"), std::string::npos);
    EXPECT_NE(
        lenient.err.find("varnel-host: stdin:1: unknown command \"bogus\" (see --help)\n"
                         "varnel-host: stdin:2: new: W must be a number from 0.001 to 1000000, not \"abc\" "
                         "(usage: new [W H])\n"),
        std::string::npos)
        << lenient.err;
    const Outcome strict = run({"--strict"}, input);
    EXPECT_EQ(strict.status, 1);
    EXPECT_EQ(strict.out, "");
}

TEST_F(HostProgram, HelpDocumentsEveryCommand) {
    const Outcome r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    std::istringstream commands(
        "new [W H]|open FILE|save [FILE]|close|docs|menus|menu TITLE|tick [N]|run SECONDS|wait docs N "
        "[SECONDS]|"
        "wait file PATH [SECONDS]|show [--json]|dict KEY|actions [--json]|version [N]|unload|reload|quit|"
        "--plugin MODULE|--bundle DIR|--trace|--strict");
    for (std::string command; std::getline(commands, command, '|');)
        EXPECT_NE(r.out.find("  " + command + " "), std::string::npos) << command;
}

TEST_F(HostProgram, MissingModuleIsOneLine) {
    const Outcome r = run({"--plugin", files_ / "absent.so", "-c", "docs"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("absent.so"), std::string::npos);
}

TEST_F(HostProgram, RegistersOnAPrivateBusAndWaitsForFiles) {
    testing_support::PrivateBus bus;
    const std::string later = files_ / "later";
    const Outcome r = run({"-c", "run 0.1; wait file " + later + " 0.2; new; wait docs 1 0.1"});
    EXPECT_NE(r.err.find("registered on the session bus as com.corvane.VarnelHost"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("wait: " + later + " does not exist after 0.2 s"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("1 document open\n"), std::string::npos) << r.out;
}

}  // namespace
