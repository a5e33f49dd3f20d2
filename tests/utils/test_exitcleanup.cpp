#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "ExitCleanup.h"

// Every test runs its scenario in a forked child: the list, the handlers and the exit hook are
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

void plainHandlerReturns(int) {
    report('H');
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

struct ChildResult {
    std::string reported;
    int status = 0;
};

template <typename Body>
ChildResult runInChild(Body body) {
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
    ChildResult result;
    char buffer[64];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        result.reported.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    EXPECT_EQ(waitpid(pid, &result.status, 0), pid);
    return result;
}

void expectExit(const ChildResult& r, int code) {
    ASSERT_TRUE(WIFEXITED(r.status)) << "status " << r.status;
    EXPECT_EQ(WEXITSTATUS(r.status), code);
}

TEST(ExitCleanup, NothingIsInstalledBeforeTheFirstRegistration) {
    const ChildResult r = runInChild([] {
        signal(SIGTERM, plainHandlerExits);
        struct sigaction before {};
        sigaction(SIGTERM, nullptr, &before);
        const bool untouched = g_termFuncList.size() == 0 && before.sa_handler == plainHandlerExits &&
                               !isCrashProofHandler(SIGINT) && !isCrashProofHandler(SIGSEGV) &&
                               !isCrashProofHandler(SIGBUS);
        report(untouched ? '0' : '?');
        registerCleanup(cleanupA);
        const bool installed = isCrashProofHandler(SIGINT) && isCrashProofHandler(SIGTERM) &&
                               isCrashProofHandler(SIGSEGV) && isCrashProofHandler(SIGBUS) &&
                               g_termFuncList.size() == 1;
        report(installed ? '1' : '?');
        std::exit(0);
    });
    EXPECT_EQ(r.reported, "01A");
    expectExit(r, 0);
}

TEST(ExitCleanup, RunsAtExitInRegistrationOrder) {
    const ChildResult r = runInChild([] {
        registerCleanup(cleanupA);
        registerCleanup(cleanupB);
        registerCleanup(cleanupA);  // registered twice, runs twice
        for (int i = 0; i < 20; ++i) registerCleanup(cleanupB);
        report('|');
        std::exit(3);
    });
    EXPECT_EQ(r.reported, "|ABA" + std::string(20, 'B'));
    expectExit(r, 3);
}

TEST(ExitCleanup, SigtermRunsCleanupsThenTheEarlierHandler) {
    const ChildResult plain = runInChild([] {
        signal(SIGTERM, plainHandlerExits);
        registerCleanup(cleanupA);
        registerCleanup(cleanupB);
        raise(SIGTERM);
    });
    EXPECT_EQ(plain.reported, "abH");
    expectExit(plain, 7);

    const ChildResult withInfo = runInChild([] {
        struct sigaction action {};
        action.sa_sigaction = infoHandlerExits;
        action.sa_flags = SA_SIGINFO;
        sigaction(SIGTERM, &action, nullptr);
        registerCleanup(cleanupA);
        kill(getpid(), SIGTERM);
    });
    EXPECT_EQ(withInfo.reported, "aS");
    expectExit(withInfo, 8);
}

TEST(ExitCleanup, EarlierHandlerThatReturnsLetsTheProcessGoOn) {
    const ChildResult r = runInChild([] {
        signal(SIGINT, plainHandlerReturns);
        registerCleanup(cleanupA);
        raise(SIGINT);
        report('|');
        std::exit(5);  // the clean-ups run a second time
    });
    EXPECT_EQ(r.reported, "aH|A");
    expectExit(r, 5);
}

TEST(ExitCleanup, FaultWithDefaultDispositionExitsWithStatusZero) {
    // A real fault on an inaccessible page; sanitizer runtimes install their own handlers, so
    // the default disposition is restored first.
    const ChildResult segv = runInChild([] {
        signal(SIGSEGV, SIG_DFL);
        registerCleanup(cleanupA);
        void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        *static_cast<volatile char*>(page) = 1;
    });
    EXPECT_EQ(segv.reported, "a");
    expectExit(segv, 0);

    const ChildResult bus = runInChild([] {
        signal(SIGBUS, SIG_DFL);
        registerCleanup(cleanupB);
        raise(SIGBUS);
    });
    EXPECT_EQ(bus.reported, "b");
    expectExit(bus, 0);
}

TEST(ExitCleanup, IgnoredOrDefaultDispositionEndsTheProcess) {
    // SIG_IGN and SIG_DFL are no handler functions, also when saved with SA_SIGINFO set.
    for (const auto disposition : {SIG_IGN, SIG_DFL}) {
        for (const int flags : {0, SA_SIGINFO}) {
            const ChildResult r = runInChild([&] {
                struct sigaction action {};
                action.sa_handler = disposition;
                action.sa_flags = flags;
                sigaction(SIGINT, &action, nullptr);
                registerCleanup(cleanupA);
                raise(SIGINT);
                report('!');  // not reached
            });
            EXPECT_EQ(r.reported, "a") << flags;
            expectExit(r, 0);
        }
    }
}

TEST(ExitCleanup, OtherSignalsEndTheProcessAfterTheCleanups) {
    const ChildResult r = runInChild([] {
        signal(SIGUSR1, plainHandlerExits);
        registerCleanup(cleanupA);
        CrashProofHandler(SIGUSR1, nullptr, nullptr);
        report('!');
    });
    EXPECT_EQ(r.reported, "a");
    expectExit(r, 0);
}

}  // namespace
