// An event as the arguments of the Event method (see BusNames.h), both ways.
#pragma once

#include <systemd/sd-bus.h>

#include "os/AEEventData.h"

namespace vnplatform {

// Appends class, id, parameter list and the file of their bytes; a negative errno on failure.
int AppendEvent(sd_bus_message* message, const AEEventData& event);

// Reads an Event call into `event`. A call whose parameters pass kAEMaxEventBytes is refused
// from the list alone, before any byte is read; a list that does not match its file is
// malformed. Either way `error` is set and a negative errno returned.
int ReadEvent(sd_bus_message* message, AEEventData* event, sd_bus_error* error);

}  // namespace vnplatform
