// The platform tests' session (SessionEnvironment.h), registered as kSelfBundleId, and the
// 'VnTs'/'gone' events it receives, of which the inbox keeps the '----' texts.
#pragma once

#include <string>
#include <vector>

#include "AppleEvents.h"
#include "SessionEnvironment.h"

namespace platform_test {

using testing_support::Peer;

constexpr char kSelfBundleId[] = "com.corvane.PlatformTest";
constexpr AEEventClass kTestClass = FOUR_CHAR_CODE("VnTs");
constexpr AEEventID kEcho = FOUR_CHAR_CODE("echo");
constexpr AEEventID kGone = FOUR_CHAR_CODE("gone");
constexpr char kSendToVariable[] = "VARNEL_PEER_SEND_TO";

std::vector<std::string>& Inbox();  // emptied as every test starts

inline bool AwaitEvents(size_t count) {
    return testing_support::PumpEventsUntil([count] { return Inbox().size() >= count; });
}

inline ProcessSerialNumber PsnOf(pid_t pid) {
    return ProcessSerialNumber{0, static_cast<uint32_t>(pid)};
}

// kTestClass/`id` carrying `payload` as '----' and 'Vnmp', and this process's 'Psn '.
OSErr SendTest(ProcessSerialNumber to, AEEventID id, const std::string& payload);

}  // namespace platform_test
