// Replacing a file so that readers see either the old file or the whole new one.
#pragma once

#include <string>
#include <string_view>

namespace vhost::pdf {

// Writes `bytes` to a temporary file in the target's folder, flushes it to disk and renames it
// over `path`. On failure the temporary file is removed, an older file at `path` is left as it
// was, and std::runtime_error tells what failed and why. `path` must be absolute.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace vhost::pdf
