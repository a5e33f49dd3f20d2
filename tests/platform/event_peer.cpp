// A process on the event channel for the tests: any process for the platform's own tests, the
// Varnel application for the companion link's and the plug-in's. It reports on standard output,
// a line each, what reaches it.
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
    "usage: event_peer [BUNDLE_ID [BUNDLE_PATH]]\n"
    "Registers on the session bus as BUNDLE_ID (default com.corvane.Varnel) at BUNDLE_PATH (default its\n"
    "own program path) and prints \"ready\"; then, for each event it handles (the Varnel application's\n"
    "requests and 'VnTs'/'echo'), \"CLASS ID REFCON direct=TEXT vnmp=TEXT sender=PID\" ('-' for a\n"
    "missing parameter), and \"activated\" for each activation. Environment:\n"
    "  VARNEL_PEER_SEND_TO   a pid: send it one 'VnTs'/'gone' holding the activation count, then end\n"
    "  VARNEL_PEER_LAUNCHES  a file to which a start without arguments appends the pid\n";

constexpr AEEventClass kTestClass = FOUR_CHAR_CODE("VnTs");
constexpr AEEventID kRequestIds[] = {FOUR_CHAR_CODE("AboT"), FOUR_CHAR_CODE("jlwT"), FOUR_CHAR_CODE("dneT"),
                                     FOUR_CHAR_CODE("detT"), FOUR_CHAR_CODE("epsT")};

std::string Code(uint32_t code) {
    return {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
}

std::string Parameter(const AppleEvent* event, AEKeyword keyword) {
    size_t size = 0;
    if (AESizeOfParam(event, keyword, nullptr, &size) != noErr) return "-";
    std::string text(size, '\0');
    return AEGetParamPtr(event, keyword, typeChar, nullptr, text.data(), size, &size) == noErr ? text : "-";
}

OSErr Report(const AppleEvent* event, AppleEvent*, SRefCon refcon) {
    AEEventClass eventClass = 0;
    AEEventID id = 0;
    AEGetEventClassAndID(event, &eventClass, &id);
    ProcessSerialNumber sender;
    const bool hasSender = AEGetParamPtr(event, FOUR_CHAR_CODE("Psn "), typeProcessSerialNumber, nullptr,
                                         &sender, sizeof sender, nullptr) == noErr;
    const std::string line = Code(eventClass) + " " + Code(id) + " " + std::to_string(refcon) +
                             " direct=" + Parameter(event, keyDirectObject) +
                             " vnmp=" + Parameter(event, FOUR_CHAR_CODE("Vnmp")) +
                             " sender=" + (hasSender ? std::to_string(sender.lowLongOfPSN) : "-") + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    return noErr;
}

int SendGone(const char* pid) {
    const ProcessSerialNumber to{0, uint32_t(std::strtoul(pid, nullptr, 10))};
    AEAddressDesc address;
    AppleEvent event;
    AECreateDesc(typeProcessSerialNumber, &to, sizeof to, &address);
    OSErr err = AECreateAppleEvent(kTestClass, FOUR_CHAR_CODE("gone"), &address, kAutoGenerateReturnID,
                                   kAnyTransactionID, &event);
    AEDisposeDesc(&address);
    const std::string activations = std::to_string(VNActivationCount());
    if (err == noErr)
        err = AEPutParamPtr(&event, keyDirectObject, typeChar, activations.data(), activations.size());
    if (err == noErr)
        err = AESend(&event, nullptr, kAENoReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr);
    AEDisposeDesc(&event);
    return err == noErr ? 0 : 1;
}

std::string OwnProgramPath() {
    char path[PATH_MAX];
    return ::realpath("/proc/self/exe", path) != nullptr ? path : "";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 3 || (argc > 1 && argv[1][0] == '-')) {
        const bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
        std::fputs(kUsage, help ? stdout : stderr);
        return help ? 0 : 2;
    }
    const char* launches = std::getenv("VARNEL_PEER_LAUNCHES");
    if (argc == 1 && launches != nullptr) std::ofstream(launches, std::ios::app) << ::getpid() << '\n';
    const std::string bundleId = argc > 1 ? argv[1] : "com.corvane.Varnel";
    if (const OSErr err = VNRegisterProcess(bundleId, argc > 2 ? argv[2] : OwnProgramPath()); err != noErr) {
        std::fprintf(stderr, "event_peer: cannot register %s on the session bus (status %d)\n",
                     bundleId.c_str(), err);
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    if (const char* pid = std::getenv("VARNEL_PEER_SEND_TO")) return SendGone(pid);
    for (AEEventID id : kRequestIds) AEInstallEventHandler(FOUR_CHAR_CODE("AWZS"), id, &Report, 0, false);
    AEInstallEventHandler(kTestClass, FOUR_CHAR_CODE("echo"), &Report, 7001, false);
    for (unsigned reported = 0;;) {
        const VNPollSpec spec = VNEventPollSpec();
        pollfd wait{spec.fd, spec.events, 0};
        if (::poll(&wait, 1, spec.timeoutUsec < 0 ? -1 : int((spec.timeoutUsec + 999) / 1000)) < 0 &&
            errno != EINTR)
            return 1;
        if (VNProcessEvents() < 0) return 0;  // the bus is gone: so is the test that started us
        for (; reported < VNActivationCount(); ++reported) std::puts("activated");
        std::fflush(stdout);
    }
}
