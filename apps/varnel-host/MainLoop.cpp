// The main loop: poll on the event bus, the plug-in's timers and, when asked, an input.
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "HostCore.h"
#include "os/EventLoop.h"

namespace vhost {

int HostCore::fireDueTimers() {
    int sent = 0;
    const Clock::time_point now = Clock::now();
    std::vector<uint64_t> due;
    for (const Timer& t : state.timers) {
        if (t.active && t.due <= now) due.push_back(t.id);
    }
    for (const uint64_t id : due) {
        // A late timer fires once and starts its period again: missed periods are not made up.
        for (Timer& t : state.timers) {
            if (t.id == id) t.due = now + ticks(t.period);
        }
        if (!reachable()) continue;
        sendTimer(id);
        ++sent;
    }
    return sent;
}

HostCore::Wake HostCore::loop(Clock::time_point deadline, const std::function<bool()>& done, int inputFd) {
    for (;;) {
        if (done()) return Wake::Done;
        Clock::time_point wake = deadline;
        for (const Timer& t : state.timers) {
            if (t.active && reachable()) wake = std::min(wake, t.due);
        }
        pollfd fds[2];
        nfds_t count = 0;
        int inputIndex = -1;
        // Events are handled only while the plug-in's code is in memory: their handlers live there.
        const VNPollSpec bus = busOn && (!link || link->mapped()) ? VNEventPollSpec() : VNPollSpec();
        // While the connection is down there is no descriptor, only the time to try again.
        const bool busDue = bus.fd >= 0 || bus.timeoutUsec >= 0;
        if (bus.fd >= 0) fds[count++] = {bus.fd, bus.events, 0};
        if (bus.timeoutUsec >= 0)
            wake = std::min(wake, Clock::now() + std::chrono::microseconds(bus.timeoutUsec));
        if (inputFd >= 0) {
            inputIndex = int(count);
            fds[count++] = {inputFd, POLLIN, 0};
        }
        const auto now = Clock::now();
        int timeout = -1;
        if (wake != Clock::time_point::max()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(std::max(wake - now, Clock::duration::zero()));
            timeout = int(std::min<int64_t>(left.count(), 60000));
        }
        const int ready = ::poll(fds, count, timeout);
        if (ready < 0 && errno != EINTR) {
            state.note(std::string("poll failed: ") + std::strerror(errno));
            return Wake::Deadline;
        }
        // Handling never blocks, so it runs on every wake-up: data, the bus's own deadline, or ours.
        if (busDue) {
            const int handled = VNProcessEvents();
            if (handled < 0) {
                state.note(std::string("the session bus connection failed (") + std::strerror(-handled) +
                           "): running without events");
                busOn = false;
            } else {
                eventsHandled += handled;
            }
        }
        fireDueTimers();
        if (inputIndex >= 0 && fds[inputIndex].revents != 0) return Wake::Input;
        if (done()) return Wake::Done;
        if (Clock::now() >= deadline) return Wake::Deadline;
    }
}

}  // namespace vhost
