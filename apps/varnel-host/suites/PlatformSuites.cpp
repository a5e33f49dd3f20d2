// The application-level suites: access, plug-in names, memory blocks, notifiers, contexts,
// the user suite, folders, the runtime and timers.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "SuiteSupport.h"

namespace vhost {
namespace {

void requirePlugin(SPPluginRef plugin) {
    if (plugin == nullptr || plugin != host().pluginRef)
        throw HostError(kBadParameterErr, "not a plug-in of this host");
}

// --- SP Access ---

SPErr AcquirePlugin(SPPluginRef plugin, SPAccessRef* access) {
    SuiteCall call(kSPAccessSuite, "AcquirePlugin", plugin);
    return call.run([&] {
        requirePlugin(plugin);
        require(access);
        const uint64_t id = newId();
        host().accessRefs.insert(id);
        *access = toHandle<SPAccessRef>(id);
        call.output(*access);
    });
}

SPErr ReleasePlugin(SPAccessRef access) {
    SuiteCall call(kSPAccessSuite, "ReleasePlugin", access);
    return call.run([&] {
        if (host().accessRefs.erase(idOf(access)) == 0)
            throw HostError(kBadParameterErr, "not an access reference");
    });
}

// --- SP Plug-ins ---

SPErr SetPluginName(SPPluginRef plugin, const char* name) {
    SuiteCall call(kSPPluginsSuite, "SetPluginName", plugin, name);
    return call.run([&] {
        requirePlugin(plugin);
        if (name == nullptr) throw HostError(kBadParameterErr, "no name");
        host().pluginName = name;
    });
}

SPErr GetPluginName(SPPluginRef plugin, const char** name) {
    SuiteCall call(kSPPluginsSuite, "GetPluginName", plugin);
    return call.run([&] {
        requirePlugin(plugin);
        require(name);
        *name = host().pluginName.c_str();
        call.output(*name);
    });
}

// --- SP Blocks ---

SPErr AllocateBlock(size_t size, const char* debug, void** block) {
    SuiteCall call(kSPBlocksSuite, "AllocateBlock", size, debug);
    return call.run([&] {
        require(block);
        *block = std::malloc(size == 0 ? 1 : size);
        if (*block == nullptr) throw HostError(kOutOfMemoryErr, "out of memory");
        host().blocks.insert(*block);
    });
}

SPErr FreeBlock(void* block) {
    SuiteCall call(kSPBlocksSuite, "FreeBlock");
    return call.run([&] {
        if (host().blocks.erase(block) == 0) throw HostError(kBadParameterErr, "not a block of this host");
        std::free(block);
    });
}

// --- Notifiers, contexts, user ---

AIErr AddNotifier(SPPluginRef self, const char* name, const char* type, AINotifierHandle* notifier) {
    SuiteCall call(kAINotifierSuite, "AddNotifier", self, name, type);
    return call.run([&] {
        requirePlugin(self);
        require(notifier);
        if (name == nullptr || type == nullptr)
            throw HostError(kBadParameterErr, "a notifier has a name and a type");
        const uint64_t id = newId();
        host().notifiers.push_back({id, name, type});
        *notifier = toHandle<AINotifierHandle>(id);
        call.output(*notifier);
    });
}

AIErr PushAppContext(SPPluginRef plugin, AIAppContextHandle* context) {
    SuiteCall call(kAIAppContextSuite, "PushAppContext", plugin);
    return call.run([&] {
        requirePlugin(plugin);
        require(context);
        const uint64_t id = newId();
        host().contexts.push_back(id);
        *context = toHandle<AIAppContextHandle>(id);
        call.output(*context);
    });
}

AIErr PopAppContext(AIAppContextHandle context) {
    SuiteCall call(kAIAppContextSuite, "PopAppContext", context);
    return call.run([&] {
        auto& stack = host().contexts;
        if (stack.empty() || stack.back() != idOf(context))
            throw HostError(kBadParameterErr, "not the innermost context");
        stack.pop_back();
    });
}

AIErr AppIdle() {
    SuiteCall call(kAIUserSuite, "AppIdle");
    return call.run([] {});
}

// --- Folders and runtime ---

// $XDG_CONFIG_HOME/varnel-host (else ~/.config/varnel-host), made when missing.
AIErr FindPreferencesFolder(AIFilePathRef* folder) {
    SuiteCall call(kAIFoldersSuite, "FindPreferencesFolder");
    return call.run([&] {
        require(folder);
        std::string base;
        if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/')
            base = config;
        else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
            base = std::string(home) + "/.config";
        else
            throw HostError(kCantOpenFileErr, "neither XDG_CONFIG_HOME nor HOME is set");
        const std::string path = base + "/varnel-host";
        std::error_code error;
        std::filesystem::create_directories(path, error);
        if (error) throw HostError(kCantOpenFileErr, path + ": " + error.message());
        const uint64_t id = newId();
        host().paths[id] = {path, ""};
        *folder = toHandle<AIFilePathRef>(id);
        call.output(path);
    });
}

AIErr GetAppMajorVersion(ai::int32* major) {
    SuiteCall call(kAIRuntimeSuite, "GetAppMajorVersion");
    return call.run([&] {
        require(major);
        *major = host().majorVersion;
        call.output(*major);
    });
}

// --- Timers ---

AIErr AddTimer(SPPluginRef self, const char* name, ai::int32 period, AITimerHandle* timer) {
    SuiteCall call(kAITimerSuite, "AddTimer", self, name, period);
    return call.run([&] {
        requirePlugin(self);
        require(timer);
        if (name == nullptr || period <= 0)
            throw HostError(kBadParameterErr, "a timer has a name and a positive period");
        const uint64_t id = newId();
        // Timers start active, as the host's do; SetTimerActive pauses and resumes them.
        host().timers.push_back({id, name, period, true, Clock::now() + ticks(period)});
        *timer = toHandle<AITimerHandle>(id);
        call.output(*timer);
    });
}

AIErr SetTimerActive(AITimerHandle handle, AIBoolean active) {
    SuiteCall call(kAITimerSuite, "SetTimerActive", handle, active);
    return call.run([&] {
        for (Timer& t : host().timers) {
            if (t.id != idOf(handle)) continue;
            if (active && !t.active) t.due = Clock::now() + ticks(t.period);
            t.active = active != 0;
            return;
        }
        throw HostError(kBadParameterErr, "no such timer");
    });
}

const SPAccessSuite kAccess = {AcquirePlugin, ReleasePlugin};
const SPPluginsSuite kPlugins = {SetPluginName, GetPluginName};
const SPBlocksSuite kBlocks = {AllocateBlock, FreeBlock};
const AINotifierSuite kNotifier = {AddNotifier};
const AIAppContextSuite kAppContext = {PushAppContext, PopAppContext};
const AIUserSuite kUser = {AppIdle};
const AIFoldersSuite kFolders = {FindPreferencesFolder};
const AIRuntimeSuite kRuntime = {GetAppMajorVersion};
const AITimerSuite kTimer = {AddTimer, SetTimerActive};

}  // namespace

void addPlatformSuites(SuiteTable& table) {
    table.add(kSPAccessSuite, kSPAccessSuiteVersion, &kAccess);
    table.add(kSPPluginsSuite, kSPPluginsSuiteVersion, &kPlugins);
    table.add(kSPBlocksSuite, kSPBlocksSuiteVersion, &kBlocks);
    table.add(kAINotifierSuite, kAINotifierSuiteVersion, &kNotifier);
    table.add(kAIAppContextSuite, kAIAppContextSuiteVersion, &kAppContext);
    table.add(kAIUserSuite, kAIUserSuiteVersion, &kUser);
    table.add(kAIFoldersSuite, kAIFoldersSuiteVersion, &kFolders);
    table.add(kAIRuntimeSuite, kAIRuntimeSuiteVersion, &kRuntime);
    table.add(kAITimerSuite, kAITimerSuiteVersion, &kTimer);
}

}  // namespace vhost
