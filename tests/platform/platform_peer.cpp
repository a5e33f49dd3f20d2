// A process on the event channel for the platform tests; see PeerProtocol.h. Its bundle path is
// the program path it was started with.
#include <poll.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "EventLoop.h"
#include "PeerProtocol.h"
#include "Processes.h"

using namespace platform_test;

namespace {

bool g_quit = false;

std::string Param(const AppleEvent* event, AEKeyword keyword, DescType* type) {
    size_t size = 0;
    if (AESizeOfParam(event, keyword, type, &size) != noErr) return std::string();
    std::string bytes(size, '\0');
    AEGetParamPtr(event, keyword, typeWildCard, type, bytes.data(), size, &size);
    return bytes;
}

OSErr Send(const std::string& psnBytes, AEEventID id, const AppleEvent* copyFrom, const std::string& what) {
    AEAddressDesc address;
    AppleEvent event;
    OSErr err = AECreateDesc(typeProcessSerialNumber, psnBytes.data(), psnBytes.size(), &address);
    if (err == noErr) err = AECreateAppleEvent(kTestClass, id, &address, kAutoGenerateReturnID, kAnyTransactionID, &event);
    AEDisposeDesc(&address);
    if (err != noErr) return err;
    ProcessSerialNumber self;
    GetCurrentProcess(&self);
    AEPutParamPtr(&event, kPsnKey, typeProcessSerialNumber, &self, sizeof self);
    AEPutParamPtr(&event, kWhatKey, typeChar, what.data(), what.size());
    for (AEKeyword keyword : {keyDirectObject, kPayloadKey, kPsnKey}) {
        DescType type = typeNull;
        const std::string bytes = copyFrom != nullptr ? Param(copyFrom, keyword, &type) : std::string();
        if (type != typeNull)
            AEPutParamPtr(&event, keyword == kPsnKey ? kSenderKey : keyword, type, bytes.data(), bytes.size());
    }
    err = AESend(&event, nullptr, kAENoReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr);
    AEDisposeDesc(&event);
    return err;
}

OSErr Answer(const AppleEvent* event, AppleEvent*, SRefCon refcon) {
    AEEventClass eventClass = 0;
    AEEventID eventId = 0;
    AEGetEventClassAndID(event, &eventClass, &eventId);
    DescType type;
    const std::string sender = Param(event, kPsnKey, &type);
    const std::string what = std::to_string(refcon) + " " + std::to_string(eventClass) + " " +
                             std::to_string(eventId) + " " + std::to_string(VNActivationCount());
    g_quit = g_quit || refcon == kQuitRefcon;
    return Send(sender, kSeen, event, what);
}

int SendOnceTo(const char* pid) {
    ProcessSerialNumber target{0, static_cast<uint32_t>(std::strtoul(pid, nullptr, 10))};
    const std::string bytes(reinterpret_cast<const char*>(&target), sizeof target);
    return Send(bytes, kGone, nullptr, "gone") == noErr ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        std::printf("usage: %s\nTakes part in the event channel for the platform tests (see PeerProtocol.h).\n"
                    "Environment: %s bundle identifier, %s pid to send one event to and exit.\n",
                    argv[0], kPeerBundleVariable, kPeerSendToVariable);
        return std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    const char* bundleId = std::getenv(kPeerBundleVariable);
    if (VNRegisterProcess(bundleId != nullptr ? bundleId : "com.corvane.PlatformPeer", argv[0]) != noErr) return 1;
    if (const char* pid = std::getenv(kPeerSendToVariable)) return SendOnceTo(pid);
    AEInstallEventHandler(kTestClass, kEcho, Answer, kEchoRefcon, false);
    AEInstallEventHandler(kTestClass, kQuit, Answer, kQuitRefcon, false);
    while (!g_quit) {
        const VNPollSpec spec = VNEventPollSpec();
        pollfd fd{spec.fd, spec.events, 0};
        ::poll(&fd, 1, spec.timeoutUsec < 0 ? -1 : int((spec.timeoutUsec + 999) / 1000));
        if (VNProcessEvents() < 0) return 0;  // the bus went away: the test is over
    }
    return 0;
}
