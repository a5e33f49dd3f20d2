// A private bus for the whole test program, the program registered on it, and stand-in
// companions started as separate processes.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>

#include "EventLoop.h"

namespace companion_test {

inline constexpr const char* kTestBundleId = "com.corvane.VarnelLinkTests";
inline constexpr int kWaitLimitMs = 10000;

// Handles this program's own events until `done` holds; false when the limit passes first.
inline bool WaitFor(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitLimitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        const VNPollSpec spec = VNEventPollSpec();
        pollfd wait{spec.fd, spec.events, 0};
        // Short rounds: `done` may wait on other processes, which do not wake us.
        ::poll(&wait, 1, spec.timeoutUsec >= 0 && spec.timeoutUsec < 20000 ? int(spec.timeoutUsec / 1000) : 20);
        VNProcessEvents();
    }
    return true;
}

// companion_peer registered under a bundle id and path; stopped when it goes out of scope.
class Peer {
public:
    Peer(const std::string& bundleId, const std::string& bundlePath) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("Peer: pipe failed");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::execl(COMPANION_PEER_BIN, COMPANION_PEER_BIN, bundleId.c_str(), bundlePath.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        out_ = out[0];
        if (pid_ < 0 || nextLine() != "ready") {
            stop();
            throw std::runtime_error("Peer: companion_peer did not register as " + bundleId);
        }
    }
    ~Peer() { stop(); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // The next line the peer reported, or "" when none came within the limit.
    std::string nextLine() {
        std::string line;
        for (char c;;) {
            pollfd wait{out_, POLLIN, 0};
            if (::poll(&wait, 1, kWaitLimitMs) <= 0 || ::read(out_, &c, 1) != 1) return "";
            if (c == '\n') return line;
            line += c;
        }
    }

private:
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (out_ >= 0) ::close(out_);
        out_ = -1;
    }

    pid_t pid_ = -1;
    int out_ = -1;
};

}  // namespace companion_test
