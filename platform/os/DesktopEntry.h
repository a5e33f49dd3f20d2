// Desktop entries as the freedesktop conventions lay them out: where they are looked for,
// and the program their Exec key starts.
#pragma once

#include <string>

namespace vnplatform {

// "<bundleId>.desktop" in $XDG_DATA_HOME/applications, then in each $XDG_DATA_DIRS/applications;
// the first that exists, or empty.
std::string FindDesktopEntry(const std::string& bundleId);

// The program of the Exec key in the [Desktop Entry] group: its first word with the quoting and
// escapes undone. Empty when there is none, or when the entry is Hidden (a deleted entry).
std::string DesktopEntryProgram(const std::string& text);

// `program` as an absolute path, looked up in $PATH when it names no folder; empty unless it
// is an executable regular file.
std::string ResolveExecutable(const std::string& program);

}  // namespace vnplatform
