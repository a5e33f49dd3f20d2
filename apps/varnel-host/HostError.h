// A failure inside the host, with the result code a suite call answers for it.
#pragma once

#include <stdexcept>
#include <string>

#include "sdk/AITypes.h"

namespace vhost {

class HostError : public std::runtime_error {
public:
    HostError(AIErr code, const std::string& message) : std::runtime_error(message), code_(code) {}
    AIErr code() const noexcept { return code_; }

private:
    AIErr code_;
};

}  // namespace vhost
