// Processes that take part in the event channel, found on the session bus.
//
// A process takes part once it registered (VNRegisterProcess): it then owns its bundle
// identifier as a well-known bus name, exports org.freedesktop.Application at the object path
// derived from it, and can be found by GetNextProcess, addressed by AESend and activated.
#pragma once

#include <map>
#include <string>

#include "os/MacTypes.h"

// (0, pid) for a running process; (0, kCurrentProcess) for the calling process.
struct ProcessSerialNumber {
    uint32_t highLongOfPSN = 0;
    uint32_t lowLongOfPSN = 0;
};
constexpr uint32_t kNoProcess = 0;
constexpr uint32_t kCurrentProcess = 2;
constexpr uint32_t kProcessDictionaryIncludeAllInformationMask = 0xFFFFFFFF;

// Keys of the information dictionary.
inline constexpr const char* kCFBundleIdentifierKey = "CFBundleIdentifier";
inline constexpr const char* kProcessBundlePathKey = "BundlePath";

// Connects to the session bus and registers the calling process; once per process. Fails with
// procNotFound when there is no session bus (or it refuses the names), and with paramErr when
// called twice or for a bundle identifier that is no valid bus name. A program started by
// LSOpenApplication without kLSLaunchDontSwitch counts itself activated once here.
OSErr VNRegisterProcess(const std::string& bundleId, const std::string& bundlePath);

OSErr GetCurrentProcess(ProcessSerialNumber* psn);
// From (0, kNoProcess), steps through the registered processes in ascending pid order;
// procNotFound after the last, and always before this process registered.
OSErr GetNextProcess(ProcessSerialNumber* psn);
// Fills `info` with kCFBundleIdentifierKey and kProcessBundlePathKey; procNotFound for a
// process that is not (or no longer) registered or does not answer within two seconds. Another
// process answers from its main loop; this process answers itself at once.
OSErr ProcessInformationCopyDictionary(const ProcessSerialNumber* psn, uint32_t mask,
                                       std::map<std::string, std::string>& info);
// Calls org.freedesktop.Application.Activate on the process, which records it (see below);
// for this process, records it at once. procNotFound as for ProcessInformationCopyDictionary.
OSErr SetFrontProcess(const ProcessSerialNumber* psn);
// How often this process was activated since it registered.
unsigned VNActivationCount();

// Whether the connection `busName` (a unique name) owns `wellKnownName` now. The first question
// about a name asks the bus and follows the name's changes from then on, so later ones cost no
// round trip. False when not registered or not connected.
bool VNIsNameOwner(const std::string& wellKnownName, const std::string& busName);
