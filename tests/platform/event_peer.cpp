// A process on the event channel for the tests: any process for the platform's own tests, the
// Varnel application for the companion link's and the plug-in's. It reports on standard output,
// a line each, what reaches it.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "EventText.h"
#include "os/EventLoop.h"
#include "os/Processes.h"

namespace {

using testing_support::TestEvent;
using testing_support::TextParameter;

constexpr const char* kUsage =
    "usage: event_peer [BUNDLE_ID [BUNDLE_PATH]]\n"
    "Registers as BUNDLE_ID (com.corvane.Varnel) at BUNDLE_PATH (its own path), prints \"ready\", then\n"
    "\"CLASS ID REFCON direct=TEXT vnmp=TEXT sender=PID\" per request of the Varnel application or\n"
    "'VnTs'/'echo' and \"activated\" per activation. VARNEL_PEER_SEND_TO=PID: sends PID one 'VnTs'/'gone'\n"
    "holding its activation count and ends (with VARNEL_PEER_STAY set, goes on as without it).\n"
    "VARNEL_PEER_LAUNCHES=FILE: started bare, appends its pid.\n";

OSErr Report(const AppleEvent* event, AppleEvent*, SRefCon refcon) {
    AEEventClass eventClass = 0;
    AEEventID id = 0;
    AEGetEventClassAndID(event, &eventClass, &id);
    const auto code = [](uint32_t c) {
        return std::string{char(c >> 24), char(c >> 16), char(c >> 8), char(c)};
    };
    ProcessSerialNumber psn;
    const bool sender = AEGetParamPtr(event, FOUR_CHAR_CODE("Psn "), typeProcessSerialNumber, nullptr, &psn,
                                      sizeof psn, nullptr) == noErr;
    const std::string line = code(eventClass) + " " + code(id) + " " + std::to_string(refcon) +
                             " direct=" + TextParameter(event, keyDirectObject).value_or("-") +
                             " vnmp=" + TextParameter(event, FOUR_CHAR_CODE("Vnmp")).value_or("-") +
                             " sender=" + (sender ? std::to_string(psn.lowLongOfPSN) : "-") + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    return noErr;
}

OSErr SendGone(const char* pid) {
    const ProcessSerialNumber to{0, uint32_t(std::strtoul(pid, nullptr, 10))};
    return TestEvent(FOUR_CHAR_CODE("VnTs"), FOUR_CHAR_CODE("gone"), to,
                     {{keyDirectObject, std::to_string(VNActivationCount())}})
        .send();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 3 || (argc > 1 && argv[1][0] == '-')) {
        const bool help = std::strcmp(argv[1], "--help") == 0;
        std::fputs(kUsage, help ? stdout : stderr);
        return help ? 0 : 2;
    }
    const char* launches = std::getenv("VARNEL_PEER_LAUNCHES");
    if (argc == 1 && launches != nullptr) std::ofstream(launches, std::ios::app) << ::getpid() << '\n';
    char self[PATH_MAX];
    const std::string bundleId = argc > 1 ? argv[1] : "com.corvane.Varnel";
    const char* own = ::realpath("/proc/self/exe", self);
    const std::string bundlePath = argc > 2 ? argv[2] : own != nullptr ? own : argv[0];
    if (const OSErr err = VNRegisterProcess(bundleId, bundlePath); err != noErr) {
        std::fprintf(stderr, "event_peer: cannot register as %s (status %d)\n", bundleId.c_str(), err);
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    if (const char* pid = std::getenv("VARNEL_PEER_SEND_TO")) {
        const OSErr sent = SendGone(pid);
        if (sent != noErr || std::getenv("VARNEL_PEER_STAY") == nullptr) return sent == noErr ? 0 : 1;
    }
    for (AEEventID id : {FOUR_CHAR_CODE("AboT"), FOUR_CHAR_CODE("jlwT"), FOUR_CHAR_CODE("dneT"),
                         FOUR_CHAR_CODE("detT"), FOUR_CHAR_CODE("epsT")})
        AEInstallEventHandler(FOUR_CHAR_CODE("AWZS"), id, &Report, 0, false);
    AEInstallEventHandler(FOUR_CHAR_CODE("VnTs"), FOUR_CHAR_CODE("echo"), &Report, 7001, false);
    // A lost connection is made again; a bus gone for this long went with the test that started us.
    constexpr auto kLongGone = std::chrono::seconds(20);
    auto connected = std::chrono::steady_clock::now();
    for (unsigned reported = 0;;) {
        const VNPollSpec spec = VNEventPollSpec();
        if (spec.fd >= 0)
            connected = std::chrono::steady_clock::now();
        else if (std::chrono::steady_clock::now() - connected > kLongGone)
            return 0;
        pollfd wait{spec.fd, spec.events, 0};
        if (::poll(&wait, 1, spec.timeoutUsec < 0 ? -1 : int((spec.timeoutUsec + 999) / 1000)) < 0 &&
            errno != EINTR)
            return 1;
        if (VNProcessEvents() < 0) return 1;
        for (; reported < VNActivationCount(); ++reported) std::puts("activated");
        std::fflush(stdout);
    }
}
