// Registered processes: enumeration, information, activation.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "PlatformTestSupport.h"

namespace platform_test {
namespace {

using Info = std::map<std::string, std::string>;

OSErr InformationOf(pid_t pid, Info* info) {
    const ProcessSerialNumber psn = PsnOf(pid);
    return ProcessInformationCopyDictionary(&psn, kProcessDictionaryIncludeAllInformationMask, *info);
}

TEST(Processes, EnumerationGivesEveryRegisteredProcessInPidOrderThenEnds) {
    // One bundle identifier twice: only one process owns the name, both take part.
    Peer first("com.corvane.TwinPeer"), second("com.corvane.TwinPeer");
    ASSERT_TRUE(first.waitRegistered() && second.waitRegistered());
    const std::vector<pid_t> pids = RegisteredPids();
    EXPECT_TRUE(std::is_sorted(pids.begin(), pids.end()));
    for (pid_t pid : {::getpid(), first.pid(), second.pid()}) {
        EXPECT_NE(std::find(pids.begin(), pids.end(), pid), pids.end()) << pid;
        Info info;
        EXPECT_EQ(InformationOf(pid, &info), noErr);
    }
    ProcessSerialNumber last = PsnOf(pids.back());
    EXPECT_EQ(GetNextProcess(&last), procNotFound);
}

TEST(Processes, InformationComesFromSelfAndFromPeers) {
    Info info;
    const ProcessSerialNumber current{0, kCurrentProcess};
    ASSERT_EQ(ProcessInformationCopyDictionary(&current, kProcessDictionaryIncludeAllInformationMask, info),
              noErr);
    EXPECT_EQ(info,
              (Info{{kCFBundleIdentifierKey, kSelfBundleId}, {kProcessBundlePathKey, kSelfBundlePath}}));

    Peer peer("com.corvane.InfoPeer");
    ASSERT_TRUE(peer.waitRegistered());
    ASSERT_EQ(InformationOf(peer.pid(), &info), noErr);
    EXPECT_EQ(info, (Info{{kCFBundleIdentifierKey, "com.corvane.InfoPeer"},
                          {kProcessBundlePathKey, PLATFORM_PEER}}));

    const pid_t exited = ::fork();
    if (exited == 0) ::_exit(0);
    ::waitpid(exited, nullptr, 0);
    EXPECT_EQ(InformationOf(exited, &info), procNotFound);
}

TEST(Processes, ActivationIsRecordedByTheTarget) {
    Peer peer("com.corvane.FrontPeer");
    ASSERT_TRUE(peer.waitRegistered());
    const ProcessSerialNumber psn = PsnOf(peer.pid()), self{0, kCurrentProcess};
    ASSERT_EQ(SetFrontProcess(&psn), noErr);
    ASSERT_TRUE(Echo(peer.pid()));
    EXPECT_EQ(Inbox().back().what(), std::to_string(kEchoRefcon) + " VnTs echo 1");

    const unsigned before = VNActivationCount();
    EXPECT_EQ(SetFrontProcess(&self), noErr);
    EXPECT_EQ(VNActivationCount(), before + 1);
    EXPECT_EQ(VNRegisterProcess("com.corvane.Again", "/again"), paramErr) << "a process registers once";
}

}  // namespace
}  // namespace platform_test
