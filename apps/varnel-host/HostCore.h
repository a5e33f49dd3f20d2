// Behind vhost::Host: the state, the plug-in link, messages, the main loop and the commands.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Host.h"
#include "HostState.h"
#include "PluginLink.h"

namespace vhost {

class HostCore {
public:
    explicit HostCore(HostOptions options);

    // --- the plug-in (Host.cpp) ---
    void joinBus();
    void startPlugin();
    // Whether messages can reach the plug-in: started, and its code in memory.
    bool reachable() const { return link && started && link->mapped(); }
    // Fills the header, calls PluginMain, keeps the globals, traces; returns the result.
    template <class Message>
    SPErr send(const char* caller, const char* selector, Message& message);
    void notify(const char* type);
    SPErr sendMenu(const char* selector, const MenuItem& item);
    SPErr sendTimer(uint64_t timer);
    std::string unload();
    std::string reload();
    std::vector<std::string> shutDown();

    // --- the main loop (MainLoop.cpp) ---
    enum class Wake { Done, Input, Deadline };
    // Handles bus events and fires due timers until `done` holds, `inputFd` (when >= 0) is
    // readable, or the deadline passes.
    Wake loop(Clock::time_point deadline, const std::function<bool()>& done, int inputFd = -1);
    // Sends timer messages for every active timer that is due; returns how many were sent.
    int fireDueTimers();

    // --- commands (Commands.cpp) ---
    std::string execute(const std::string& line);

    HostOptions options;
    HostState state;
    std::optional<PluginLink> link;
    void* globals = nullptr;  // the plug-in's globals slot, kept across messages
    bool started = false;     // between a successful "Startup" and "Shutdown"
    bool unloaded = false;    // between "Unload" and "Reload"
    bool busOn = false;
    bool quit = false;
    bool shutDownDone = false;
    int eventsHandled = 0;
    int timerMessages = 0;
};

template <class Message>
SPErr HostCore::send(const char* caller, const char* selector, Message& message) {
    message.d.SPCheck = kSPValidSPMessageData;
    message.d.self = state.pluginRef;
    message.d.globals = globals;
    message.d.basic = state.suites.basic();
    ++state.tracer.depth;
    SPErr result = kCantHappenErr;
    try {
        result = link->call(caller, selector, &message);
    } catch (...) {
        state.note(std::string("the plug-in let an exception out of \"") + caller + "\"/\"" + selector +
                   "\"");
    }
    --state.tracer.depth;
    globals = message.d.globals;
    state.tracer.line(std::string("message \"") + caller + "\"/\"" + selector + "\" -> " +
                      resultText(result));
    return result;
}

}  // namespace vhost
