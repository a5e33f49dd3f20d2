// Registered processes: enumeration, information, activation.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "PlatformTestSupport.h"

namespace platform_test {
namespace {

std::map<std::string, std::string> InformationOf(ProcessSerialNumber psn, OSErr expected = noErr) {
    std::map<std::string, std::string> info;
    EXPECT_EQ(ProcessInformationCopyDictionary(&psn, kProcessDictionaryIncludeAllInformationMask, info), expected);
    return info;
}

TEST(Processes, EnumerationGivesEveryRegisteredProcessInPidOrderThenEnds) {
    // Two processes with one bundle identifier: only one owns its name, both take part.
    Peer first("com.corvane.TwinPeer");
    Peer second("com.corvane.TwinPeer");
    ASSERT_TRUE(first.waitRegistered());
    ASSERT_TRUE(second.waitRegistered());
    OSErr end = noErr;
    const std::vector<pid_t> pids = RegisteredPids(&end);
    EXPECT_EQ(end, procNotFound);
    EXPECT_TRUE(std::is_sorted(pids.begin(), pids.end()));
    for (pid_t pid : {::getpid(), first.pid(), second.pid()})
        EXPECT_NE(std::find(pids.begin(), pids.end(), pid), pids.end()) << pid;
    for (const Peer* peer : {&first, &second})
        EXPECT_EQ(InformationOf(PsnOf(peer->pid()))[kCFBundleIdentifierKey], "com.corvane.TwinPeer");
}

TEST(Processes, InformationComesFromSelfAndFromPeers) {
    const std::map<std::string, std::string> self = {{kCFBundleIdentifierKey, kSelfBundleId},
                                                     {kProcessBundlePathKey, kSelfBundlePath}};
    EXPECT_EQ(InformationOf(ProcessSerialNumber{0, kCurrentProcess}), self);
    EXPECT_EQ(InformationOf(PsnOf(::getpid())), self);

    Peer peer("com.corvane.InfoPeer");
    ASSERT_TRUE(peer.waitRegistered());
    const std::map<std::string, std::string> expected = {{kCFBundleIdentifierKey, "com.corvane.InfoPeer"},
                                                         {kProcessBundlePathKey, PLATFORM_PEER}};
    EXPECT_EQ(InformationOf(PsnOf(peer.pid())), expected);

    const pid_t exited = ::fork();
    if (exited == 0) ::_exit(0);
    ::waitpid(exited, nullptr, 0);
    InformationOf(PsnOf(exited), procNotFound);
}

TEST(Processes, ActivationIsRecordedByTheTarget) {
    Peer peer("com.corvane.FrontPeer");
    ASSERT_TRUE(peer.waitRegistered());
    const ProcessSerialNumber psn = PsnOf(peer.pid());
    ASSERT_EQ(SetFrontProcess(&psn), noErr);
    Received seen;
    ASSERT_TRUE(EchoFrom(peer.pid(), &seen));
    EXPECT_EQ(ReportOf(seen).activations, 1u);

    const unsigned before = VNActivationCount();
    const ProcessSerialNumber self{0, kCurrentProcess};
    EXPECT_EQ(SetFrontProcess(&self), noErr);
    EXPECT_EQ(VNActivationCount(), before + 1);
}

TEST(Processes, AProcessRegistersOnce) { EXPECT_EQ(VNRegisterProcess("com.corvane.Again", "/again"), paramErr); }

}  // namespace
}  // namespace platform_test
