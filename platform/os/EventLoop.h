// What a main loop needs to receive events: a descriptor to poll, and a call that handles
// what arrived. Handlers run inside VNProcessEvents, on the calling thread.
#pragma once

#include <cstdint>

struct VNPollSpec {
    int fd = -1;              // -1 while the process is not registered
    short events = 0;         // for poll()
    int64_t timeoutUsec = -1;  // -1: no deadline of the bus's own
};

VNPollSpec VNEventPollSpec();
// Reads and dispatches everything pending without blocking; returns the number of events
// handed to handlers, or a negative errno when the bus connection failed.
int VNProcessEvents();
