#include "os/SdBus.h"

namespace vnplatform {

MessagePtr NewProcessCall(sd_bus* bus, const std::string& destination, const char* path,
                          const char* interface, const char* member) {
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(bus, &m, destination.c_str(), path, interface, member) < 0)
        return nullptr;
    MessagePtr message(m);
    // A name without an owner must fail at once rather than wait for a service to start: the
    // bus would hold the call only while its sender stays connected anyway.
    if (sd_bus_message_set_auto_start(m, 0) < 0) return nullptr;
    return message;
}

bool NameOwner(sd_bus* bus, const std::string& name, std::string* owner) {
    BusError error;
    sd_bus_message* reply = nullptr;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "GetNameOwner", error.get(), &reply, "s", name.c_str()) < 0)
        return false;
    MessagePtr hold(reply);
    const char* unique = nullptr;
    if (sd_bus_message_read(reply, "s", &unique) < 0) return false;
    *owner = unique;
    return true;
}

}  // namespace vnplatform
