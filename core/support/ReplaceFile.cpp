#include "support/ReplaceFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

namespace vnu {
namespace {

std::atomic<unsigned> s_counter{0};

// Temporary files are named ".<target>.<pid>-<n>.tmp": hidden, so that nobody opens a file
// being written, and naming their target and writer. The target's name is cut short to stay
// within NAME_MAX.
std::string TemporaryPrefix(const std::string& name) {
    return "." + name.substr(0, 200) + ".";
}

// The digits at the front of `text`, moved past; -1 when there are none.
long TakeNumber(std::string_view& text) {
    long value = 0;
    std::size_t i = 0;
    for (; i < text.size() && i < 9 && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10 + (text[i] - '0');
    text.remove_prefix(i);
    return i == 0 ? -1 : value;
}

// A writer killed between creating its temporary file and the rename leaves it behind; the next
// writer of the same file removes those whose process is gone.
void RemoveLeftovers(const std::string& folder, const std::string& prefix) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        std::string_view rest = entry->d_name;
        if (rest.substr(0, prefix.size()) != prefix) continue;
        rest.remove_prefix(prefix.size());
        const long pid = TakeNumber(rest);
        if (pid <= 0 || rest.substr(0, 1) != "-") continue;
        rest.remove_prefix(1);
        if (TakeNumber(rest) < 0 || rest != ".tmp") continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// O_EXCL settles a clash with a leftover whose process number came round again.
int CreateBeside(const std::string& folder, const std::string& prefix, mode_t mode, std::string& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder + prefix + std::to_string(::getpid()) + "-" + std::to_string(s_counter++) + ".tmp";
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
    const std::string prefix = TemporaryPrefix(path.substr(folder.size()));
    std::string temporary;
    const int fd = CreateBeside(folder, prefix, newMode, temporary);
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
    RemoveLeftovers(folder, prefix);
    return 0;
}

void ReplaceFileContentsOrThrow(const std::string& path, std::string_view bytes) {
    if (const int error = ReplaceFileContents(path, bytes))
        throw std::system_error(error, std::generic_category(), "cannot write");
}

}  // namespace vnu
