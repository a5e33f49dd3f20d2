// The commands' side of the control interface.
#pragma once

#include <optional>
#include <string>

namespace varnel_app {

// Calls one method of the running instance and waits for its answer. Throws std::runtime_error
// with the line to show: no session bus, no instance serving, or the instance's own reason.
std::string callControl(const char* method, const std::optional<std::string>& argument);

}  // namespace varnel_app
