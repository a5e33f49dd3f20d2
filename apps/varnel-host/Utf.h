// UTF-16 texts of the suites to and from the UTF-8 the host keeps.
#pragma once

#include <string>
#include <string_view>

namespace vhost {

// Unpaired surrogates become U+FFFD.
std::string toUtf8(std::u16string_view text);
// Ill-formed UTF-8 becomes U+FFFD.
std::u16string toUtf16(std::string_view text);

}  // namespace vhost
