#include "os/PlatformState.h"

namespace vnplatform {

PlatformState::~PlatformState() {
    for (AppleEvent& event : arrived) AEDisposeDesc(&event);
}

PlatformState& State() {
    static PlatformState state;
    return state;
}

}  // namespace vnplatform
