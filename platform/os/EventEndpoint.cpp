#include "os/EventEndpoint.h"

#include <unistd.h>

#include <memory>
#include <string>

#include "os/EventWire.h"
#include "os/PlatformLog.h"
#include "os/PlatformState.h"

namespace vnplatform {

namespace {

// The same user only. A sender that already left the bus cannot be asked; its event was
// checked by the bus when it was sent and goes on to the other checks.
bool SenderAllowed(sd_bus* bus, const char* sender) {
    if (sender == nullptr) return false;
    BusError error;
    sd_bus_message* reply = nullptr;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "GetConnectionUnixUser", error.get(), &reply, "s", sender) < 0)
        return error.has(SD_BUS_ERROR_NAME_HAS_NO_OWNER);
    MessagePtr hold(reply);
    uint32_t uid = 0;
    return sd_bus_message_read(reply, "u", &uid) >= 0 && uid == ::geteuid();
}

int Refuse(const char* sender, sd_bus_error* error, int status) {
    LogLine(std::string("refused event from ") + (sender != nullptr ? sender : "an unknown sender") + ": " +
            (error->message != nullptr ? error->message : "error"));
    return status;
}

}  // namespace

int OnEventCall(sd_bus_message* message, void*, sd_bus_error* error) noexcept {
    const char* sender = sd_bus_message_get_sender(message);
    try {
        PlatformState& state = State();
        if (!SenderAllowed(state.bus.get(), sender))
            return Refuse(
                sender, error,
                sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, "events are taken from this user only"));
        auto data = std::make_unique<AEEventData>();
        if (int r = ReadEvent(message, data.get(), error); r < 0) return Refuse(sender, error, r);
        state.arrived.push_back(AEDesc{typeAppleEvent, std::string(), data.get()});
        data.release();
        return sd_bus_reply_method_return(message, "");
    } catch (...) {
        return Refuse(sender, error, sd_bus_error_set(error, SD_BUS_ERROR_NO_MEMORY, "out of memory"));
    }
}

}  // namespace vnplatform
