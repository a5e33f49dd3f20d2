// The receiving end of the Event method (see BusNames.h).
#pragma once

#include <systemd/sd-bus.h>

#include <cstddef>

namespace vnplatform {

// Events waiting for the main loop: beyond this an event is refused, so memory stays bounded
// however a handler or a flood behaves.
inline constexpr size_t kMostArrivedEvents = 64;

// Checks an incoming event and keeps it for VNProcessEvents; refusals answer with a D-Bus error
// and a log line. Never throws.
int OnEventCall(sd_bus_message* message, void* userdata, sd_bus_error* error) noexcept;

}  // namespace vnplatform
