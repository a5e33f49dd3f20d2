// Clean-up functions that run at normal exit and on the first fatal or terminating signal.
#pragma once

#include <signal.h>

#include <atomic>
#include <cstddef>

// normalExit: true at process exit, false from the signal handler.
using CleanupFunction = void (*)(bool normalExit);

// The registered functions in registration order. Trivially destructible and updated so that a
// signal handler can read it at any moment, even while a registration grows it or the process
// is already destroying its statics.
class TermFuncList {
public:
    size_t size() const { return count_.load(); }
    CleanupFunction operator[](size_t i) const { return items_.load()[i]; }
    void push_back(CleanupFunction fn);

private:
    std::atomic<CleanupFunction*> items_{nullptr};
    std::atomic<size_t> count_{0};
    size_t capacity_ = 0;
};

extern TermFuncList g_termFuncList;

// Appends fn; the first registration also installs CrashProofHandler for SIGINT, SIGTERM,
// SIGSEGV and SIGBUS (keeping the earlier dispositions) and then AtExitCleanup with atexit.
void registerCleanup(CleanupFunction fn);
// Calls every registered function with true.
void AtExitCleanup();
// Calls every registered function with false, then the earlier handler of the signal if it had
// one; otherwise ends the process with _exit(0).
void CrashProofHandler(int signal, siginfo_t* info, void* context);
