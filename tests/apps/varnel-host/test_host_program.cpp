// varnel-host as a program, with the test plug-in: start-up and shut-down, faults, commands.
#include <gmock/gmock.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <sstream>

#include "SessionEnvironment.h"

namespace {

using testing::HasSubstr;
using testing::Not;

class HostProgram : public testing::Test {
protected:
    void SetUp() override {
        env_.unset("DBUS_SESSION_BUS_ADDRESS");
        env_.set("HOME", home_.path());
        env_.set("XDG_CONFIG_HOME", home_ / "config");
    }

    // Runs varnel-host with the test plug-in, `args` and `input` on standard input.
    testing_support::Outcome run(std::vector<std::string> args, const std::string& input = "",
                                 const std::map<std::string, std::string>& environment = {}) {
        args.insert(args.begin(), {VHOST_PROGRAM, "--plugin", VHOST_TEST_PLUGIN});
        return testing_support::RunProgram(args, environment, input);
    }

    testing_support::ScratchFolder home_;
    testing_support::ScopedEnvironment env_;
};

TEST_F(HostProgram, StartsUnloadsReloadsAndShutsDownInOrder) {
    const auto r = run({"--trace", "-c", "unload; reload; quit; docs"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string lines;
    std::istringstream in(r.err);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("test-plugin: ")) lines += line.substr(13) + "\n";
    EXPECT_EQ(lines,
              "received SP Interface/Startup\n"
              "missing suite: 'S!Fd', other version: 'S!Vr'\n"
              "main bundle: " +
                  std::filesystem::path(VHOST_PROGRAM).parent_path().string() +
                  "/VarnelHost\n"
                  "received SP Access/Unload\n"
                  "received SP Access/Reload\n"
                  "reload: globals kept, module fresh\n"
                  "received SP Interface/Shutdown\n");
    EXPECT_THAT(r.out, HasSubstr("the module left memory"));
    EXPECT_THAT(r.out, Not(HasSubstr("no document"))) << "quit ends the script";
    EXPECT_THAT(r.err, HasSubstr("trace: message \"SP Access\"/\"Reload\" -> 0\n"));
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
        // Nothing was acquired: no imbalance to report.
        {{"--without", "AI Art Suite", "-c", "docs"}, {}, "", 0,
         "did not start (result 'S!Fd'): unloading it\n", "no document open\n"},
        {{"--plugin", home_ / "absent.so", "-c", "docs"}, {}, "", 1, home_ / "absent.so", ""},
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
        const auto r = run(c.args, c.input, c.environment);
        EXPECT_EQ(r.status, c.status);
        EXPECT_THAT(r.err, HasSubstr(c.err));
        EXPECT_EQ(r.out, c.out);
    }
}

// Only a regular file opens; anything else is refused in one line, a FIFO without waiting for a
// writer (a host that waited would be stopped by `timeout`, status 124).
TEST_F(HostProgram, OpenRefusesWhatIsNotARegularFile) {
    const std::string fifo = home_ / "fifo", socketPath = home_ / "socket";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const struct {
        std::string path, kind;
    } cases[] = {
        {fifo, "a FIFO"}, {socketPath, "a socket"}, {"/dev/null", "a device"}, {home_.path(), "a directory"}};
    std::string script, expected;
    for (const auto& c : cases) {
        script += "open \"" + c.path + "\"\n";
        expected += "varnel-host: stdin:" + std::to_string(&c - cases + 1) + ": open: " + c.path +
                    ": not a regular file but " + c.kind + "\n";
    }
    const auto r = testing_support::RunProgram(
        {"/usr/bin/timeout", "60", VHOST_PROGRAM, "--plugin", VHOST_TEST_PLUGIN}, {}, script + "docs\n");
    ::close(listener);
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.err, HasSubstr(expected));
    EXPECT_EQ(r.out, "no document open\n");
}

}  // namespace
