// Finding and starting applications by bundle identifier, through freedesktop desktop entries.
#pragma once

#include <string>

#include "os/MacTypes.h"

constexpr OSType kLSUnknownCreator = 0;
constexpr uint32_t kLSLaunchDontSwitch = 0x00000200;

// Looks for "<bundleId>.desktop" in $XDG_DATA_HOME/applications (default ~/.local/share), then
// in each $XDG_DATA_DIRS/applications (default /usr/local/share:/usr/share); the first found
// gives the application's path: the program of its Exec line, made absolute through PATH.
// kLSApplicationNotFoundErr when none is found, when the first found is Hidden, or when its
// program is not an executable file; paramErr for an empty identifier or one holding '/'.
OSStatus LSFindApplicationForInfo(OSType creator, const std::string& bundleId, const std::string& name,
                                  std::string* applicationPath);
// Starts the program detached (a session of its own, standard streams on /dev/null, no wait),
// with no arguments and the caller's environment. Without kLSLaunchDontSwitch the application
// counts itself activated when it registers. Returns once the program has started:
// kLSApplicationNotFoundErr for a path that does not exist, kLSNoExecutableErr for one that
// cannot be run, paramErr for a relative path.
OSStatus LSOpenApplication(const std::string& applicationPath, uint32_t launchFlags);
