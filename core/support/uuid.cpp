#include "support/uuid.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace vnu {

namespace {

bool readRandom(std::uint8_t* out, size_t size) {
    int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, out + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return done == size;
}

}  // namespace

UUIDBytes NewUUIDBytes() {
    UUIDBytes bytes{};
    if (!readRandom(bytes.data(), bytes.size())) throw std::runtime_error("uuid: cannot read /dev/urandom");
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
    return bytes;
}

ustring UUIDText(const UUIDBytes& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    ustring text;
    text.reserve(36);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

ustring NewUUIDText() {
    return UUIDText(NewUUIDBytes());
}

}  // namespace vnu
