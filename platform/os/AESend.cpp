#include <cerrno>

#include "os/AEEventData.h"
#include "os/BusNames.h"
#include "os/EventWire.h"
#include "os/PlatformState.h"

OSErr AESend(const AppleEvent* event, AppleEvent* reply, int32_t /*sendMode*/, int16_t /*priority*/,
             int32_t /*timeout*/, void* /*idleProc*/, void* /*filterProc*/) {
    using namespace vnplatform;
    if (reply != nullptr) *reply = AEDesc();
    if (event == nullptr || event->descriptorType != typeAppleEvent || event->event == nullptr)
        return errAENotAEDesc;
    sd_bus* bus = State().bus.get();
    pid_t pid = 0;
    if (bus == nullptr || !TargetPid(event->event->target, &pid)) return procNotFound;
    try {
        // Addressed to the owner's unique name, so the event goes to the process that was checked.
        // A followed name costs no round trip, so answering a flood of requests does not either.
        std::string owner;
        const std::string name = ProcessBusName(pid);
        if (!FollowedOwner(name, &owner) && !NameOwner(bus, name, &owner)) return procNotFound;
        if (owner.empty()) return procNotFound;
        MessagePtr call = NewProcessCall(bus, owner, kProcessObjectPath, kProcessInterface, kEventMethod);
        if (!call || sd_bus_message_set_expect_reply(call.get(), 0) < 0) return errAEEventFailed;
        if (const int r = AppendEvent(call.get(), *event->event); r < 0)
            return r == -ENOMEM ? memFullErr : errAEEventFailed;
        // Flushed so the event has left even when the sender exits right after; nothing waits for the target.
        if (sd_bus_send(bus, call.get(), nullptr) < 0 || sd_bus_flush(bus) < 0) return errAEEventFailed;
        return noErr;
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
}
