#include <cstdlib>

#include "HostCore.h"
#include "os/Bundles.h"
#include "os/Processes.h"

namespace vhost {

namespace {
constexpr const char* kHostBundleId = "com.corvane.VarnelHost";
}

HostCore::HostCore(HostOptions o) : options(std::move(o)), state(*options.log, options.trace) {
    state.majorVersion = options.majorVersion;
    for (const std::string& name : options.withoutSuites) state.suites.withhold(name);
    state.pluginRef = toHandle<SPPluginRef>(newId());
    // A module that cannot be loaded is the one thing said.
    if (options.pluginMain != nullptr)
        link.emplace(options.pluginMain);
    else if (!options.pluginPath.empty())
        link.emplace(options.pluginPath);
    if (!options.bundlePath.empty()) VNSetMainBundlePath(options.bundlePath);
    if (options.useBus) joinBus();
    if (link) startPlugin();
}

void HostCore::joinBus() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address == nullptr || address[0] == '\0') {
        state.note("no session bus (DBUS_SESSION_BUS_ADDRESS is not set): running without events");
        return;
    }
    const OSErr err = VNRegisterProcess(kHostBundleId, options.bundlePath);
    // paramErr: this process registered already, for an earlier host.
    if (err != noErr && err != paramErr) {
        state.note("could not register on the session bus (status " + std::to_string(err) +
                   "): running without events");
        return;
    }
    busOn = true;
    state.note(std::string("registered on the session bus as ") + kHostBundleId);
}

void HostCore::startPlugin() {
    SPInterfaceMessage message{};
    const SPErr result = send(kSPInterfaceCaller, kSPInterfaceStartupSelector, message);
    const std::string what = link->path().empty() ? "the plug-in" : "the plug-in " + link->path();
    if (result != kNoErr) {
        state.note(what + " did not start (result " + resultText(result) + "): unloading it");
        link.reset();
        return;
    }
    started = true;
    state.note("started " + what + (state.pluginName.empty() ? "" : " (\"" + state.pluginName + "\")"));
    notify(kAIApplicationStartedNotifier);
}

void HostCore::notify(const char* type) {
    const std::vector<Notifier> notifiers = state.notifiers;
    for (const Notifier& n : notifiers) {
        if (n.type != type || !reachable()) continue;
        AINotifierMessage message{};
        message.notifier = toHandle<AINotifierHandle>(n.id);
        message.type = type;
        send(kCallerAINotifier, kSelectorAINotify, message);
    }
}

SPErr HostCore::sendMenu(const char* selector, const MenuItem& item) {
    AIMenuMessage message{};
    message.menuItem = toHandle<AIMenuItemHandle>(item.id);
    return send(kCallerAIMenu, selector, message);
}

SPErr HostCore::sendTimer(uint64_t timer) {
    AITimerMessage message{};
    message.timer = toHandle<AITimerHandle>(timer);
    ++timerMessages;
    return send(kCallerAITimer, kSelectorAIGoTimer, message);
}

std::string HostCore::unload() {
    if (!link || !started) throw CommandError("no plug-in is running");
    if (unloaded) throw CommandError("the plug-in is unloaded already");
    SPAccessMessage message{};
    const SPErr result = send(kSPAccessCaller, kSPAccessUnloadSelector, message);
    unloaded = true;
    std::string answer = "sent \"SP Access\"/\"Unload\" (result " + resultText(result) + ")";
    // A host keeps a plug-in that holds an access reference in memory; any other leaves.
    if (!state.accessRefs.empty()) {
        answer += "; the module stays in memory: the plug-in holds " +
                  std::to_string(state.accessRefs.size()) + " access reference(s)";
    } else if (!link->path().empty()) {
        link->unmap();
        answer += "; the module left memory";
    }
    return answer + "\n";
}

std::string HostCore::reload() {
    if (!link || !started) throw CommandError("no plug-in is running");
    if (!unloaded) throw CommandError("the plug-in is not unloaded");
    const bool wasMapped = link->mapped();
    try {
        link->map();
    } catch (const std::exception& e) {
        throw CommandError(e.what());
    }
    SPAccessMessage message{};
    const SPErr result = send(kSPAccessCaller, kSPAccessReloadSelector, message);
    unloaded = false;
    return std::string(wasMapped ? "" : "loaded the module again; ") +
           "sent \"SP Access\"/\"Reload\" (result " + resultText(result) + ")\n";
}

std::vector<std::string> HostCore::shutDown() {
    if (shutDownDone) return {};
    shutDownDone = true;
    if (link && started) {
        // The plug-in needs its code back to shut down.
        if (unloaded) {
            state.note("reloading the plug-in to shut it down");
            try {
                reload();
            } catch (const std::exception& e) {
                state.note(e.what());
            }
        }
        if (reachable()) {
            notify(kAIApplicationShutdownNotifier);
            SPInterfaceMessage message{};
            const SPErr result = send(kSPInterfaceCaller, kSPInterfaceShutdownSelector, message);
            state.note("shut the plug-in down (result " + resultText(result) + ")");
        }
        started = false;
    }
    if (link) {
        link.reset();
        state.note("unloaded the plug-in");
    }
    for (const std::string& leak : state.leaks()) state.note("the plug-in did not give back " + leak);
    return state.suites.imbalances();
}

Host::Host(HostOptions options) : core_(std::make_unique<HostCore>(std::move(options))) {}

Host::~Host() {
    for (const std::string& line : core_->shutDown()) core_->state.note(line);
}

std::string Host::execute(const std::string& line) {
    return core_->execute(line);
}

bool Host::quitRequested() const {
    return core_->quit;
}

void Host::waitForInput(int fd) {
    core_->loop(
        Clock::time_point::max(), [this] { return core_->quit; }, fd);
}

std::vector<std::string> Host::shutDown() {
    return core_->shutDown();
}

}  // namespace vhost
