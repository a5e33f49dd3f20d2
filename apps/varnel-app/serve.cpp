#include "serve.h"

#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <fcntl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "companion.h"
#include "control_service.h"
#include "os/EventLoop.h"
#include "os/Processes.h"
#include "support/UFileSpecCore.h"
#include "support/ulogger.h"

namespace varnel_app {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBundleId = "com.corvane.Varnel";

// The bundle path the application registers with, and what the plug-in finds through the
// desktop entry: this program.
std::string ownProgram() {
    char path[PATH_MAX];
    return ::realpath("/proc/self/exe", path) != nullptr ? path : "";
}

std::string absolute(const std::string& folder) {
    return fs::absolute(folder).lexically_normal().string();
}

// Empty when no folder is given and the installed examples are not there either.
std::string jobsFolder(const Options& options) {
    if (!options.jobsFolder.empty()) return absolute(options.jobsFolder);
    if (const char* fromEnvironment = ::getenv("VARNEL_JOBS");
        fromEnvironment != nullptr && *fromEnvironment != 0)
        return absolute(fromEnvironment);
    const fs::path installed = fs::path(ownProgram()).parent_path() / "../share/varnel/jobs";
    std::error_code error;
    return fs::is_directory(installed, error) ? installed.lexically_normal().string() : std::string();
}

// The application's own data: the jobs it changed and its history, never the folder it serves.
std::string stateFolder() {
    UFileSpecCore folder(UFileSpecCore::eSpecialFolder_SharedData);
    if (!folder.isValid() || !folder.add("varnel")) throw std::runtime_error("no data folder (set HOME)");
    return folder.path().str();
}

// Started by the bus or by the plug-in, with no terminal to tell: the log goes to a file in the
// state folder, cut back to a second file when it grows large.
void logToStateFile() {
    UFileSpecCore folder(UFileSpecCore::eSpecialFolder_Logs);
    if (!folder.isValid() || !folder.add("varnel")) return;
    const fs::path log = fs::path(folder.path().str()) / "varnel-app.log";
    std::error_code error;
    fs::create_directories(log.parent_path(), error);
    if (fs::file_size(log, error) > (8u << 20)) fs::rename(log, log.string() + ".1", error);
    const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
}

std::string outFolder(const Options& options) {
    if (!options.outFolder.empty()) return absolute(options.outFolder);
    UFileSpecCore folder(UFileSpecCore::eSpecialFolder_SharedData);
    if (!folder.isValid() || !folder.add("varnel/out"))
        throw std::runtime_error("no data folder: give --out DIR");
    return folder.path().str();
}

void loadJobs(JobStore& store, const ReplyBuilder& replies, const std::string& folder,
              const std::string& changes) {
    if (folder.empty()) {
        // The plug-in may start us with no folder to serve; answer what can be answered.
        VN_LOG_WARN("no jobs folder (give --jobs DIR or set VARNEL_JOBS): serving no jobs");
        return;
    }
    std::vector<std::string> problems;
    store.load(
        folder, changes, [&](const StoredJob& job) { replies.bytes(job); }, problems);
    for (const std::string& problem : problems) VN_LOG_ERROR("left out " << problem);
    VN_LOG_INFO("holding " << static_cast<unsigned long>(store.jobs().size()) << " jobs of " << folder
                           << ", their changes in " << changes);
}

int signalDescriptor() {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    if (::sigprocmask(SIG_BLOCK, &stops, nullptr) != 0) return -1;
    ::signal(SIGPIPE, SIG_IGN);  // a closed standard output must not end us
    return ::signalfd(-1, &stops, SFD_CLOEXEC);
}

int millisecondsUntil(int64_t firstUsec, int64_t secondUsec) {
    const auto earliest = firstUsec < 0    ? secondUsec
                          : secondUsec < 0 ? firstUsec
                                           : std::min(firstUsec, secondUsec);
    if (earliest < 0) return -1;
    return static_cast<int>(std::min<int64_t>((earliest + 999) / 1000, INT_MAX));
}

int run(ControlService& control, int stops) {
    for (;;) {
        // Only before registering; a connection lost later is made again by the platform.
        if (const int r = VNProcessEvents(); r < 0) {
            VN_LOG_ERROR("no session bus: " << std::strerror(-r));
            return 1;
        }
        control.process();
        const VNPollSpec events = VNEventPollSpec();
        pollfd waits[] = {{events.fd, events.events, 0}, control.pollEntry(), {stops, POLLIN, 0}};
        if (::poll(waits, 3, millisecondsUntil(events.timeoutUsec, control.timeoutUsec())) < 0 &&
            errno != EINTR) {
            VN_LOG_ERROR("poll failed: " << std::strerror(errno));
            return 1;
        }
        if ((waits[2].revents & POLLIN) != 0) {
            signalfd_siginfo stop{};
            if (::read(stops, &stop, sizeof stop) == sizeof stop)
                VN_LOG_INFO("stopping on " << ::strsignal(static_cast<int>(stop.ssi_signo)));
            return 0;
        }
    }
}

}  // namespace

int serve(const Options& options) {
    try {
        if (!options.commandNamed && (::getenv("DBUS_STARTER_BUS_TYPE") != nullptr || !::isatty(STDERR_FILENO)))
            logToStateFile();
        const ReplyBuilder replies(outFolder(options));
        fs::create_directories(replies.outFolder());
        const std::string state = stateFolder();
        JobStore store;
        loadJobs(store, replies, jobsFolder(options), state + "/jobs");
        ExportHistory history(state + "/history");
        Companion companion(store, replies, history, std::cout);
        // The control name is taken first: it tells a second instance that this one serves.
        // Commands are answered once the loop runs, so an answered command means the event
        // channel is registered too.
        ControlService control(companion);
        companion.onExportReported([&control](const std::string& identifier, const std::string& line) {
            control.exportReported(identifier, line);
        });
        const RequestHandler handler = [&](const Request& request) { companion.handle(request); };
        if (const OSErr status = installRequestHandlers(handler); status != noErr)
            throw std::runtime_error("cannot install the request handlers (status " + std::to_string(status) +
                                     ")");
        if (const OSErr status = VNRegisterProcess(kBundleId, ownProgram()); status != noErr)
            throw std::runtime_error(std::string("cannot register ") + kBundleId +
                                     " on the session bus (status " + std::to_string(status) + ")");
        const int stops = signalDescriptor();
        if (stops < 0)
            throw std::runtime_error(std::string("cannot watch for signals: ") + std::strerror(errno));
        VN_LOG_INFO("serving as " << kBundleId << ", exports under " << replies.outFolder());
        const int status = run(control, stops);
        ::close(stops);
        return status;
    } catch (const std::exception& e) {
        std::cerr << "varnel-app: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace varnel_app
