// The one process-wide state of the platform: the bus connection, what the process registered
// as, its installed handlers and the events waiting for VNProcessEvents. Main thread only, as
// every caller of these services runs on its host's main thread.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "os/AppleEvents.h"
#include "os/SdBus.h"

namespace vnplatform {

struct HandlerEntry {
    AEEventHandlerUPP routine;
    SRefCon refcon;
};

struct PlatformState {
    PlatformState() = default;
    PlatformState(const PlatformState&) = delete;
    PlatformState& operator=(const PlatformState&) = delete;
    ~PlatformState();

    BusPtr bus;  // null until VNRegisterProcess succeeded
    std::string bundleId;
    std::string bundlePath;
    unsigned activations = 0;
    std::map<std::pair<AEEventClass, AEEventID>, HandlerEntry> handlers;
    std::vector<AppleEvent> arrived;  // accepted by the endpoint, owned until dispatched
};

PlatformState& State();

}  // namespace vnplatform
