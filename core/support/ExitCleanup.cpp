#include "support/ExitCleanup.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>

TermFuncList g_termFuncList;

namespace {

constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGSEGV, SIGBUS};
constexpr size_t kSignalCount = sizeof kHandledSignals / sizeof kHandledSignals[0];
struct sigaction s_savedActions[kSignalCount];

}  // namespace

void TermFuncList::push_back(CleanupFunction fn) {
    const size_t n = count_.load();
    CleanupFunction* items = items_.load();
    if (n == capacity_) {
        const size_t grown = capacity_ == 0 ? 4 : capacity_ * 2;
        auto* fresh = static_cast<CleanupFunction*>(std::malloc(grown * sizeof(CleanupFunction)));
        if (fresh == nullptr) throw std::bad_alloc();
        if (n != 0) std::memcpy(fresh, items, n * sizeof(CleanupFunction));
        // Publish the copy before releasing the old array so a handler never reads freed memory.
        items_.store(fresh);
        std::free(items);
        items = fresh;
        capacity_ = grown;
    }
    items[n] = fn;
    count_.store(n + 1);
}

void registerCleanup(CleanupFunction fn) {
    if (g_termFuncList.size() == 0) {
        struct sigaction action {};
        action.sa_sigaction = CrashProofHandler;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < kSignalCount; ++i) sigaction(kHandledSignals[i], &action, &s_savedActions[i]);
        std::atexit(AtExitCleanup);
    }
    g_termFuncList.push_back(fn);
}

void AtExitCleanup() {
    for (size_t i = 0; i < g_termFuncList.size(); ++i) g_termFuncList[i](true);
}

void CrashProofHandler(int signal, siginfo_t* info, void* context) {
    for (size_t i = 0; i < g_termFuncList.size(); ++i) g_termFuncList[i](false);

    for (size_t i = 0; i < kSignalCount; ++i) {
        if (kHandledSignals[i] != signal) continue;
        const struct sigaction& previous = s_savedActions[i];
        // SIG_DFL and SIG_IGN may come with SA_SIGINFO set; they are no functions to call.
        if (previous.sa_handler == SIG_DFL || previous.sa_handler == SIG_IGN) break;
        if ((previous.sa_flags & SA_SIGINFO) != 0)
            previous.sa_sigaction(signal, info, context);
        else
            previous.sa_handler(signal);
        return;
    }
    // No earlier handler function to hand over to: this ends even an "ignored" signal.
    _exit(0);
}
