#include "Icc.h"

#include <cstdint>

namespace vhost {

bool isIccProfile(std::string_view data) {
    constexpr size_t kHeaderSize = 128;
    if (data.size() < kHeaderSize) return false;
    uint32_t declared = 0;
    for (int i = 0; i < 4; ++i) declared = (declared << 8) | uint8_t(data[i]);
    return declared == data.size() && data.substr(36, 4) == "acsp";
}

}  // namespace vhost
