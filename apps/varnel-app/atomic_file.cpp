#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace varnel_app {
namespace {

[[noreturn]] void fail(const std::string& path, const char* step, int error) {
    throw std::runtime_error(path + ": " + step + ": " + std::strerror(error));
}

}  // namespace

void writeFileAtomically(const std::string& path, std::string_view content) {
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) fail(path, "cannot create a temporary file beside it", errno);
    // Keep the permissions of the file we replace; mkstemp makes it private.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
    for (size_t done = 0; done < content.size();) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            fail(path, "cannot write", error);
        }
        done += static_cast<size_t>(n);
    }
    const int synced = ::fsync(fd) == 0 ? 0 : errno;
    const int closed = ::close(fd) == 0 ? 0 : errno;
    if (synced != 0 || closed != 0) {
        const int error = synced != 0 ? synced : closed;
        ::unlink(temporary.c_str());
        fail(path, "cannot write", error);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail(path, "cannot replace", error);
    }
}

}  // namespace varnel_app
