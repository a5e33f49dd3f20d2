#include "AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace vhost::pdf {
namespace {

[[noreturn]] void Fail(const std::string& what, int error) {
    throw std::runtime_error(what + ": " + std::generic_category().message(error));
}

// Removes the temporary file unless it was renamed into place.
class TemporaryFile {
public:
    TemporaryFile(const std::string& folder, const std::string& base) {
        // Hidden, so that nobody opens a file being written; named after its target so that one
        // left behind by a crash says where it came from; cut short to stay within NAME_MAX.
        static std::atomic<unsigned> counter = 0;
        const std::string stem = (folder == "/" ? "" : folder) + "/." + base.substr(0, 200) + "." +
                                 std::to_string(::getpid()) + "-";
        do {
            path_ = stem + std::to_string(counter++) + ".tmp";
            // 0666 lets the umask decide, as for any file the user creates.
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        } while (fd_ < 0 && errno == EEXIST);
        if (fd_ < 0) Fail("cannot create a file in " + folder, errno);
    }
    ~TemporaryFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void write(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) Fail("cannot write " + path_, errno);
            bytes.remove_prefix(size_t(n));
        }
        if (::fsync(fd_) != 0) Fail("cannot flush " + path_ + " to disk", errno);
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) Fail("cannot write " + path_, errno);
    }

    void renameTo(const std::string& target) {
        if (::rename(path_.c_str(), target.c_str()) != 0) Fail("cannot replace the file", errno);
        path_.clear();
    }

private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = path.substr(slash + 1);
    if (base.empty() || base == "." || base == "..") throw std::runtime_error("names a folder, not a file");

    TemporaryFile temporary(folder, base);
    temporary.write(bytes);
    temporary.renameTo(path);

    // The rename reaches the disk with the folder. The file is in place already, so a folder that
    // cannot be flushed is no reason to call the export failed.
    if (const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace vhost::pdf
