// Who sent an event, and who owns a well-known name now: both answered without a round trip to
// the bus for each event.
#include <string>

#include "os/AEEventData.h"
#include "os/PlatformState.h"

using vnplatform::PlatformState;
using vnplatform::State;

namespace {

// arg0 names the bus name, arg2 its new owner ("" when it has none).
int OnOwnerChanged(sd_bus_message* message, void*, sd_bus_error*) noexcept {
    const char *name = nullptr, *before = nullptr, *after = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &before, &after) < 0) return 0;
    try {
        auto& owners = State().owners;
        if (const auto it = owners.find(name); it != owners.end()) it->second.owner = after;
    } catch (...) {
        // The owner stays as it was; the next connection asks again.
    }
    return 0;
}

// Names followed at most; requests from many processes start the list afresh.
constexpr size_t kMostFollowed = 256;

// The first question about a name subscribes to its changes, then asks for its owner once.
const std::string* Owner(const std::string& name) {
    auto& state = State();
    if (const auto it = state.owners.find(name); it != state.owners.end()) return &it->second.owner;
    sd_bus* bus = state.bus.get();
    if (bus == nullptr) return nullptr;
    const std::string match =
        "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
        "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='" +
        name + "'";
    sd_bus_slot* slot = nullptr;
    if (sd_bus_add_match(bus, &slot, match.c_str(), OnOwnerChanged, nullptr) < 0) return nullptr;
    vnplatform::SlotPtr followed(slot);
    std::string owner;
    if (!vnplatform::NameOwner(bus, name, &owner)) owner.clear();
    if (state.owners.size() >= kMostFollowed) state.owners.clear();
    return &state.owners.emplace(name, PlatformState::Followed{owner, std::move(followed)}).first->second.owner;
}

}  // namespace

OSErr VNGetEventSender(const AppleEvent* event, std::string* busName, pid_t* pid) {
    if (event == nullptr || event->descriptorType != typeAppleEvent || event->event == nullptr)
        return errAENotAEDesc;
    if (event->event->sender.empty()) return errAEDescNotFound;
    if (busName != nullptr) *busName = event->event->sender;
    if (pid != nullptr) *pid = event->event->senderPid;
    return noErr;
}

bool vnplatform::FollowedOwner(const std::string& name, std::string* owner) {
    const auto& owners = State().owners;
    const auto it = owners.find(name);
    if (it == owners.end()) return false;
    *owner = it->second.owner;
    return true;
}

bool VNIsNameOwner(const std::string& wellKnownName, const std::string& busName) {
    if (wellKnownName.empty() || busName.empty()) return false;
    try {
        const std::string* owner = Owner(wellKnownName);
        return owner != nullptr && *owner == busName;
    } catch (...) {
        return false;
    }
}
