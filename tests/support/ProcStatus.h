// A process's memory as the kernel counts it: fields of /proc/<pid>/status in KiB.
#pragma once

#include <sys/types.h>

#include <fstream>
#include <string>

namespace testing_support {

// "VmRSS" (resident now) or "VmHWM" (the peak); -1 when the process or the field is gone.
inline long StatusKiB(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, field.size() + 1, field + ":") == 0) return std::stol(line.substr(field.size() + 1));
    return -1;
}

}  // namespace testing_support
