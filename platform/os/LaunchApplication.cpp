// Starting an application detached from the caller: a session of its own, standard streams on
// /dev/null, no other descriptor inherited, default signal handling, and no child left to reap.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "os/LaunchEnvironment.h"
#include "os/LaunchServices.h"

extern char** environ;

namespace {

// Everything the launched program gets, prepared before fork: between fork and exec only
// async-signal-safe calls may run.
struct LaunchPlan {
    std::string path;
    std::vector<std::string> environment;
    std::vector<char*> argv;
    std::vector<char*> envp;
    char* pidDigits = nullptr;  // the activation variable's value, written by the program's process
    long maxFd = 0;

    LaunchPlan(const std::string& program, bool activate) : path(program) {
        const std::string prefix = std::string(vnplatform::kLaunchActivateVariable) + "=";
        for (char** entry = environ; *entry != nullptr; ++entry)
            if (std::string(*entry).compare(0, prefix.size(), prefix) != 0) environment.emplace_back(*entry);
        if (activate) environment.push_back(prefix + std::string(24, '\0'));
        for (std::string& entry : environment) envp.push_back(entry.data());
        envp.push_back(nullptr);
        if (activate) pidDigits = environment.back().data() + prefix.size();
        argv = {path.data(), nullptr};
        maxFd = ::sysconf(_SC_OPEN_MAX);
    }
};

void WriteDecimal(char* out, long value) {
    char reversed[24];
    int n = 0;
    do {
        reversed[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = 0; i < n; ++i) out[i] = reversed[n - 1 - i];
    out[n] = '\0';
}

void Report(int fd, int error) {
    while (::write(fd, &error, sizeof error) < 0 && errno == EINTR) {
    }
}

void CloseFrom(int first, long maxFd) {
    if (::close_range(static_cast<unsigned>(first), ~0U, 0) == 0) return;
    for (long fd = first; fd < maxFd; ++fd) ::close(static_cast<int>(fd));
}

void ResetSignals() {
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &standard, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// In the forked child: leaves a grandchild that is no session leader (so it never takes a
// terminal) and whose parent is gone at once (so nobody has to wait for it).
[[noreturn]] void RunDetached(const LaunchPlan& plan, int reportFd) {
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild != 0) {
        if (grandchild < 0) Report(reportFd, errno);
        ::_exit(0);
    }
    int report = ::fcntl(reportFd, F_DUPFD_CLOEXEC, 3);
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (report < 0 || null < 0) {
        Report(reportFd, errno);
        ::_exit(127);
    }
    for (int fd = 0; fd < 3; ++fd) ::dup2(null, fd);
    if (report != 3) report = ::dup3(report, 3, O_CLOEXEC);
    CloseFrom(4, plan.maxFd);
    ResetSignals();
    if (plan.pidDigits != nullptr) WriteDecimal(plan.pidDigits, ::getpid());
    ::execve(plan.path.c_str(), plan.argv.data(), plan.envp.data());
    Report(report, errno);
    ::_exit(127);
}

}  // namespace

OSStatus LSOpenApplication(const std::string& applicationPath, uint32_t launchFlags) {
    if (applicationPath.empty() || applicationPath[0] != '/') return paramErr;
    struct stat info;
    if (::stat(applicationPath.c_str(), &info) != 0) return kLSApplicationNotFoundErr;
    if (!S_ISREG(info.st_mode) || ::access(applicationPath.c_str(), X_OK) != 0) return kLSNoExecutableErr;
    const LaunchPlan plan(applicationPath, (launchFlags & kLSLaunchDontSwitch) == 0);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return kLSUnknownErr;
    const pid_t child = ::fork();
    if (child == 0) RunDetached(plan, pipeFds[1]);
    ::close(pipeFds[1]);
    if (child > 0)
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    // The pipe closes on exec, so this waits for the program to start, never for it to finish.
    int childError = 0;
    ssize_t n;
    while ((n = ::read(pipeFds[0], &childError, sizeof childError)) < 0 && errno == EINTR) {
    }
    ::close(pipeFds[0]);
    if (child < 0) return kLSUnknownErr;
    if (n != static_cast<ssize_t>(sizeof childError)) return noErr;
    return childError == EACCES || childError == ENOENT || childError == ENOEXEC ? kLSNoExecutableErr
                                                                                 : kLSUnknownErr;
}
