// The one-slot reply queue: the event handler parks a reply, the next timer tick handles it.
#include <memory>
#include <sstream>
#include <string>

#include "document/VNIllustrator.h"
#include "job/BJobFile.h"
#include "job/UExceptions.h"
#include "link/UMPluginUtils.h"
#include "link/menuHandler.h"
#include "shell/VNIllustratorPlugin.h"
#include "support/ulogger.h"

namespace {

void dispatch(SPBasicSuite* basic, std::istream& stream, BJobFile& job, SRefCon kind) {
    switch (kind) {
        case kReplyExport: HandleExportReply(basic, stream, job); break;
        case kReplyNewDetails: HandleNewDetailsReply(basic, stream, job); break;
        case kReplyDetails: HandleDetailsReply(basic, stream, job, true); break;
        default: break;
    }
}

}  // namespace

OSErr ReceiveEvent(const AppleEvent* event, AppleEvent*, SRefCon refcon) {
    // Called from the host's event loop: nothing may escape into it.
    try {
        // Only the Varnel application may have the host write files: a reply from any other
        // program on the bus is dropped.
        std::string from;
        if (VNGetEventSender(event, &from, nullptr) == noErr && !VNIsNameOwner(kVarnelBundleId.str(), from)) {
            VN_LOG_DEBUG("reply " << long(refcon) << " from " << from << " dropped: not the Varnel application");
            return noErr;
        }
        auto payload = std::make_unique<std::string>();
        ProcessSerialNumber sender;
        VNAEvents::GetDataFromEvent(*event, *payload, sender);
        // The handlers stay installed after the plug-in object is gone.
        VNIllustratorPlugin* plugin = VNIllustratorPlugin::_g;
        if (plugin == nullptr) {
            VN_LOG_WARN("no plug-in object, reply " << long(refcon) << " dropped");
            return noErr;
        }
        // Once until the slot is handled again, however many replies a burst brings.
        if (plugin->fReplyPayload != nullptr && !plugin->fReplyOverflowed) {
            VN_LOG_WARN("EVENT QUEUE OVERFLOWED");
            plugin->fReplyOverflowed = true;
        }
        plugin->fReplyPayload = std::move(payload);
        plugin->fReplyKind = ai::int32(refcon);
    } catch (const std::exception& failure) {
        VN_LOG_ERROR("reply " << long(refcon) << " not queued: " << failure.what());
    } catch (...) {
        VN_LOG_ERROR("reply " << long(refcon) << " not queued");
    }
    return noErr;
}

AIErr goTimer(AITimerMessage* message) {
    VNIllustratorPlugin* plugin = VNIllustratorPlugin::_g;
    if (plugin == nullptr || plugin->fReplyPayload == nullptr) return kNoErr;
    // The slot is empty from here on, whatever the handler does.
    const std::unique_ptr<std::string> payload = std::move(plugin->fReplyPayload);
    plugin->fReplyOverflowed = false;
    const ai::int32 kind = plugin->fReplyKind;
    try {
        BJobFile job;
        // The stream takes the payload over: a job with its ticket runs to megabytes.
        std::istringstream stream(std::move(*payload));
        dispatch(message->d.basic, stream, job, kind);
    } catch (const UException& failure) {
        VN_LOG_ERROR("reply " << kind << " failed, code " << failure.error() << ": " << failure.what());
    } catch (const std::exception& failure) {
        VN_LOG_ERROR("reply " << kind << " failed, code " << 1 << ": " << failure.what());
    } catch (...) {
        VN_LOG_ERROR("reply " << kind << " failed, code " << 1 << ": unknown exception");
    }
    return kNoErr;
}
