// How LSOpenApplication tells the program it starts to count itself brought to the front: this
// variable holds the program's own pid, so a child of it that inherits the variable does not
// take it for itself. VNRegisterProcess reads it and removes it.
#pragma once

namespace vnplatform {

inline constexpr char kLaunchActivateVariable[] = "VARNEL_LAUNCH_ACTIVATE";

}  // namespace vnplatform
