#include "link/menuHandler.h"

#include <algorithm>
#include <cstdlib>

#include "job/UExceptions.h"
#include "link/UMPluginUtils.h"
#include "support/hexcodec.h"
#include "support/ulogger.h"

namespace {

constexpr AEKeyword keyPayload = FOUR_CHAR_CODE("Vnmp");
constexpr AEKeyword keySender = FOUR_CHAR_CODE("Psn ");
constexpr int32_t kRequestSendMode = kAENoReply | kAEAlwaysInteract | kAECanSwitchLayer;

// The request ids as the plug-in has always stored them: five little-endian 32-bit integers.
constexpr char kRequestIdBytes[] = "TobATwljTendTtedTspe";

constexpr AEEventID RequestEventID(IllRequestEnum kind) {
    const char* p = kRequestIdBytes + 4 * kind;
    return uint32_t(uint8_t(p[0])) | uint32_t(uint8_t(p[1])) << 8 | uint32_t(uint8_t(p[2])) << 16 |
           uint32_t(uint8_t(p[3])) << 24;
}
static_assert(RequestEventID(kIllRequestAbout) == FOUR_CHAR_CODE("AboT"));
static_assert(RequestEventID(kIllRequestExportDone) == FOUR_CHAR_CODE("epsT"));

AEEventHandlerUPP s_eventHandlerUPP = nullptr;

// Disposes of a descriptor on every way out of the scope that made it.
class DescReleaser {
public:
    explicit DescReleaser(AEDesc& desc) : desc_(desc) {}
    ~DescReleaser() { AEDisposeDesc(&desc_); }
    DescReleaser(const DescReleaser&) = delete;
    DescReleaser& operator=(const DescReleaser&) = delete;

private:
    AEDesc& desc_;
};

// Creates, fills and sends one request; every descriptor is disposed of on the way out.
void PostRequest(const std::string& payload, AEEventID id) {
    AppleEvent event;
    DescReleaser releaseEvent(event);
    {
        AEAddressDesc address;
        DescReleaser releaseAddress(address);
        // When the application is not running the address stays null and the send fails.
        VNAEvents::CreateAddressDesc(address, kVarnelBundleId);
        const OSErr status = AECreateAppleEvent(kVarnelEventClass, id, &address, kAutoGenerateReturnID,
                                                kAnyTransactionID, &event);
        if (status != noErr) throw UException(status);
    }
    VNAEvents::PutDataIntoEvent(event, payload.data(), payload.size());
    AppleEvent reply;
    DescReleaser releaseReply(reply);
    const OSErr status =
        AESend(&event, &reply, kRequestSendMode, kAENormalPriority, kNoTimeOut, nullptr, nullptr);
    if (status != noErr) throw UException(status);
}

}  // namespace

void SendEvent(const std::string& payload, IllRequestEnum kind) {
    if (kind < kIllRequestAbout || kind > kIllRequestExportDone) {
        VN_LOG_FAULT("SendEvent: invalid request kind " << static_cast<int>(kind));
        std::abort();
    }
    PostRequest(payload, RequestEventID(kind));
    BMUtils::SwitchToProcess(kVarnelBundleId);
}

void VNPlatformInit() {
    s_eventHandlerUPP = &ReceiveEvent;
    VN_LOG_DEBUG("event handler upp = " << (s_eventHandlerUPP != nullptr));
    const struct {
        AEEventID id;
        SRefCon refcon;
    } replies[] = {{FOUR_CHAR_CODE("savY"), kReplyDetails},
                   {FOUR_CHAR_CODE("sanY"), kReplyNewDetails},
                   {FOUR_CHAR_CODE("expY"), kReplyExport}};
    OSErr status = noErr;
    for (const auto& reply : replies) {
        status = AEInstallEventHandler(kVarnelEventClass, reply.id, s_eventHandlerUPP, reply.refcon, false);
        if (status != noErr) break;
    }
    VN_LOG_DEBUG("event handler install err = " << status);
}

void VNPlatformShutdown() {}

void bringIllustratorToFront() {
    const ProcessSerialNumber self{0, kCurrentProcess};
    SetFrontProcess(&self);
}

namespace VNAEvents {

bool CreateAddressDesc(AEDesc& address, const ustring& bundleId) {
    address = AEDesc();
    ProcessSerialNumber psn{0, kCurrentProcess};
    if (!bundleId.empty() && !BMUtils::FindProcess(psn, bundleId, nullptr)) return false;
    return AECreateDesc(typeProcessSerialNumber, &psn, sizeof psn, &address) == noErr;
}

bool PutDataIntoEvent(AEDesc& event, const char* data, unsigned long length) {
    const std::string text = vnu::HexEncode(std::string_view(data, length));
    if (AEPutParamPtr(&event, keyDirectObject, typeChar, text.data(), text.size()) != noErr) return false;
    if (AEPutParamPtr(&event, keyPayload, typeChar, text.data(), text.size()) != noErr) return false;
    ProcessSerialNumber self;
    GetCurrentProcess(&self);
    return AEPutParamPtr(&event, keySender, typeProcessSerialNumber, &self, sizeof self) == noErr;
}

bool GetDataFromEvent(const AEDesc& event, std::string& data, ProcessSerialNumber& sender) {
    AEKeyword keyword = keyPayload;
    DescType type;
    size_t size = 0;
    OSErr status = AESizeOfParam(&event, keyword, &type, &size);
    if (status == errAEDescNotFound) {
        keyword = keyDirectObject;
        status = AESizeOfParam(&event, keyword, &type, &size);
    }
    if (status != noErr) return false;
    std::string text(size, '\0');
    size_t actualSize = 0;
    if (AEGetParamPtr(&event, keyword, typeWildCard, &type, text.data(), size, &actualSize) != noErr) return false;
    text.resize(std::min(actualSize, size));
    data = vnu::HexDecode(text);
    sender = ProcessSerialNumber();
    size_t senderSize = 0;
    AEGetParamPtr(&event, keySender, typeProcessSerialNumber, &type, &sender, sizeof sender, &senderSize);
    return true;
}

}  // namespace VNAEvents
