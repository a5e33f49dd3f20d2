// Files replaced whole, never left half-written.
#pragma once

#include <string>
#include <string_view>

namespace varnel_app {

// Writes `content` to a temporary file beside `path`, flushes it to disk and renames it over
// `path`. Throws std::runtime_error naming the file and the system's reason.
void writeFileAtomically(const std::string& path, std::string_view content);

}  // namespace varnel_app
