#include "os/BusNames.h"

#include <unistd.h>

#include <climits>
#include <cstring>

namespace vnplatform {

bool ParseProcessBusName(const std::string& name, pid_t* pid) {
    const size_t prefix = sizeof(kProcessNamePrefix) - 1;
    if (name.size() <= prefix || name.size() > prefix + 10 ||
        name.compare(0, prefix, kProcessNamePrefix) != 0)
        return false;
    long long value = 0;
    for (size_t i = prefix; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        value = value * 10 + (name[i] - '0');
    }
    if (value <= 0 || value > INT_MAX) return false;
    *pid = static_cast<pid_t>(value);
    return true;
}

std::string ApplicationObjectPath(const std::string& bundleId) {
    std::string path = "/";
    for (char c : bundleId) {
        const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        path += c == '.' ? '/' : allowed ? c : '_';
    }
    return path;
}

bool TargetPid(const ProcessSerialNumber& psn, pid_t* pid) {
    if (psn.highLongOfPSN != 0 || psn.lowLongOfPSN == kNoProcess || psn.lowLongOfPSN > INT_MAX) return false;
    // pid 2 is the kernel's thread daemon on Linux, so kCurrentProcess never hides a real target.
    *pid = psn.lowLongOfPSN == kCurrentProcess ? ::getpid() : static_cast<pid_t>(psn.lowLongOfPSN);
    return true;
}

bool TargetPid(const AEAddressDesc& address, pid_t* pid) {
    ProcessSerialNumber psn;
    if (address.descriptorType != typeProcessSerialNumber || address.data.size() != sizeof psn) return false;
    std::memcpy(&psn, address.data.data(), sizeof psn);
    return TargetPid(psn, pid);
}

}  // namespace vnplatform
