// A process on the event channel for the platform tests (see PeerProtocol.h). It registers under
// $VARNEL_PEER_BUNDLE_ID with the program path it was started with as its bundle path.
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

std::string Code(uint32_t code) {
    return {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
}

OSErr Answer(ProcessSerialNumber to, AEEventID id, const AppleEvent* received, SRefCon refcon,
             AEEventID receivedId) {
    AEAddressDesc address;
    AppleEvent event;
    AECreateDesc(typeProcessSerialNumber, &to, sizeof to, &address);
    OSErr err =
        AECreateAppleEvent(kTestClass, id, &address, kAutoGenerateReturnID, kAnyTransactionID, &event);
    AEDisposeDesc(&address);
    ProcessSerialNumber self;
    GetCurrentProcess(&self);
    const std::string what = std::to_string(refcon) + " " + Code(kTestClass) + " " + Code(receivedId) + " " +
                             std::to_string(VNActivationCount());
    AEPutParamPtr(&event, kWhatKey, typeChar, what.data(), what.size());
    AEPutParamPtr(&event, kPsnKey, typeProcessSerialNumber, &self, sizeof self);
    for (AEKeyword keyword : {keyDirectObject, kPayloadKey, kPsnKey}) {
        DescType type = typeNull;
        size_t size = 0;
        if (received == nullptr || AESizeOfParam(received, keyword, &type, &size) != noErr) continue;
        std::string bytes(size, '\0');
        AEGetParamPtr(received, keyword, typeWildCard, &type, bytes.data(), size, &size);
        AEPutParamPtr(&event, keyword == kPsnKey ? kSenderKey : keyword, type, bytes.data(), size);
    }
    if (err == noErr)
        err = AESend(&event, nullptr, kAENoReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr);
    AEDisposeDesc(&event);
    return err;
}

OSErr OnEvent(const AppleEvent* event, AppleEvent*, SRefCon refcon) {
    AEEventID id = 0;
    AEGetEventClassAndID(event, nullptr, &id);
    ProcessSerialNumber sender;
    AEGetParamPtr(event, kPsnKey, typeProcessSerialNumber, nullptr, &sender, sizeof sender, nullptr);
    g_quit = g_quit || id == kQuit;
    return Answer(sender, kSeen, event, refcon, id);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        std::printf(
            "usage: %s\nA peer on the event channel for the platform tests (see PeerProtocol.h).\n"
            "Environment: %s bundle identifier; %s pid to send one event to, then end.\n",
            argv[0], kPeerBundleVariable, kPeerSendToVariable);
        return std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    const char* bundleId = std::getenv(kPeerBundleVariable);
    if (VNRegisterProcess(bundleId != nullptr ? bundleId : "com.corvane.PlatformPeer", argv[0]) != noErr)
        return 1;
    if (const char* pid = std::getenv(kPeerSendToVariable)) {
        const ProcessSerialNumber to{0, uint32_t(std::strtoul(pid, nullptr, 10))};
        return Answer(to, kGone, nullptr, 0, kGone) == noErr ? 0 : 1;
    }
    AEInstallEventHandler(kTestClass, kEcho, OnEvent, kEchoRefcon, false);
    AEInstallEventHandler(kTestClass, kQuit, OnEvent, kQuitRefcon, false);
    while (!g_quit) {
        const VNPollSpec spec = VNEventPollSpec();
        pollfd fd{spec.fd, spec.events, 0};
        ::poll(&fd, 1, spec.timeoutUsec < 0 ? -1 : int((spec.timeoutUsec + 999) / 1000));
        if (VNProcessEvents() < 0) return 0;  // the bus went away: the test is over
    }
    return 0;
}
