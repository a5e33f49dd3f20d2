#include "shell/VNIllustratorPlugin.h"

#include <new>
#include <stdexcept>
#include <utility>

#include "document/VNIllustrator.h"
#include "support/ulogger.h"

VNIllustratorPlugin* VNIllustratorPlugin::_g = nullptr;

Plugin* AllocatePlugin(SPPluginRef pluginRef) {
    return new (std::nothrow) VNIllustratorPlugin(pluginRef);
}

void FixupReload(Plugin* plugin) {
    // The object may have outlived the code that made it, so its dispatch can point into that
    // code: rebuild it in place with this code's operations, keeping its state. Nothing
    // virtual is called on it before that.
    auto* stale = static_cast<VNIllustratorPlugin*>(plugin);
    VNIllustratorPlugin state(std::move(*stale));
    auto* rebuilt = new (stale) VNIllustratorPlugin(std::move(state));
    rebuilt->ForgetNotifiers();
}

VNIllustratorPlugin::VNIllustratorPlugin(SPPluginRef pluginRef) : Plugin(pluginRef) {
    SetPluginName("VNIllustrator");
}

VNIllustratorPlugin::VNIllustratorPlugin(VNIllustratorPlugin&& other) noexcept
    : Plugin(std::move(other)),
      fAboutMenu(other.fAboutMenu),
      fJobListMenu(other.fJobListMenu),
      fDetailsMenu(other.fDetailsMenu),
      fAdjustSizeMenu(other.fAdjustSizeMenu),
      fTimer(other.fTimer),
      fReplyPayload(std::move(other.fReplyPayload)),
      fReplyKind(other.fReplyKind),
      fBasic(other.fBasic) {}

VNIllustratorPlugin::~VNIllustratorPlugin() {
    // Reply handlers and the timer outlive the object: they must not find it afterwards.
    if (_g == this) _g = nullptr;
}

VNIllustratorPlugin* VNIllustratorPlugin::instance() {
    if (_g == nullptr) throw std::runtime_error("global isn't initialized");
    return _g;
}

void VNIllustratorPlugin::ForgetNotifiers() {
    fApplicationStartedNotifier = nullptr;
    fApplicationShutdownNotifier = nullptr;
}

ASErr VNIllustratorPlugin::Message(char* caller, char* selector, void* message) {
    ASErr error;
    try {
        error = Plugin::Message(caller, selector, message);
    } catch (const ai::Error& failure) {
        error = failure.code();
    } catch (const std::exception& failure) {
        VN_LOG_ERROR(caller << "/" << selector << " failed: " << failure.what());
        ReportError(kCantHappenErr, caller, selector, message);
        return kCantHappenErr;
    } catch (...) {
        VN_LOG_ERROR(caller << "/" << selector << " failed");
        ReportError(kCantHappenErr, caller, selector, message);
        return kCantHappenErr;
    }
    if (error == kNoErr || error == kUnhandledMsgErr) return kNoErr;
    ReportError(error, caller, selector, message);
    return error;
}

ASErr VNIllustratorPlugin::StartupPlugin(SPInterfaceMessage* message) {
    const ASErr error = Plugin::StartupPlugin(message);
    return error != kNoErr ? error : pluginStartup(message);
}

ASErr VNIllustratorPlugin::ShutdownPlugin(SPInterfaceMessage* message) {
    pluginShutdown(message);
    return kNoErr;
}

ASErr VNIllustratorPlugin::GoMenuItem(AIMenuMessage* message) {
    return goMenuItem(message);
}
ASErr VNIllustratorPlugin::UpdateMenuItem(AIMenuMessage* message) {
    return updateMenuItem(message);
}

ASErr VNIllustratorPlugin::GoTimer(AITimerMessage* message) {
    Plugin::GoTimer(message);
    return goTimer(message);
}

ASErr VNIllustratorPlugin::SetGlobal(Plugin* plugin) {
    _g = static_cast<VNIllustratorPlugin*>(plugin);
    return kNoErr;
}
