// Taking part: the bus connection, the names and the objects other processes call.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "os/BusNames.h"
#include "os/EventEndpoint.h"
#include "os/LaunchEnvironment.h"
#include "os/PlatformState.h"
#include "os/Processes.h"

using namespace vnplatform;

namespace {

int OnInformation(sd_bus_message* message, void*, sd_bus_error*) noexcept {
    const PlatformState& state = State();
    return sd_bus_reply_method_return(message, "a{ss}", 2, kCFBundleIdentifierKey, state.bundleId.c_str(),
                                      kProcessBundlePathKey, state.bundlePath.c_str());
}

int OnActivate(sd_bus_message* message, void*, sd_bus_error*) noexcept {
    ++State().activations;
    return sd_bus_reply_method_return(message, "");
}

const sd_bus_vtable kProcessVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD(kEventMethod, "uua(uut)h", "", OnEventCall, 0),
    SD_BUS_METHOD(kInformationMethod, "", "a{ss}", OnInformation, 0),
    SD_BUS_VTABLE_END,
};

// Only Activate: the other methods of the interface open files and actions, which no
// program taking part offers.
const sd_bus_vtable kApplicationVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD(kActivateMethod, "a{sv}", "", OnActivate, 0),
    SD_BUS_VTABLE_END,
};

bool LaunchedToFront() {
    const char* value = std::getenv(kLaunchActivateVariable);
    const bool mine = value != nullptr && std::to_string(::getpid()) == value;
    ::unsetenv(kLaunchActivateVariable);
    return mine;
}

}  // namespace

namespace vnplatform {

OSErr Connect(PlatformState& state) {
    sd_bus* opened = nullptr;
    if (sd_bus_open_user(&opened) < 0) return procNotFound;
    BusPtr bus(opened);
    // A second process with the same identifier queues for the name and still takes part.
    const int r = sd_bus_request_name(bus.get(), state.bundleId.c_str(), SD_BUS_NAME_QUEUE);
    if (r == -EINVAL) return paramErr;
    if (r < 0 || sd_bus_request_name(bus.get(), ProcessBusName(::getpid()).c_str(), 0) < 0)
        return procNotFound;
    if (sd_bus_add_object_vtable(bus.get(), nullptr, kProcessObjectPath, kProcessInterface, kProcessVtable,
                                 nullptr) < 0 ||
        sd_bus_add_object_vtable(bus.get(), nullptr, ApplicationObjectPath(state.bundleId).c_str(),
                                 kApplicationInterface, kApplicationVtable, nullptr) < 0)
        return procNotFound;
    state.bus = std::move(bus);
    // What was learnt on the old connection is asked again on this one.
    state.owners.clear();
    state.senders.clear();  // a new bus daemon hands out the same unique names again
    return noErr;
}

}  // namespace vnplatform

OSErr VNRegisterProcess(const std::string& bundleId, const std::string& bundlePath) {
    PlatformState& state = State();
    if (!state.bundleId.empty() || bundleId.empty()) return paramErr;
    state.bundleId = bundleId;
    state.bundlePath = bundlePath;
    if (const OSErr status = Connect(state); status != noErr) {
        state.bundleId.clear();
        state.bundlePath.clear();
        return status;
    }
    state.activations = LaunchedToFront() ? 1 : 0;
    return noErr;
}

unsigned VNActivationCount() {
    return State().activations;
}
