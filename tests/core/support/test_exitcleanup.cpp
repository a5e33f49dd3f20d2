#include "support/ExitCleanup.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

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

bool crashProof(int signal) {
    struct sigaction current {};
    sigaction(signal, nullptr, &current);
    return (current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == CrashProofHandler &&
           sigismember(&current.sa_mask, SIGTERM) == 0 && sigismember(&current.sa_mask, SIGINT) == 0;
}

// An earlier SIGINT handler function, with or without SA_SIGINFO.
void setEarlier(void (*handler)(int), void (*infoHandler)(int, siginfo_t*, void*)) {
    struct sigaction action {};
    action.sa_handler = handler;
    if (infoHandler != nullptr) action.sa_sigaction = infoHandler;
    action.sa_flags = infoHandler != nullptr ? SA_SIGINFO : 0;
    sigaction(SIGINT, &action, nullptr);
}

// What `body` reported in a child, and its exit code (-1 when it did not exit).
std::pair<std::string, int> runInChild(void (*body)()) {
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
        {"handlers from the first registration on; at exit, in order, as often as registered",
         [] {
             report(!crashProof(SIGINT) && !crashProof(SIGSEGV) ? '0' : '?');
             for (auto fn : {cleanupA, cleanupB, cleanupA}) registerCleanup(fn);
             for (int i = 0; i < 20; ++i) registerCleanup(cleanupB);
             const bool all = crashProof(SIGINT) && crashProof(SIGTERM) && crashProof(SIGSEGV);
             report(all && crashProof(SIGBUS) ? '|' : '?');
             std::exit(3);
         },
         "0|ABA" + std::string(20, 'B'), 3},
        {"a signal runs the clean-ups, then the earlier handler",
         [] {
             setEarlier(
                 [](int signal) {
                     report(signal == SIGINT ? 'H' : '?');
                     _exit(7);
                 },
                 nullptr);
             registerCleanup(cleanupA);
             registerCleanup(cleanupB);
             raise(SIGINT);
         },
         "abH", 7},
        {"an earlier handler with SA_SIGINFO gets the signal's information",
         [] {
             setEarlier(nullptr, [](int signal, siginfo_t* info, void* context) {
                 const bool same = signal == SIGINT && info != nullptr && info->si_signo == SIGINT &&
                                   info->si_pid == getpid() && context != nullptr;
                 report(same ? 'S' : '?');
                 _exit(8);
             });
             registerCleanup(cleanupA);
             kill(getpid(), SIGINT);
         },
         "aS", 8},
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
}

}  // namespace
