// Writes that fail as on a full disk: a file-size limit for the process, with SIGXFSZ ignored,
// makes every write past `bytes` fail with EFBIG. It binds root as well, which permissions do
// not, so it works in a container run as root.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <stdexcept>

namespace fault {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &savedAction_);
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        const struct rlimit limit {bytes, saved_.rlim_max};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("setrlimit failed");
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::sigaction(SIGXFSZ, &savedAction_, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    struct rlimit saved_ {};
    struct sigaction savedAction_ {};
};

}  // namespace fault
