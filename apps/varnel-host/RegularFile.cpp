#include "RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "HostError.h"

namespace vhost {

namespace {

[[noreturn]] void cantOpen(const std::string& message) {
    throw HostError(kCantOpenFileErr, message);
}

[[noreturn]] void notRegular(const std::string& path, mode_t mode) {
    const char* kind = S_ISDIR(mode)                    ? "a directory"
                       : S_ISFIFO(mode)                 ? "a FIFO"
                       : S_ISSOCK(mode)                 ? "a socket"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                                                        : "something else";
    cantOpen(path + ": not a regular file but " + kind);
}

[[noreturn]] void tooLarge(const std::string& path, std::size_t maxBytes) {
    cantOpen(path + ": larger than " + std::to_string(maxBytes) + " bytes");
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { ::close(fd_); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::string readRegularFile(const std::string& path, std::size_t maxBytes) {
    // A FIFO would block the open until a writer came, a socket does not open at all: the path's
    // kind is told first, and checked again on what was opened, without waiting for anyone.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) notRegular(path, st.st_mode);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) cantOpen(path + ": " + std::strerror(errno));
    const Descriptor file(fd);
    if (::fstat(fd, &st) != 0) cantOpen(path + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) notRegular(path, st.st_mode);
    if (std::uintmax_t(st.st_size) > maxBytes) tooLarge(path, maxBytes);
    std::string bytes;
    bytes.reserve(std::size_t(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) cantOpen(path + ": " + std::strerror(errno));
        if (n == 0) break;
        // A file that grows while it is read is held to the same limit.
        if (std::size_t(n) > maxBytes - bytes.size()) tooLarge(path, maxBytes);
        bytes.append(buffer, std::size_t(n));
    }
    return bytes;
}

}  // namespace vhost
