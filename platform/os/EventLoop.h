// What a main loop needs to receive events: a descriptor to poll, and a call that handles
// what arrived. Handlers run inside VNProcessEvents, on the calling thread, and never from
// inside another platform call. Ask for the poll spec again before every poll: both the events
// and the timeout change as the connection works.
#pragma once

#include <cstdint>

struct VNPollSpec {
    int fd = -1;               // -1 while the process is not registered
    short events = 0;          // for poll()
    int64_t timeoutUsec = -1;  // from now until VNProcessEvents is due anyway (0: at once); -1: none
};

VNPollSpec VNEventPollSpec();
// Reads and dispatches everything pending without blocking; returns the number of events
// handed to handlers, or a negative errno when the bus connection failed (-ENOTCONN before
// VNRegisterProcess).
int VNProcessEvents();
