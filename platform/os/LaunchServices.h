// Finding and starting applications by bundle identifier, through freedesktop desktop entries.
#pragma once

#include <string>

#include "MacTypes.h"

constexpr OSType kLSUnknownCreator = 0;
constexpr uint32_t kLSLaunchDontSwitch = 0x00000200;

// Looks for "<bundleId>.desktop" in $XDG_DATA_HOME/applications (default ~/.local/share), then
// in each $XDG_DATA_DIRS/applications (default /usr/local/share:/usr/share); the first found
// gives the application's path: the program of its Exec line, made absolute through PATH.
// kLSApplicationNotFoundErr when none is found or its program is not an executable file.
OSStatus LSFindApplicationForInfo(OSType creator, const std::string& bundleId, const std::string& name,
                                  std::string* applicationPath);
// Starts the program detached (a session of its own, standard streams on /dev/null, no wait),
// with no arguments and the caller's environment. Without kLSLaunchDontSwitch the application
// is asked to come to the front once it has registered.
OSStatus LSOpenApplication(const std::string& applicationPath, uint32_t launchFlags);
