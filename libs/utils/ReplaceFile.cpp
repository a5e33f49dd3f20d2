#include "ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

namespace vnu {
namespace {

std::atomic<unsigned> s_counter{0};

// Hidden, so that nobody opens a file being written; named after its target so that one left by
// a killed writer says where it came from; the target's name is cut short to stay within
// NAME_MAX. O_EXCL settles a clash with such a leftover.
int CreateBeside(const std::string& folder, const std::string& name, mode_t mode, std::string& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder + "." + name.substr(0, 200) + "." + std::to_string(::getpid()) + "-" +
                    std::to_string(s_counter++) + ".tmp";
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

}  // namespace

int ReplaceFileContents(const std::string& path, std::string_view bytes, mode_t newMode) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string temporary;
    const int fd = CreateBeside(folder, path.substr(folder.size()), newMode, temporary);
    if (fd < 0) return errno;
    struct stat old;
    int error = ::stat(path.c_str(), &old) == 0 && ::fchmod(fd, old.st_mode & 07777) != 0 ? errno : 0;
    if (error == 0) error = WriteAll(fd, bytes);
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    // The rename reaches the disk with the folder. The file is in place already, so a folder that
    // cannot be flushed is no reason to call the write failed.
    if (const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

void ReplaceFileContentsOrThrow(const std::string& path, std::string_view bytes) {
    if (const int error = ReplaceFileContents(path, bytes))
        throw std::system_error(error, std::generic_category(), "cannot write");
}

}  // namespace vnu
