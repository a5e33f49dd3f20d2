// Replacing a file's contents in one step.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace vnu {

// Writes `bytes` to a new hidden file beside `path` and renames it over `path` once it is
// complete and on disk, so the file is always either the old one or the new one, never cut
// short. On any failure (no space, an I/O error, a folder that cannot be written) the old file
// stays as it was and no temporary file remains. Returns 0 or the errno of the failure. A new
// file gets `newMode` less the umask; a replaced one keeps its own permissions.
int ReplaceFileContents(const std::string& path, std::string_view bytes, mode_t newMode = 0666);

// The same for callers that report failures by exception: throws std::system_error carrying the
// errno, whose what() reads "cannot write: <the system's reason>".
void ReplaceFileContentsOrThrow(const std::string& path, std::string_view bytes);

}  // namespace vnu
