// Reading a file the host was pointed at: a regular file only, and no more of it than asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vhost {

// The whole of the regular file at `path`. Anything else (a FIFO, a device, a socket, a
// directory) is refused without reading or waiting for a writer, and a file of more than
// `maxBytes` without reading it. Throws HostError (kCantOpenFileErr), one line naming the path.
std::string readRegularFile(const std::string& path, std::size_t maxBytes = SIZE_MAX);

}  // namespace vhost
