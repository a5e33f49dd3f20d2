#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "ExitCleanup.h"

// Every scenario runs in a forked child: the list, the handlers and the exit hook are
// process-wide and installed once. The child reports through a pipe, one letter per event.
namespace {

int g_report = -1;

void report(char c) {
    (void)!write(g_report, &c, 1);
}

void cleanupA(bool normalExit) {
    report(normalExit ? 'A' : 'a');
}
void cleanupB(bool normalExit) {
    report(normalExit ? 'B' : 'b');
}

void plainHandlerExits(int signal) {
    report(signal == SIGTERM ? 'H' : '?');
    _exit(7);
}

void infoHandlerExits(int signal, siginfo_t* info, void* context) {
    const bool same = signal == SIGTERM && info != nullptr && info->si_signo == SIGTERM &&
                      info->si_pid == getpid() && context != nullptr;
    report(same ? 'S' : '?');
    _exit(8);
}

bool isCrashProofHandler(int signal) {
    struct sigaction current {};
    sigaction(signal, nullptr, &current);
    return (current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == CrashProofHandler &&
           sigismember(&current.sa_mask, SIGTERM) == 0 && sigismember(&current.sa_mask, SIGINT) == 0;
}

// Runs `body` in a child; what it reported and its exit code (-1 when it did not exit).
template <typename Body>
std::pair<std::string, int> runInChild(Body body) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        g_report = fds[1];
        body();
        _exit(99);  // the scenario should have ended the process itself
    }
    close(fds[1]);
    std::string reported;
    char buffer[64];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) reported.append(buffer, size_t(n));
    close(fds[0]);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    return {reported, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST(ExitCleanup, Scenarios) {
    const struct {
        const char* name;
        void (*body)();
        std::string reported;
        int code;
    } scenarios[] = {
        {"nothing is installed before the first registration",
         [] {
             signal(SIGTERM, plainHandlerExits);
             struct sigaction before {};
             sigaction(SIGTERM, nullptr, &before);
             report(g_termFuncList.size() == 0 && before.sa_handler == plainHandlerExits &&
                            !isCrashProofHandler(SIGINT) && !isCrashProofHandler(SIGSEGV)
                        ? '0'
                        : '?');
             registerCleanup(cleanupA);
             report(isCrashProofHandler(SIGINT) && isCrashProofHandler(SIGTERM) &&
                            isCrashProofHandler(SIGSEGV) && isCrashProofHandler(SIGBUS) &&
                            g_termFuncList.size() == 1
                        ? '1'
                        : '?');
             std::exit(0);
         },
         "01A", 0},
        {"at exit, in registration order, as often as registered",
         [] {
             registerCleanup(cleanupA);
             registerCleanup(cleanupB);
             registerCleanup(cleanupA);
             for (int i = 0; i < 20; ++i) registerCleanup(cleanupB);
             report('|');
             std::exit(3);
         },
         "|ABA" + std::string(20, 'B'), 3},
        {"SIGTERM runs the clean-ups, then the earlier handler",
         [] {
             signal(SIGTERM, plainHandlerExits);
             registerCleanup(cleanupA);
             registerCleanup(cleanupB);
             raise(SIGTERM);
         },
         "abH", 7},
        {"an earlier handler with SA_SIGINFO gets the signal's information",
         [] {
             struct sigaction action {};
             action.sa_sigaction = infoHandlerExits;
             action.sa_flags = SA_SIGINFO;
             sigaction(SIGTERM, &action, nullptr);
             registerCleanup(cleanupA);
             kill(getpid(), SIGTERM);
         },
         "aS", 8},
        {"an earlier handler that returns lets the process go on",
         [] {
             signal(SIGINT, [](int) { report('H'); });
             registerCleanup(cleanupA);
             raise(SIGINT);
             report('|');
             std::exit(5);  // the clean-ups run a second time
         },
         "aH|A", 5},
        {"a real fault with the default disposition exits with status 0",
         [] {
             signal(SIGSEGV, SIG_DFL);  // sanitizer runtimes install their own handlers
             registerCleanup(cleanupA);
             void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
             *static_cast<volatile char*>(page) = 1;
         },
         "a", 0},
    };
    for (const auto& s : scenarios) EXPECT_EQ(runInChild(s.body), std::pair(s.reported, s.code)) << s.name;

    // SIG_IGN and SIG_DFL are no handler functions, also when saved with SA_SIGINFO set.
    for (const auto& [disposition, flags] : {std::pair{SIG_IGN, 0}, {SIG_DFL, SA_SIGINFO}}) {
        const auto ended = runInChild([&] {
            struct sigaction action {};
            action.sa_handler = disposition;
            action.sa_flags = flags;
            sigaction(SIGINT, &action, nullptr);
            registerCleanup(cleanupA);
            raise(SIGINT);
        });
        EXPECT_EQ(ended, std::pair(std::string("a"), 0)) << flags;
    }
}

}  // namespace
