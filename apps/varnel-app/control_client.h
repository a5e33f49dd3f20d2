// The commands' side of the control interface.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace varnel_app {

// Calls one method of the running instance and waits for its answer, `timeoutUsec` at most (0:
// the bus's default of 25 s). Throws std::runtime_error with the line to show: no session bus,
// no instance serving, the instance's own reason, or ControlTimeout when no answer came in time.
std::string callControl(const char* method, const std::optional<std::string>& argument,
                        uint64_t timeoutUsec = 0);

class ControlTimeout : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace varnel_app
