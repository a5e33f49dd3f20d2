// Handlers and their dispatch from the host's main loop.
#include "os/EventLoop.h"

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "os/EventEndpoint.h"
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
        vnplatform::LogBurst("events without a handler", "dropped event " + name + ": no handler");
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

namespace {

// A flood must not keep the host's loop here: after this many messages it gets its turn. No
// more than the endpoint keeps waiting, so that a call never fills the queue of waiting events
// and an event from the companion is never refused for the flood's sake.
constexpr int kMostMessagesPerCall = int(vnplatform::kMostArrivedEvents);
// Waits between attempts to reconnect: short at first, so a connection lost to a flood is back
// soon after it ends; capped, so a bus that is gone costs little.
constexpr uint64_t kFirstBackoffUsec = 50'000;
constexpr uint64_t kLastBackoffUsec = 1'000'000;

void LoseConnection(vnplatform::PlatformState& state, int error) {
    LogLine(std::string("lost the session bus connection (") + std::strerror(-error) + "): reconnecting");
    state.bus.reset();
    state.backoffUsec = kFirstBackoffUsec;
    state.reconnectAtUsec = vnplatform::NowUsec() + state.backoffUsec;
}

// Quiet about failed attempts: the loss was said once, and so is the return.
void TryReconnect(vnplatform::PlatformState& state) {
    if (vnplatform::NowUsec() < state.reconnectAtUsec) return;
    if (vnplatform::Connect(state) == noErr) {
        LogLine("the session bus connection is back");
        return;
    }
    state.backoffUsec = std::min(state.backoffUsec * 2, kLastBackoffUsec);
    state.reconnectAtUsec = vnplatform::NowUsec() + state.backoffUsec;
}

}  // namespace

VNPollSpec VNEventPollSpec() {
    VNPollSpec spec;
    const auto& state = State();
    if (state.bundleId.empty()) return spec;
    // Due: the bus's own deadline, or the next attempt to reconnect; a burst of notes going quiet.
    uint64_t deadline = UINT64_MAX;
    if (sd_bus* bus = state.bus.get()) {
        spec.fd = sd_bus_get_fd(bus);
        const int events = sd_bus_get_events(bus);
        spec.events = static_cast<short>(events > 0 ? events : 0);
        if (sd_bus_get_timeout(bus, &deadline) < 0) deadline = UINT64_MAX;
    } else {
        deadline = state.reconnectAtUsec;
    }
    if (const uint64_t quiet = vnplatform::NextQuietUsec(); quiet != 0) deadline = std::min(deadline, quiet);
    if (deadline != UINT64_MAX) {
        const uint64_t now = vnplatform::NowUsec();
        spec.timeoutUsec = deadline > now ? int64_t(deadline - now) : 0;
    }
    return spec;
}

int VNProcessEvents() {
    auto& state = State();
    if (state.bundleId.empty()) return -ENOTCONN;
    vnplatform::EndQuietBursts();
    if (!state.bus) TryReconnect(state);
    for (int i = 0; state.bus && i < kMostMessagesPerCall; ++i) {
        const int r = sd_bus_process(state.bus.get(), nullptr);
        if (r < 0) LoseConnection(state, r);
        if (r <= 0) break;
    }
    // Taken out first, so a handler that itself calls VNProcessEvents finds a fresh queue.
    Batch batch;
    batch.events.swap(state.arrived);
    state.arrivedBytes = 0;
    int handled = 0;
    for (const AppleEvent& event : batch.events) handled += Dispatch(event);
    return handled;
}
