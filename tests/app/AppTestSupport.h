// varnel-app as separate processes on the test program's private bus (app_environment.cpp), and
// this program in the plug-in's place: it sends requests and collects the replies.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>

#include "EventLoop.h"
#include "TestFolders.h"
#include "event_channel.h"

namespace app_test {

struct Reply {
    AEEventID id = 0;
    std::string direct, vnmp;  // the texts under '----' and 'Vnmp'
    ProcessSerialNumber sender;
};
// Every reply that reached this program and was not taken yet; filled by the environment.
std::vector<Reply>& receivedReplies();

// Handles this program's events until `done` holds; false when ten seconds pass first.
inline bool waitFor(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        const VNPollSpec spec = VNEventPollSpec();
        pollfd wait{spec.fd, spec.events, 0};
        ::poll(&wait, 1, 20);
        VNProcessEvents();
    }
    return true;
}

// The oldest reply not taken yet, once one came.
inline std::optional<Reply> takeReply() {
    auto& replies = receivedReplies();
    if (!waitFor([&] { return !replies.empty(); })) return std::nullopt;
    const Reply reply = replies.front();
    replies.erase(replies.begin());
    return reply;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Starts varnel-app with `args` and `environment` added to ours, its output in `folder`/out, /err.
inline pid_t startApp(const std::vector<std::string>& args, const std::string& folder,
                      const std::map<std::string, std::string>& environment = {}) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
        ::dup2(::open((folder + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        ::dup2(::open((folder + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        std::vector<char*> argv{const_cast<char*>(VARNEL_APP_BIN)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(VARNEL_APP_BIN, argv.data());
        ::_exit(127);
    }
    return pid;
}

struct Result {
    int status = -1;
    std::string out, err;
};

inline Result runApp(const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& environment = {}) {
    testing_support::ScratchFolder folder;
    int status = 0;
    ::waitpid(startApp(args, folder.path(), environment), &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(folder / "out"), readFile(folder / "err")};
}

// `varnel-app serve` over a copy of the example jobs, exporting to a folder of its own; stopped
// with SIGTERM at the latest when it goes out of scope.
class ServedApp {
public:
    ServedApp() {
        std::filesystem::copy(VARNEL_EXAMPLE_JOBS, jobs());
        pid_ = startApp({"serve", "--jobs", jobs(), "--out", out()}, folder_.path());
        // A command is answered only once the event channel is registered too.
        if (!waitFor([] { return runApp({"list"}).status == 0; }))
            throw std::runtime_error("varnel-app is not serving");
    }
    ~ServedApp() { stop(); }

    std::string jobs() const { return folder_ / "jobs"; }
    std::string out() const { return folder_ / "exports"; }
    std::string log() const { return readFile(folder_ / "err"); }
    std::string printed() const { return readFile(folder_ / "out"); }
    ProcessSerialNumber psn() const { return {0, static_cast<uint32_t>(pid_)}; }

    void send(AEEventID request, std::string_view payload) const {
        ASSERT_EQ(varnel_app::postEvent(request, psn(), payload), noErr);
    }
    // Its exit status.
    int stop() {
        int status = 0;
        if (pid_ > 0 && ::kill(pid_, SIGTERM) == 0) ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    testing_support::ScratchFolder folder_;
    pid_t pid_ = -1;
};

}  // namespace app_test
