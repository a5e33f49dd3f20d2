// Registered processes: enumeration, information, registration.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "PlatformTestSupport.h"

namespace platform_test {
namespace {

using Info = std::map<std::string, std::string>;

TEST(Processes, EnumerationGivesEveryRegisteredProcessInPidOrderWithItsInformation) {
    // One bundle identifier twice: only one process owns the name, both take part.
    Peer first("com.corvane.TwinPeer"), second("com.corvane.TwinPeer");
    std::vector<pid_t> pids;
    ProcessSerialNumber psn{0, kNoProcess};
    OSErr end;
    while ((end = GetNextProcess(&psn)) == noErr) pids.push_back(static_cast<pid_t>(psn.lowLongOfPSN));
    EXPECT_EQ(end, procNotFound);
    EXPECT_TRUE(std::is_sorted(pids.begin(), pids.end()));
    for (pid_t pid : {::getpid(), first.pid(), second.pid()})
        EXPECT_NE(std::find(pids.begin(), pids.end(), pid), pids.end()) << pid;

    const Info peer{{kCFBundleIdentifierKey, "com.corvane.TwinPeer"}, {kProcessBundlePathKey, EVENT_PEER}};
    const std::pair<ProcessSerialNumber, Info> cases[] = {
        {{0, kCurrentProcess},
         {{kCFBundleIdentifierKey, kSelfBundleId},
          {kProcessBundlePathKey, testing_support::OwnProgramPath()}}},
        {PsnOf(first.pid()), peer},
        {PsnOf(second.pid()), peer},
        {PsnOf(ExitedPid()), {}}};
    for (const auto& [of, expected] : cases) {
        Info info;
        EXPECT_EQ(ProcessInformationCopyDictionary(&of, kProcessDictionaryIncludeAllInformationMask, info),
                  expected.empty() ? procNotFound : noErr);
        EXPECT_EQ(info, expected) << of.lowLongOfPSN;
    }
}

TEST(Processes, AProcessRegistersOnce) {
    EXPECT_EQ(VNRegisterProcess("com.corvane.Again", "/again"), paramErr);
}

}  // namespace
}  // namespace platform_test
