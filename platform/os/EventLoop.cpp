// Handlers and their dispatch from the host's main loop.
#include "os/EventLoop.h"

#include <time.h>

#include <cerrno>
#include <exception>
#include <string>
#include <vector>

#include "os/PlatformLog.h"
#include "os/PlatformState.h"

using vnplatform::FourCharText;
using vnplatform::LogLine;
using vnplatform::State;

namespace {

// Events taken from the queue, disposed of however their dispatch ends.
struct Batch {
    std::vector<AppleEvent> events;
    ~Batch() {
        for (AppleEvent& event : events) AEDisposeDesc(&event);
    }
};

// True when a handler took the event. A handler's failure stays here: the host goes on.
bool Dispatch(const AppleEvent& event) {
    AEEventClass eventClass = 0;
    AEEventID eventId = 0;
    AEGetEventClassAndID(&event, &eventClass, &eventId);
    const std::string name = FourCharText(eventClass) + "/" + FourCharText(eventId);
    const auto& handlers = State().handlers;
    const auto found = handlers.find({eventClass, eventId});
    if (found == handlers.end()) {
        LogLine("dropped event " + name + ": no handler");
        return false;
    }
    const vnplatform::HandlerEntry entry = found->second;
    AppleEvent reply;
    try {
        entry.routine(&event, &reply, entry.refcon);
    } catch (const std::exception& e) {
        LogLine("handler of event " + name + " failed: " + e.what());
    } catch (...) {
        LogLine("handler of event " + name + " failed");
    }
    AEDisposeDesc(&reply);
    return true;
}

}  // namespace

OSErr AEInstallEventHandler(AEEventClass eventClass, AEEventID eventId, AEEventHandlerUPP handler,
                            SRefCon refcon, Boolean isSystem) {
    if (handler == nullptr || isSystem) return paramErr;
    State().handlers[{eventClass, eventId}] = vnplatform::HandlerEntry{handler, refcon};
    return noErr;
}

VNPollSpec VNEventPollSpec() {
    VNPollSpec spec;
    sd_bus* bus = State().bus.get();
    if (bus == nullptr) return spec;
    spec.fd = sd_bus_get_fd(bus);
    const int events = sd_bus_get_events(bus);
    spec.events = static_cast<short>(events > 0 ? events : 0);
    uint64_t deadline = UINT64_MAX;
    if (sd_bus_get_timeout(bus, &deadline) >= 0 && deadline != UINT64_MAX) {
        timespec now;
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const uint64_t nowUsec = uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u;
        spec.timeoutUsec = deadline > nowUsec ? int64_t(deadline - nowUsec) : 0;
    }
    return spec;
}

int VNProcessEvents() {
    auto& state = State();
    if (!state.bus) return -ENOTCONN;
    for (;;) {
        const int r = sd_bus_process(state.bus.get(), nullptr);
        if (r < 0) return r;
        if (r == 0) break;
    }
    // Taken out first, so a handler that itself calls VNProcessEvents finds a fresh queue.
    Batch batch;
    batch.events.swap(state.arrived);
    int handled = 0;
    for (const AppleEvent& event : batch.events) handled += Dispatch(event);
    return handled;
}
