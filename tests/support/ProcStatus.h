// A process's memory as the kernel counts it: fields of /proc/<pid>/status in KiB.
#pragma once

#include <sys/types.h>

#include <fstream>
#include <string>

namespace testing_support {

// AddressSanitizer keeps freed memory in quarantine and makes every program several times
// slower: resident sizes say nothing then, and a flood's backlog takes long to drain.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// The events a test's flood may send: as many as a second takes, fewer under the sanitizers.
inline std::string FloodEvents() {
    return kSanitized ? "20000" : "0";
}

// "VmRSS" (resident now) or "VmHWM" (the peak); -1 when the process or the field is gone.
inline long StatusKiB(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, field.size() + 1, field + ":") == 0) return std::stol(line.substr(field.size() + 1));
    return -1;
}

}  // namespace testing_support
