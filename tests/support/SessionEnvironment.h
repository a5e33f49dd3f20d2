// A test program's desktop session: HOME and the XDG folders in scratch space, a private bus
// with the program registered on it, its event loop run until something holds, and other
// programs run as children with their output kept.
#pragma once

#include <fcntl.h>
#include <gmock/gmock.h>  // the tests of a session match what its programs print
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "EventText.h"
#include "PrivateBus.h"
#include "TestFolders.h"
#include "os/EventLoop.h"
#include "os/Processes.h"

namespace testing_support {

inline constexpr std::chrono::seconds kWaitLimit{10};

inline std::string OwnProgramPath() {
    return std::filesystem::canonical("/proc/self/exe");
}

// Handles this program's events until `done` holds; false when the wait limit passes first or
// the bus connection fails.
inline bool PumpEventsUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + kWaitLimit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        const VNPollSpec spec = VNEventPollSpec();
        pollfd fd{spec.fd, spec.events, 0};
        // Short rounds: `done` may wait on other processes, which do not wake this one.
        ::poll(&fd, 1, spec.timeoutUsec >= 0 && spec.timeoutUsec < 10000 ? int(spec.timeoutUsec / 1000) : 10);
        if (VNProcessEvents() < 0) return false;
    }
    return true;
}

// For a whole test program: the session, and the program registered as `bundleId` at its own
// path, once, as a host process is; with no `bundleId` the program registers itself.
class SessionEnvironment : public ::testing::Environment {
public:
    explicit SessionEnvironment(std::string bundleId) : bundleId_(std::move(bundleId)) {}

    void SetUp() override {
        home_ = std::make_unique<ScratchFolder>();
        variables_ = std::make_unique<ScopedEnvironment>();
        variables_->set("HOME", home_->path());
        for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
            variables_->set(name, home_->makeFolder(name));
        variables_->set("LANGUAGE", "en");
        bus_ = std::make_unique<PrivateBus>();
        if (!bundleId_.empty()) {
            ASSERT_EQ(VNRegisterProcess(bundleId_, OwnProgramPath()), noErr);
        }
    }
    void TearDown() override {
        bus_.reset();
        variables_.reset();
        home_.reset();
    }

    const ScratchFolder& home() const { return *home_; }
    ScopedEnvironment& variables() { return *variables_; }

private:
    std::string bundleId_;
    std::unique_ptr<ScratchFolder> home_;
    std::unique_ptr<ScopedEnvironment> variables_;
    std::unique_ptr<PrivateBus> bus_;
};

// A program run with `environment` added to ours and `input` on standard input; its standard
// output and error go to files of its own. Ended with SIGTERM with the object.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv,
                   const std::map<std::string, std::string>& environment = {},
                   const std::string& input = "") {
        const std::string in = files_.write("in", input), out = files_.write("out", ""), err = files_ / "err";
        pid_ = ::fork();
        if (pid_ != 0) return;
        for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
        ::dup2(::open(in.c_str(), O_RDONLY), 0);
        ::dup2(::open(out.c_str(), O_WRONLY), 1);
        ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ~Child() { stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    // Its exit status, 128 + the signal that ended it, or -1 when it was waited for already.
    int wait() {
        int status = 0;
        if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int stop() {
        if (pid_ > 0) ::kill(pid_, SIGTERM);
        return wait();
    }
    std::string out() const { return ReadFile(files_ / "out"); }
    std::string err() const { return ReadFile(files_ / "err"); }
    // The next line it printed; "" when none comes within the wait limit.
    std::string nextLine() {
        for (const auto limit = std::chrono::steady_clock::now() + kWaitLimit;;) {
            const std::string text = out();
            if (const size_t end = text.find('\n', taken_); end != std::string::npos) {
                const std::string line = text.substr(taken_, end - taken_);
                taken_ = end + 1;
                return line;
            }
            if (std::chrono::steady_clock::now() > limit) return "";
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

private:
    ScratchFolder files_;
    pid_t pid_ = -1;
    size_t taken_ = 0;
};

struct Outcome {
    int status = -1;
    std::string out, err;
};

inline Outcome RunProgram(const std::vector<std::string>& argv,
                          const std::map<std::string, std::string>& environment = {},
                          const std::string& input = "") {
    Child child(argv, environment, input);
    const int status = child.wait();
    return {status, child.out(), child.err()};
}

#ifdef EVENT_PEER
// tests/platform/event_peer.cpp registered as `bundleId` at `bundlePath`.
class Peer : public Child {
public:
    explicit Peer(const std::string& bundleId, const std::string& bundlePath = EVENT_PEER)
        : Child({EVENT_PEER, bundleId, bundlePath}) {
        if (nextLine() != "ready") throw std::runtime_error("event_peer did not register as " + bundleId);
    }
};
#endif

}  // namespace testing_support
