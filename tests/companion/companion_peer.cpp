// Plays the Varnel application for the companion-link tests: registers on the session bus and
// reports, one line each on standard output, what reaches it.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "AppleEvents.h"
#include "EventLoop.h"
#include "Processes.h"

namespace {

constexpr const char* kUsage =
    "usage: companion_peer [BUNDLE_ID BUNDLE_PATH]\n"
    "Registers on the session bus under BUNDLE_ID with BUNDLE_PATH and prints \"ready\", then a line\n"
    "per request received (\"event ID direct=TEXT vnmp=TEXT\", '-' for a missing parameter) and per\n"
    "activation (\"activated\"). Without arguments, as when started from its desktop entry, it is\n"
    "com.corvane.Varnel at its own program path, and appends a line to the file VARNEL_PEER_LAUNCHES\n"
    "names, if any.\n";

constexpr AEEventID kRequestIds[] = {FOUR_CHAR_CODE("AboT"), FOUR_CHAR_CODE("jlwT"), FOUR_CHAR_CODE("dneT"),
                                     FOUR_CHAR_CODE("detT"), FOUR_CHAR_CODE("epsT")};

std::string Parameter(const AppleEvent* event, AEKeyword keyword) {
    DescType type;
    size_t size = 0;
    if (AESizeOfParam(event, keyword, &type, &size) != noErr) return "-";
    std::string text(size, '\0');
    size_t actual = 0;
    if (AEGetParamPtr(event, keyword, typeWildCard, &type, text.data(), size, &actual) != noErr) return "-";
    text.resize(actual);
    return text;
}

OSErr Report(const AppleEvent* event, AppleEvent*, SRefCon) {
    AEEventClass eventClass = 0;
    AEEventID id = 0;
    AEGetEventClassAndID(event, &eventClass, &id);
    const char name[5] = {char(id >> 24), char(id >> 16), char(id >> 8), char(id), '\0'};
    std::printf("event %s direct=%s vnmp=%s\n", name, Parameter(event, keyDirectObject).c_str(),
                Parameter(event, FOUR_CHAR_CODE("Vnmp")).c_str());
    std::fflush(stdout);
    return noErr;
}

std::string OwnProgramPath() {
    char path[PATH_MAX];
    return ::realpath("/proc/self/exe", path) != nullptr ? path : "";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 1 && argc != 3) {
        std::fputs("companion_peer: expected BUNDLE_ID and BUNDLE_PATH, or no arguments\n", stderr);
        std::fputs(kUsage, stderr);
        return 2;
    }
    const char* launches = std::getenv("VARNEL_PEER_LAUNCHES");
    if (argc == 1 && launches != nullptr) {
        std::ofstream(launches, std::ios::app) << ::getpid() << '\n';
    }
    const std::string bundleId = argc == 3 ? argv[1] : "com.corvane.Varnel";
    const std::string bundlePath = argc == 3 ? argv[2] : OwnProgramPath();
    if (const OSErr status = VNRegisterProcess(bundleId, bundlePath); status != noErr) {
        std::fprintf(stderr, "companion_peer: cannot register %s on the session bus (status %d)\n",
                     bundleId.c_str(), status);
        return 1;
    }
    for (AEEventID id : kRequestIds) AEInstallEventHandler(FOUR_CHAR_CODE("AWZS"), id, &Report, 0, false);
    std::puts("ready");
    std::fflush(stdout);
    for (unsigned reported = 0;;) {
        const VNPollSpec spec = VNEventPollSpec();
        pollfd wait{spec.fd, spec.events, 0};
        const int timeoutMs = spec.timeoutUsec < 0 ? -1 : static_cast<int>((spec.timeoutUsec + 999) / 1000);
        if (::poll(&wait, 1, timeoutMs) < 0 && errno != EINTR) return 1;
        if (VNProcessEvents() < 0) return 0;  // the bus is gone: so is the test that started us
        for (; reported < VNActivationCount(); ++reported) std::puts("activated");
        std::fflush(stdout);
    }
}
