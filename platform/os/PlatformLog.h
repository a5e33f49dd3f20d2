// The library's own lines on standard error, one whole line per write, prefixed
// "varnel-platform: " so they stand apart from the host's log.
#pragma once

#include <cstdint>
#include <string>

namespace vnplatform {

void LogLine(const std::string& text);
// 'AWZS' as written in the log, quotes included.
std::string FourCharText(uint32_t code);

}  // namespace vnplatform
