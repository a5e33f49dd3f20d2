#include "os/EventEndpoint.h"

#include <unistd.h>

#include <memory>
#include <string>

#include "os/EventWire.h"
#include "os/PlatformLog.h"
#include "os/PlatformState.h"

namespace vnplatform {

namespace {

constexpr size_t kMostArrivedBytes = 2 * kAEMaxEventBytes;
// Identities kept; a bus rarely has this many connections, a flood of new ones starts afresh.
constexpr size_t kMostSenders = 4096;

// Asked once per connection, so that a flood costs one round trip to the bus, not one an
// event. A sender that already left the bus cannot be asked; its event was checked by the bus
// when it was sent, and it is nobody to answer.
SenderIdentity Identify(sd_bus* bus, const char* sender) {
    PlatformState& state = State();
    if (const auto found = state.senders.find(sender); found != state.senders.end()) return found->second;
    SenderIdentity identity;
    BusError error;
    sd_bus_message* reply = nullptr;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "GetConnectionCredentials", error.get(), &reply, "s", sender) < 0)
        return SenderIdentity{error.has(SD_BUS_ERROR_NAME_HAS_NO_OWNER), 0};
    MessagePtr hold(reply);
    bool haveUser = false;
    if (sd_bus_message_enter_container(reply, 'a', "{sv}") > 0) {
        while (sd_bus_message_enter_container(reply, 'e', "sv") > 0) {
            const char* key = nullptr;
            uint32_t value = 0;
            if (sd_bus_message_read(reply, "s", &key) < 0) break;
            const std::string name = key;
            if ((name == "UnixUserID" || name == "ProcessID") &&
                sd_bus_message_read(reply, "v", "u", &value) >= 0) {
                if (name == "UnixUserID") {
                    haveUser = true;
                    identity.sameUser = value == ::geteuid();
                } else {
                    identity.pid = static_cast<pid_t>(value);
                }
            } else if (sd_bus_message_skip(reply, "v") < 0) {
                break;
            }
            sd_bus_message_exit_container(reply);
        }
    }
    identity.sameUser = identity.sameUser && haveUser;
    if (state.senders.size() >= kMostSenders) state.senders.clear();
    state.senders.emplace(sender, identity);
    return identity;
}

int Refuse(const char* sender, sd_bus_error* error, int status) {
    LogBurst("refused events",
             std::string("refused event from ") + (sender != nullptr ? sender : "an unknown sender") + ": " +
                 (error->message != nullptr ? error->message : "error"));
    return status;
}

}  // namespace

int OnEventCall(sd_bus_message* message, void*, sd_bus_error* error) noexcept {
    const char* sender = sd_bus_message_get_sender(message);
    try {
        PlatformState& state = State();
        const SenderIdentity identity =
            sender != nullptr ? Identify(state.bus.get(), sender) : SenderIdentity{};
        if (!identity.sameUser)
            return Refuse(
                sender, error,
                sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, "events are taken from this user only"));
        if (state.arrived.size() >= kMostArrivedEvents)
            return Refuse(sender, error,
                          sd_bus_error_set(error, SD_BUS_ERROR_LIMITS_EXCEEDED, "too many events waiting"));
        auto data = std::make_unique<AEEventData>();
        if (int r = ReadEvent(message, data.get(), error); r < 0) return Refuse(sender, error, r);
        if (data->paramBytes > kMostArrivedBytes - state.arrivedBytes)
            return Refuse(sender, error,
                          sd_bus_error_set(error, SD_BUS_ERROR_LIMITS_EXCEEDED, "too many event bytes waiting"));
        data->sender = sender;
        data->senderPid = identity.pid;
        state.arrivedBytes += data->paramBytes;
        state.arrived.push_back(AEDesc{typeAppleEvent, std::string(), data.get()});
        data.release();
        return sd_bus_reply_method_return(message, "");
    } catch (...) {
        return Refuse(sender, error, sd_bus_error_set(error, SD_BUS_ERROR_NO_MEMORY, "out of memory"));
    }
}

}  // namespace vnplatform
