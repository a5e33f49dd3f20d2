#include "os/PlatformLog.h"

#include <unistd.h>

#include <cerrno>

namespace vnplatform {

void LogLine(const std::string& text) {
    const std::string line = "varnel-platform: " + text + "\n";
    for (size_t done = 0; done < line.size();) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

std::string FourCharText(uint32_t code) {
    std::string text = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((code >> shift) & 0xFF);
        text += c >= 0x20 && c < 0x7F ? c : '?';
    }
    return text + "'";
}

}  // namespace vnplatform
