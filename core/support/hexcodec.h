// Payload text of the event channel: every byte as two upper-case hexadecimal digits.
#pragma once

#include <string>
#include <string_view>

namespace vnu {

// Two characters per byte, high nibble first, digits 0-9 and A-F; no separator or terminator.
std::string HexEncode(std::string_view bytes);

// The inverse, as lenient as the companion application expects: '0'-'9' are digits, any other
// character counts as its upper-case form minus 55 (so a-f equal A-F), each byte is kept to
// 8 bits, and a last unpaired character is ignored. Never fails.
std::string HexDecode(std::string_view text);

}  // namespace vnu
