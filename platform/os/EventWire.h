// An event as the arguments of the Event method (see BusNames.h), both ways.
#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <vector>

#include "os/AEEventData.h"

namespace vnplatform {

// Appends class, id, parameter list and the file of their bytes; a negative errno on failure.
int AppendEvent(sd_bus_message* message, const AEEventData& event);

// One entry of an Event call's parameter list.
struct ParamHeader {
    uint32_t keyword;
    uint32_t type;
    uint64_t size;
};

// More parameters than any event of this system carries; a longer list is malformed.
inline constexpr size_t kMostEventParams = 64;

// Reads an Event call into `event`. A call whose parameters pass kAEMaxEventBytes is refused
// from the list alone, before any byte is read; a list that does not match its file is
// malformed. Either way `error` is set and a negative errno returned.
int ReadEvent(sd_bus_message* message, AEEventData* event, sd_bus_error* error);
// The second half of ReadEvent: the parameters `headers` lists, read from the file `fd`.
int ReadParams(const std::vector<ParamHeader>& headers, int fd, AEEventData* event, sd_bus_error* error);

}  // namespace vnplatform
