// Where the event channel sits on the session bus.
//
// Every registered process owns two names:
//   com.corvane.Process.p<PID>   its own, whatever its bundle identifier;
//   <bundle id>                  e.g. com.corvane.Varnel; a later process with the same identifier
//                                waits in the bus's queue and takes the name over when it frees.
// and exports on its connection:
//   /com/corvane/Process, interface com.corvane.Process
//     Event(u class, u id, a(uut) parameters, h bytes) -> ()
//         sent without expecting a reply; `parameters` lists (keyword, descriptor type, length)
//         in order, and their bytes follow one another from offset 0 in the regular file
//         (a memfd) behind `bytes`, with nothing after them. The bytes travel beside the message
//         because bus daemons refuse messages over 32 MiB by default and arrays over 64 MiB,
//         less than one event may carry (kAEMaxEventBytes).
//     Information() -> (a{ss})    "CFBundleIdentifier" and "BundlePath"
//   /<bundle id, '.' as '/'>, interface org.freedesktop.Application
//     Activate(a{sv} platform-data) -> ()    counted by VNActivationCount
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "os/AppleEvents.h"

namespace vnplatform {

inline constexpr char kProcessNamePrefix[] = "com.corvane.Process.p";
inline constexpr const char* kProcessObjectPath = "/com/corvane/Process";
inline constexpr const char* kProcessInterface = "com.corvane.Process";
inline constexpr const char* kEventMethod = "Event";
inline constexpr const char* kInformationMethod = "Information";
inline constexpr const char* kApplicationInterface = "org.freedesktop.Application";
inline constexpr const char* kActivateMethod = "Activate";

// How long a question to another process may take before it counts as gone.
inline constexpr uint64_t kQueryTimeoutUsec = 2'000'000;

inline std::string ProcessBusName(pid_t pid) {
    return kProcessNamePrefix + std::to_string(pid);
}
// The pid in a name made by ProcessBusName; false for any other name.
bool ParseProcessBusName(const std::string& name, pid_t* pid);
// As desktop applications do: '.' becomes '/', any character a path may not hold becomes '_'.
std::string ApplicationObjectPath(const std::string& bundleId);

// The pid an address descriptor or serial number stands for, kCurrentProcess made the caller's;
// false for a null address, kNoProcess and anything that is no (0, pid).
bool TargetPid(const ProcessSerialNumber& psn, pid_t* pid);
bool TargetPid(const AEAddressDesc& address, pid_t* pid);

}  // namespace vnplatform
