#include "shell/Plugin.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "shell/AppContext.h"
#include "support/ulogger.h"
#include "text/ustring.h"

namespace {

using Handler = ASErr (*)(Plugin&, void*);

struct Route {
    const char* caller;
    const char* selector;
    Handler handler;
};

template <typename M>
M* as(void* message) {
    return static_cast<M*>(message);
}

// Every caller and selector pair the plug-in protocol knows, with the operation it reaches.
const Route kRoutes[] = {
    {kSPAccessCaller, kSPAccessUnloadSelector,
     [](Plugin& p, void* m) { return p.UnloadPlugin(as<SPInterfaceMessage>(m)); }},
    {kSPAccessCaller, kSPAccessReloadSelector,
     [](Plugin& p, void* m) { return p.ReloadPlugin(as<SPInterfaceMessage>(m)); }},
    {kSPInterfaceCaller, kSPInterfaceAboutSelector, [](Plugin&, void*) { return kNoErr; }},
    // Start-up runs in PluginMain before the object can receive messages.
    {kSPInterfaceCaller, kSPInterfaceStartupSelector, [](Plugin&, void*) { return kNoErr; }},
    {kSPCacheCaller, kSPPluginPurgeSelector,
     [](Plugin& p, void*) { return p.Purge() ? kPurgeTrue : kPurgeFalse; }},
    {kSPPropertiesCaller, kSPPropertiesAcquireSelector,
     [](Plugin& p, void* m) { return p.AcquireProperty(as<SPPropertiesMessage>(m)); }},
    {kSPPropertiesCaller, kSPPropertiesReleaseSelector,
     [](Plugin& p, void* m) { return p.ReleaseProperty(as<SPPropertiesMessage>(m)); }},
    {"Action Manager", "Do Action", [](Plugin& p, void* m) { return p.GoAction(m); }},
    {kCallerAIMenu, kSelectorAIGoMenuItem,
     [](Plugin& p, void* m) { return p.GoMenuItem(as<AIMenuMessage>(m)); }},
    {kCallerAIMenu, kSelectorAIUpdateMenuItem,
     [](Plugin& p, void* m) { return p.UpdateMenuItem(as<AIMenuMessage>(m)); }},
    {"AI Filter", "AI Get Parameters", [](Plugin& p, void* m) { return p.GetFilterParameters(m); }},
    {"AI Filter", "AI Go", [](Plugin& p, void* m) { return p.GoFilter(m); }},
    {"AI Plugin Group", "AI Notify Edits", [](Plugin& p, void* m) { return p.PluginGroupNotify(m); }},
    {"AI Plugin Group", "AI Update", [](Plugin& p, void* m) { return p.PluginGroupUpdate(m); }},
    {"AI File Format", "AI Get Parameters", [](Plugin& p, void* m) { return p.GetFileFormatParameters(m); }},
    {"AI File Format", "AI Go", [](Plugin& p, void* m) { return p.GoFileFormat(m); }},
    {"AI File Format", "AI Check", [](Plugin& p, void* m) { return p.CheckFileFormat(m); }},
    {"AI File Format", "AI Update AI140", [](Plugin& p, void* m) { return p.FileFormatUpdate(m); }},
    {"AI File Format", "Do Action", [](Plugin& p, void* m) { return p.SetFileFormatParameters(m); }},
    {"AI Tool", "AI Edit Options", [](Plugin& p, void* m) { return p.EditTool(m); }},
    {"AI Tool", "AI Track Cursor", [](Plugin& p, void* m) { return p.TrackToolCursor(m); }},
    {"AI Tool", "AI Mouse Down", [](Plugin& p, void* m) { return p.ToolMouseDown(m); }},
    {"AI Tool", "AI Mouse Drag", [](Plugin& p, void* m) { return p.ToolMouseDrag(m); }},
    {"AI Tool", "AI Mouse Up", [](Plugin& p, void* m) { return p.ToolMouseUp(m); }},
    {"AI Tool", "AI Select", [](Plugin& p, void* m) { return p.SelectTool(m); }},
    {"AI Tool", "AI Deselect", [](Plugin& p, void* m) { return p.DeselectTool(m); }},
    {"AI Tool", "AI Reselect", [](Plugin& p, void* m) { return p.ReselectTool(m); }},
    {"AI Tool", "AI Decrease Diameter", [](Plugin& p, void* m) { return p.DecreaseDiameter(m); }},
    {"AI Tool", "AI Increase Diameter", [](Plugin& p, void* m) { return p.IncreaseDiameter(m); }},
    {"AI Live Effect", "AI Live Effect Edit Parameters",
     [](Plugin& p, void* m) { return p.EditLiveEffectParameters(m); }},
    {"AI Live Effect", "AI Live Effect Go Live", [](Plugin& p, void* m) { return p.GoLiveEffect(m); }},
    {"AI Live Effect", "AI Live Effect Interpolate Parameters",
     [](Plugin& p, void* m) { return p.LiveEffectInterpolate(m); }},
    {"AI Live Effect", "AI Live Effect Input Type",
     [](Plugin& p, void* m) { return p.LiveEffectGetInputType(m); }},
    {"AI Live Effect", "AI Live Effect Scale Parameters",
     [](Plugin& p, void* m) { return p.LiveEffectScaleParameters(m); }},
    {"AI Live Effect", "AI Live Effect Convert Color Space",
     [](Plugin& p, void* m) { return p.LiveEffectConvertColorSpace(m); }},
    {"AI Live Effect", "AI Live Effect Adjust Colors",
     [](Plugin& p, void* m) { return p.LiveEffectAdjustColors(m); }},
    {"AI Live Effect", "AI Live Effect Handle Merge",
     [](Plugin& p, void* m) { return p.LiveEffectHandleMerge(m); }},
    {kCallerAITimer, kSelectorAIGoTimer, [](Plugin& p, void* m) { return p.GoTimer(as<AITimerMessage>(m)); }},
    {"AI Clipboard", "AI Go", [](Plugin& p, void* m) { return p.GoClipboard(m); }},
    {"AI Clipboard", "AI Can Copy", [](Plugin& p, void* m) { return p.CanCopyClipboard(m); }},
    {"AI Clipboard", "AI Clone", [](Plugin& p, void* m) { return p.CloneClipboard(m); }},
    {"AI Clipboard", "AI Dispose", [](Plugin& p, void* m) { return p.DisposeClipboard(m); }},
    {"Workspace Manager", "Write Workspace", [](Plugin& p, void* m) { return p.WorkspaceWrite(m); }},
    {"Workspace Manager", "Restore Workspace", [](Plugin& p, void* m) { return p.WorkspaceRestore(m); }},
    {"Workspace Manager", "Default Workspace", [](Plugin& p, void* m) { return p.WorkspaceDefault(m); }},
};

bool same(const char* a, const char* b) {
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

}  // namespace

Plugin::Plugin(SPPluginRef pluginRef) : fPluginRef(pluginRef) {
    SetPluginName("Plugin");
}

Plugin::Plugin(Plugin&& other) noexcept
    : fPluginRef(other.fPluginRef),
      fSuites(std::exchange(other.fSuites, nullptr)),
      fLockCount(std::exchange(other.fLockCount, 0)),
      fPluginAccess(std::exchange(other.fPluginAccess, nullptr)),
      fLastError(other.fLastError),
      fLastErrorTime(other.fLastErrorTime),
      fErrorTimeout(other.fErrorTimeout),
      fSuppressDuplicateErrors(other.fSuppressDuplicateErrors),
      fApplicationStartedNotifier(other.fApplicationStartedNotifier),
      fApplicationShutdownNotifier(other.fApplicationShutdownNotifier) {
    SetPluginName(other.fPluginName);
}

Plugin::~Plugin() {
    // Shut-down keeps the holder; deleting the object is what gives the suites back.
    delete fSuites;
}

void Plugin::SetPluginName(const char* name) {
    std::snprintf(fPluginName, sizeof fPluginName, "%s", name);
}

void Plugin::DefaultError(SPPluginRef, ASErr error) {
    VN_LOG_DEBUG("plug-in error " << int(error));
}

void Plugin::ReportError(ASErr error, char*, char*, void*) {
    const time_t now = ::time(nullptr);
    if (error == fLastError && fSuppressDuplicateErrors && now < fLastErrorTime + fErrorTimeout) return;
    fLastError = error;
    fLastErrorTime = now;
    DefaultError(fPluginRef, error);
}

ASErr Plugin::LockPlugin(ASBoolean lock) {
    ASErr error = kNoErr;
    if (lock) {
        if (fLockCount++ == 0 && sSPAccess != nullptr)
            error = sSPAccess->AcquirePlugin(fPluginRef, &fPluginAccess);
    } else {
        if (fLockCount == 1 && sSPAccess != nullptr && fPluginAccess != nullptr) {
            error = sSPAccess->ReleasePlugin(fPluginAccess);
            fPluginAccess = nullptr;
        }
        if (--fLockCount < 0) fLockCount = 0;
    }
    return error;
}

ASErr Plugin::StartupPlugin(SPInterfaceMessage*) {
    SetGlobal(this);
    fSuites = new (std::nothrow) Suites;
    if (fSuites == nullptr) return kOutOfMemoryErr;
    ASErr error = fSuites->Error();
    if (error != kNoErr) {
        delete fSuites;
        fSuites = nullptr;
        return error;
    }
    error = sSPPlugins->SetPluginName(fPluginRef, fPluginName);
    if (error == kNoErr) {
        const ustring name = ustring::format("%s App Started Notifier", fPluginName);
        error = sAINotifier->AddNotifier(fPluginRef, name.c_str(), kAIApplicationStartedNotifier,
                                         &fApplicationStartedNotifier);
    }
    if (error == kNoErr) {
        const ustring name = ustring::format("%s Application Shutdown Notifier", fPluginName);
        error = sAINotifier->AddNotifier(fPluginRef, name.c_str(), kAIApplicationShutdownNotifier,
                                         &fApplicationShutdownNotifier);
    }
    if (error == kNoErr) error = AllocateSuiteTables();
    if (error == kNoErr) error = FillSuiteTables();
    if (error == kNoErr && fLockCount == 0) {
        error = sSPAccess->AcquirePlugin(fPluginRef, &fPluginAccess);
        fLockCount = 1;
    }
    return error;
}

ASErr Plugin::PostStartupPlugin() {
    return kNoErr;
}
ASErr Plugin::PreShutdownPlugin() {
    return kNoErr;
}
ASErr Plugin::ShutdownPlugin(SPInterfaceMessage*) {
    return kUnhandledMsgErr;
}

ASErr Plugin::UnloadPlugin(SPInterfaceMessage*) {
    EmptySuiteTables();
    SetGlobal(nullptr);
    delete fSuites;
    fSuites = nullptr;
    return kNoErr;
}

ASErr Plugin::ReloadPlugin(SPInterfaceMessage*) {
    SetGlobal(this);
    if (fSuites == nullptr) fSuites = new (std::nothrow) Suites;
    if (fSuites == nullptr) return kOutOfMemoryErr;
    const ASErr error = fSuites->Error();
    if (error != kNoErr) {
        delete fSuites;
        fSuites = nullptr;
        return error;
    }
    Suites::InitializeRefCount();
    return FillSuiteTables();
}

ASErr Plugin::AcquireProperty(SPPropertiesMessage*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::ReleaseProperty(SPPropertiesMessage*) {
    return kUnhandledMsgErr;
}
const char* Plugin::GetPluginName() const {
    return fPluginName;
}
ASBoolean Plugin::Purge() {
    return false;
}

ASErr Plugin::Message(char* caller, char* selector, void* message) {
    ASErr error = AcquireOptionalSuites();
    if (error != kNoErr) return error;
    if (same(caller, kCallerAINotifier))
        return HandleNotifier(selector, static_cast<AINotifierMessage*>(message));
    for (const Route& route : kRoutes)
        if (same(caller, route.caller) && same(selector, route.selector))
            return route.handler(*this, message);
    return kUnhandledMsgErr;
}

ASErr Plugin::HandleNotifier(const char* selector, AINotifierMessage* message) {
    AppContext context(fPluginRef);
    ASErr error = kNoErr;
    if (message->notifier != nullptr && message->notifier == fApplicationStartedNotifier)
        error = PostStartupPlugin();
    else if (message->notifier != nullptr && message->notifier == fApplicationShutdownNotifier)
        error = PreShutdownPlugin();
    if (error != kNoErr && error != kUnhandledMsgErr) return error;
    if (same(selector, kSelectorAINotify)) error = Notify(message);
    return error;
}

ASErr Plugin::SetGlobal(Plugin*) {
    return kNoErr;
}
ASErr Plugin::AllocateSuiteTables() {
    return kNoErr;
}
ASErr Plugin::FillSuiteTables() {
    return kNoErr;
}
ASErr Plugin::EmptySuiteTables() {
    return kNoErr;
}
ASErr Plugin::AcquireOptionalSuites() {
    return fSuites != nullptr ? fSuites->acquire_Optional_Suites() : kNoErr;
}

ASErr Plugin::Notify(AINotifierMessage*) {
    return kNoErr;
}
ASErr Plugin::GoAction(void*) {
    return kNoErr;
}
ASErr Plugin::GoMenuItem(AIMenuMessage*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::UpdateMenuItem(AIMenuMessage*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::GetFilterParameters(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::GoFilter(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::PluginGroupNotify(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::PluginGroupUpdate(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::GetFileFormatParameters(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::GoFileFormat(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::CheckFileFormat(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::FileFormatUpdate(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::SetFileFormatParameters(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::EditTool(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::TrackToolCursor(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::ToolMouseDown(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::ToolMouseDrag(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::ToolMouseUp(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::SelectTool(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::DeselectTool(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::ReselectTool(void*) {
    return kNoErr;
}
ASErr Plugin::DecreaseDiameter(void*) {
    return kNoErr;
}
ASErr Plugin::IncreaseDiameter(void*) {
    return kNoErr;
}
ASErr Plugin::EditLiveEffectParameters(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::GoLiveEffect(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::LiveEffectInterpolate(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::LiveEffectGetInputType(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::LiveEffectConvertColorSpace(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::LiveEffectScaleParameters(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::LiveEffectAdjustColors(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::LiveEffectHandleMerge(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::GoTimer(AITimerMessage*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::GoClipboard(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::CanCopyClipboard(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::CloneClipboard(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::DisposeClipboard(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::WorkspaceWrite(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::WorkspaceRestore(void*) {
    return kUnhandledMsgErr;
}
ASErr Plugin::WorkspaceDefault(void*) {
    return kUnhandledMsgErr;
}
