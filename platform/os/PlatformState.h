// The one process-wide state of the platform: the bus connection, what the process registered
// as, its installed handlers and the events waiting for VNProcessEvents. Main thread only, as
// every caller of these services runs on its host's main thread.
#pragma once

#include <sys/types.h>
#include <time.h>

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "os/AppleEvents.h"
#include "os/SdBus.h"

namespace vnplatform {

struct HandlerEntry {
    AEEventHandlerUPP routine;
    SRefCon refcon;
};

// Who a connection is, asked of the bus once per connection: unique names are never reused.
struct SenderIdentity {
    bool sameUser = false;
    pid_t pid = 0;  // 0 when the bus could not tell
};

struct PlatformState {
    PlatformState() = default;
    PlatformState(const PlatformState&) = delete;
    PlatformState& operator=(const PlatformState&) = delete;
    ~PlatformState();

    BusPtr bus;  // null until VNRegisterProcess succeeded, and while the connection is down
    std::string bundleId;  // set once registered; the connection is made again with it when lost
    std::string bundlePath;
    unsigned activations = 0;
    std::map<std::pair<AEEventClass, AEEventID>, HandlerEntry> handlers;
    std::vector<AppleEvent> arrived;  // accepted by the endpoint, owned until dispatched
    size_t arrivedBytes = 0;          // their parameters' bytes together

    // Reconnecting after the connection failed: when to try next, and how long to wait after that.
    uint64_t reconnectAtUsec = 0;
    uint64_t backoffUsec = 0;

    std::unordered_map<std::string, SenderIdentity> senders;
    // Owners of the names asked about with VNIsNameOwner ("" while a name has none), kept by the
    // bus's NameOwnerChanged signals through `match`.
    struct Followed {
        std::string owner;
        SlotPtr match;
    };
    std::map<std::string, Followed> owners;
};

// CLOCK_MONOTONIC in microseconds, the clock of sd-bus's timeouts.
inline uint64_t NowUsec() {
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u;
}

PlatformState& State();

// The owner of `name` as last told by the bus, for a name VNIsNameOwner follows; false for a
// name it does not follow.
bool FollowedOwner(const std::string& name, std::string* owner);

// Opens the connection for the registered state.bundleId: its names and objects. noErr, or the
// status VNRegisterProcess reports.
OSErr Connect(PlatformState& state);

}  // namespace vnplatform
