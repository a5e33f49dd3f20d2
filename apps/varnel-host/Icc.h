// The one check the host makes of colour profile data: an ICC header that fits the data.
#pragma once

#include <string_view>

namespace vhost {

// True when `data` starts with an ICC profile header (128 bytes, signature 'acsp' at 36) whose
// declared size is exactly the size of `data`.
bool isIccProfile(std::string_view data);

}  // namespace vhost
