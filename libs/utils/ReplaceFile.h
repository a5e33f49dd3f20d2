// Replacing a file's contents in one step.
#pragma once

#include <string>
#include <string_view>

namespace vnu {

// Writes `bytes` to a new file beside `path` and renames it over `path` once it is complete and
// on disk, so the file is always either the old one or the new one, never cut short. On any
// failure (no space, an I/O error, a folder that cannot be written) the old file stays as it
// was and no temporary file remains. Returns 0 or the errno of the failure. A new file gets the
// usual permissions (0666 less the umask); a replaced one keeps its own.
int ReplaceFileContents(const std::string& path, std::string_view bytes);

}  // namespace vnu
