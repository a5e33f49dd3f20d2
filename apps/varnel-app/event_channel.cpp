#include "event_channel.h"

#include <set>
#include <string>

#include "os/BusNames.h"
#include "support/hexcodec.h"
#include "support/ulogger.h"

namespace varnel_app {
namespace {

constexpr AEKeyword kPayloadKeyword = FOUR_CHAR_CODE("Vnmp");
constexpr AEKeyword kSenderKeyword = FOUR_CHAR_CODE("Psn ");

// 'Vnmp' first, the direct object when the event has no 'Vnmp', as the plug-in reads replies.
std::string payloadText(const AppleEvent* event) {
    for (AEKeyword keyword : {kPayloadKeyword, keyDirectObject}) {
        DescType type = 0;
        size_t size = 0;
        if (AESizeOfParam(event, keyword, &type, &size) != noErr) continue;
        std::string text(size, '\0');
        size_t actual = 0;
        if (AEGetParamPtr(event, keyword, typeWildCard, &type, text.data(), size, &actual) != noErr)
            return {};
        text.resize(actual);
        return text;
    }
    return {};
}

// Once per connection: a flood from one program leaves one line.
void refuseSender(const std::string& from, const Request& request) {
    static std::set<std::string> told;
    if (told.size() >= 1024) told.clear();
    if (!told.insert(from).second) return;
    VN_LOG_WARN("refused '" << eventName(request.id) << "' from " << from << ": it is not the registered process "
                            << request.sender.lowLongOfPSN << " it names (further ones dropped quietly)");
}

OSErr onRequest(const AppleEvent* event, AppleEvent*, SRefCon refcon) {
    Request request;
    AEEventClass eventClass = 0;
    AEGetEventClassAndID(event, &eventClass, &request.id);
    request.payload = vnu::HexDecode(payloadText(event));
    DescType type = 0;
    size_t size = 0;
    if (AEGetParamPtr(event, kSenderKeyword, typeProcessSerialNumber, &type, &request.sender,
                      sizeof request.sender, &size) != noErr ||
        size != sizeof request.sender)
        request.sender = ProcessSerialNumber{};
    // A request names the process to answer: only that process itself may, from the connection
    // it registered, so that no program on the bus can have replies sent to another host.
    std::string from;
    pid_t pid = 0;
    if (VNGetEventSender(event, &from, &pid) == noErr &&
        (pid <= 0 || request.sender.highLongOfPSN != 0 || request.sender.lowLongOfPSN != uint32_t(pid) ||
         !VNIsNameOwner(vnplatform::ProcessBusName(pid), from))) {
        refuseSender(from, request);
        return noErr;
    }
    (*reinterpret_cast<const RequestHandler*>(refcon))(request);
    return noErr;
}

}  // namespace

OSErr installRequestHandlers(const RequestHandler& handler) {
    for (AEEventID id :
         {kAboutRequest, kJobListRequest, kNewDetailsRequest, kDetailsRequest, kExportDoneRequest})
        if (const OSErr status = AEInstallEventHandler(kEventClass, id, &onRequest,
                                                       reinterpret_cast<SRefCon>(&handler), false);
            status != noErr)
            return status;
    return noErr;
}

OSErr postEvent(AEEventID id, const ProcessSerialNumber& to, std::string_view payload) {
    AEAddressDesc address;
    OSErr status = AECreateDesc(typeProcessSerialNumber, &to, sizeof to, &address);
    if (status != noErr) return status;
    AppleEvent event;
    status = AECreateAppleEvent(kEventClass, id, &address, kAutoGenerateReturnID, kAnyTransactionID, &event);
    AEDisposeDesc(&address);
    if (status != noErr) return status;
    const std::string text = vnu::HexEncode(payload);
    ProcessSerialNumber self;
    GetCurrentProcess(&self);
    if ((status = AEPutParamPtr(&event, keyDirectObject, typeChar, text.data(), text.size())) == noErr &&
        (status = AEPutParamPtr(&event, kPayloadKeyword, typeChar, text.data(), text.size())) == noErr &&
        (status = AEPutParamPtr(&event, kSenderKeyword, typeProcessSerialNumber, &self, sizeof self)) ==
            noErr) {
        AppleEvent reply;
        status = AESend(&event, &reply, kAENoReply | kAEAlwaysInteract | kAECanSwitchLayer, kAENormalPriority,
                        kNoTimeOut, nullptr, nullptr);
        AEDisposeDesc(&reply);
    }
    AEDisposeDesc(&event);
    return status;
}

std::string eventName(AEEventID id) {
    return {char(id >> 24), char(id >> 16), char(id >> 8), char(id)};
}

}  // namespace varnel_app
