// The receiving end of the Event method (see BusNames.h).
#pragma once

#include <systemd/sd-bus.h>

namespace vnplatform {

// Checks an incoming event and keeps it for VNProcessEvents; refusals answer with a D-Bus error
// and a log line. Never throws.
int OnEventCall(sd_bus_message* message, void* userdata, sd_bus_error* error) noexcept;

}  // namespace vnplatform
