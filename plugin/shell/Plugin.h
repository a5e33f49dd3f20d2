// The host's plug-in protocol as one object: PluginMain hands every message to Plugin::Message,
// which calls the virtual operation for its caller and selector.
#pragma once

#include <ctime>

#include "sdk/SPMessages.h"
#include "shell/Suites.h"

typedef AIErr ASErr;
typedef AIBoolean ASBoolean;

class Plugin {
public:
    explicit Plugin(SPPluginRef pluginRef);
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;
    virtual ~Plugin();

    virtual void ReportError(ASErr error, char* caller, char* selector, void* message);
    virtual ASErr LockPlugin(ASBoolean lock);

    virtual ASErr StartupPlugin(SPInterfaceMessage* message);
    virtual ASErr PostStartupPlugin();
    virtual ASErr PreShutdownPlugin();
    virtual ASErr ShutdownPlugin(SPInterfaceMessage* message);
    virtual ASErr UnloadPlugin(SPInterfaceMessage* message);
    virtual ASErr ReloadPlugin(SPInterfaceMessage* message);
    virtual ASErr AcquireProperty(SPPropertiesMessage* message);
    virtual ASErr ReleaseProperty(SPPropertiesMessage* message);
    virtual const char* GetPluginName() const;
    // True when memory was given back; the plug-in keeps nothing it could give.
    virtual ASBoolean Purge();

    virtual ASErr Message(char* caller, char* selector, void* message);
    virtual ASErr SetGlobal(Plugin* plugin);
    virtual ASErr AllocateSuiteTables();
    virtual ASErr FillSuiteTables();
    virtual ASErr EmptySuiteTables();
    virtual ASErr AcquireOptionalSuites();

    // Message blocks the SDK headers do not describe arrive as void*: the plug-in handles none.
    virtual ASErr Notify(AINotifierMessage* message);
    virtual ASErr GoAction(void* message);
    virtual ASErr GoMenuItem(AIMenuMessage* message);
    virtual ASErr UpdateMenuItem(AIMenuMessage* message);
    virtual ASErr GetFilterParameters(void* message);
    virtual ASErr GoFilter(void* message);
    virtual ASErr PluginGroupNotify(void* message);
    virtual ASErr PluginGroupUpdate(void* message);
    virtual ASErr GetFileFormatParameters(void* message);
    virtual ASErr GoFileFormat(void* message);
    virtual ASErr CheckFileFormat(void* message);
    virtual ASErr FileFormatUpdate(void* message);
    virtual ASErr SetFileFormatParameters(void* message);
    virtual ASErr EditTool(void* message);
    virtual ASErr TrackToolCursor(void* message);
    virtual ASErr ToolMouseDown(void* message);
    virtual ASErr ToolMouseDrag(void* message);
    virtual ASErr ToolMouseUp(void* message);
    virtual ASErr SelectTool(void* message);
    virtual ASErr DeselectTool(void* message);
    virtual ASErr ReselectTool(void* message);
    virtual ASErr DecreaseDiameter(void* message);
    virtual ASErr IncreaseDiameter(void* message);
    virtual ASErr EditLiveEffectParameters(void* message);
    virtual ASErr GoLiveEffect(void* message);
    virtual ASErr LiveEffectInterpolate(void* message);
    virtual ASErr LiveEffectGetInputType(void* message);
    virtual ASErr LiveEffectConvertColorSpace(void* message);
    virtual ASErr LiveEffectScaleParameters(void* message);
    virtual ASErr LiveEffectAdjustColors(void* message);
    virtual ASErr LiveEffectHandleMerge(void* message);
    virtual ASErr GoTimer(AITimerMessage* message);
    virtual ASErr GoClipboard(void* message);
    virtual ASErr CanCopyClipboard(void* message);
    virtual ASErr CloneClipboard(void* message);
    virtual ASErr DisposeClipboard(void* message);
    virtual ASErr WorkspaceWrite(void* message);
    virtual ASErr WorkspaceRestore(void* message);
    virtual ASErr WorkspaceDefault(void* message);

    SPPluginRef GetPluginRef() const { return fPluginRef; }
    bool HasSuites() const { return fSuites != nullptr; }

    // Shows nothing: the code only goes back to the host (and into the log).
    static void DefaultError(SPPluginRef pluginRef, ASErr error);

protected:
    // Takes over another object's state, for rebuilding an object whose code was reloaded;
    // `other` is left without suites or access reference.
    Plugin(Plugin&& other) noexcept;
    void SetPluginName(const char* name);
    ASErr HandleNotifier(const char* selector, AINotifierMessage* message);

    SPPluginRef fPluginRef;
    char fPluginName[256];
    Suites* fSuites = nullptr;
    ai::int32 fLockCount = 0;
    SPAccessRef fPluginAccess = nullptr;
    ASErr fLastError = kNoErr;
    time_t fLastErrorTime = 0;
    ai::int32 fErrorTimeout = 5;
    ASBoolean fSuppressDuplicateErrors = true;
    AINotifierHandle fApplicationStartedNotifier = nullptr;
    AINotifierHandle fApplicationShutdownNotifier = nullptr;
};

// Made by the plug-in: the one object of its own class for the host's reference.
Plugin* AllocatePlugin(SPPluginRef pluginRef);
// Repairs an object that outlived an unload of the code that made it, before "Reload" reaches it.
void FixupReload(Plugin* plugin);
