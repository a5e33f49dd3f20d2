// Random (version 4) UUIDs.
#pragma once

#include <array>
#include <cstdint>

#include "text/ustring.h"

namespace vnu {

using UUIDBytes = std::array<std::uint8_t, 16>;

// 16 bytes from the system's random source, with the version 4 and variant bits set. Throws
// std::runtime_error when no random source can be read.
UUIDBytes NewUUIDBytes();

// 32 upper-case hexadecimal digits in groups of 8-4-4-4-12, separated by '-'.
ustring UUIDText(const UUIDBytes& bytes);

// A fresh random UUID as text.
ustring NewUUIDText();

}  // namespace vnu
