// The module's one exported function: the host calls it for every message.
#include <cstring>

#include "shell/Plugin.h"

namespace {

bool is(const char* text, const char* expected) {
    return text != nullptr && std::strcmp(text, expected) == 0;
}

// Start-up, shut-down and reload reach the object outside its Message, which converts
// exceptions for everything else; none may cross into the host.
template <typename Call>
ASErr guarded(Call call) {
    try {
        return call();
    } catch (const ai::Error& error) {
        return error.code();
    } catch (...) {
        return kCantHappenErr;
    }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) SPErr PluginMain(char* caller, char* selector,
                                                                   void* message) {
    auto* data = static_cast<SPMessageData*>(message);
    sSPBasic = data->basic;
    auto* plugin = static_cast<Plugin*>(data->globals);
    auto* interfaceMessage = static_cast<SPInterfaceMessage*>(message);

    if (is(caller, kSPInterfaceCaller) && is(selector, kSPInterfaceStartupSelector)) {
        plugin = AllocatePlugin(data->self);
        if (plugin == nullptr) return kOutOfMemoryErr;
        data->globals = plugin;
        const ASErr error = guarded([&] { return plugin->StartupPlugin(interfaceMessage); });
        if (error != kNoErr) {
            delete plugin;
            data->globals = nullptr;
            return error;
        }
    } else if (is(caller, kSPInterfaceCaller) && is(selector, kSPInterfaceShutdownSelector) &&
               plugin != nullptr) {
        const ASErr error = guarded([&] { return plugin->ShutdownPlugin(interfaceMessage); });
        delete plugin;
        data->globals = nullptr;
        return error;
    }
    if (plugin == nullptr) return kNoErr;

    ASErr error;
    if (is(caller, kSPAccessCaller) && is(selector, kSPAccessReloadSelector)) {
        error = guarded([&] {
            FixupReload(plugin);
            return plugin->ReloadPlugin(interfaceMessage);
        });
    } else {
        if (!plugin->HasSuites()) return kNoErr;
        error = plugin->Message(caller, selector, message);
    }
    if (error == kNoErr || error == kUnhandledMsgErr) return kNoErr;
    plugin->ReportError(error, caller, selector, message);
    return error;
}
