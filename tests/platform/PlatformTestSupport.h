// The platform tests' session (SessionEnvironment.h), registered as kSelfBundleId, and the
// 'VnTs'/'gone' events it receives, of which the inbox keeps the '----' texts.
#pragma once

#include <string>
#include <vector>

#include "SessionEnvironment.h"
#include "os/AppleEvents.h"

namespace platform_test {

using testing::HasSubstr;
using testing_support::Peer;

constexpr char kSelfBundleId[] = "com.corvane.PlatformTest";
constexpr AEEventClass kTestClass = FOUR_CHAR_CODE("VnTs");
constexpr AEEventID kEcho = FOUR_CHAR_CODE("echo");
constexpr AEEventID kGone = FOUR_CHAR_CODE("gone");

inline std::vector<std::string>& Inbox() {
    static std::vector<std::string> inbox;
    return inbox;
}

inline bool AwaitEvents(size_t count) {
    return testing_support::PumpEventsUntil([count] { return Inbox().size() >= count; });
}

inline ProcessSerialNumber PsnOf(pid_t pid) {
    return ProcessSerialNumber{0, static_cast<uint32_t>(pid)};
}

// A pid that was a process a moment ago and is none now.
inline pid_t ExitedPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

class PlatformEnvironment : public testing_support::SessionEnvironment {
public:
    PlatformEnvironment() : SessionEnvironment(kSelfBundleId) {}
    void SetUp() override {
        SessionEnvironment::SetUp();
        const auto record = [](const AppleEvent* event, AppleEvent*, SRefCon) -> OSErr {
            Inbox().push_back(testing_support::TextParameter(event, keyDirectObject).value_or("(none)"));
            return noErr;
        };
        ASSERT_EQ(AEInstallEventHandler(kTestClass, kGone, record, 0, false), noErr);
    }
};

// Once for the program, whichever test file includes this first.
inline const auto* const g_environment = testing::AddGlobalTestEnvironment(new PlatformEnvironment);

}  // namespace platform_test
