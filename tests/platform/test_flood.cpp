// A flood of events from another program of the same user: the receiver stays up, takes the
// next event right after, and gives back what the flood made it hold.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <string>
#include <vector>

#include "EventText.h"
#include "PlatformTestSupport.h"
#include "ProcStatus.h"

namespace platform_test {
namespace {

using testing_support::StatusKiB;
using testing_support::TestEvent;

TEST(Flood, AReceiverOutlivesAFloodAndTakesTheNextEvent) {
    Peer peer("com.corvane.FloodTarget");
    const long before = StatusKiB(peer.pid(), "VmRSS");
    ASSERT_GT(before, 0);

    const auto flood = testing_support::RunProgram({EVENT_FLOOD, "com.corvane.FloodTarget", "1"});
    ASSERT_EQ(flood.status, 0) << flood.err;
    EXPECT_GT(std::stoul(flood.out), 1000u) << "not much of a flood";

    ASSERT_EQ(::kill(peer.pid(), 0), 0) << "the receiver died";
    ASSERT_EQ(TestEvent(kTestClass, kEcho, PsnOf(peer.pid()), {{keyDirectObject, "after the flood"}}).send(),
              noErr);
    // What the bus holds of the flood comes first; on a busy machine that may take a while.
    bool arrived = false;
    for (int quiet = 0; !arrived && quiet < 6;) {
        const std::string line = peer.nextLine();
        quiet = line.empty() ? quiet + 1 : 0;
        arrived = line.find("after the flood") != std::string::npos;
    }
    EXPECT_TRUE(arrived) << "the event after the flood did not arrive";
    // Within a tenth of where it was; a small process gets a mebibyte, what the bus library's
    // buffers alone may keep.
    EXPECT_LE(StatusKiB(peer.pid(), "VmRSS"), before + std::max(before / 10, 1024L));
    // Refusals are told once per burst, not once per event.
    const std::string log = peer.err();
    EXPECT_LT(std::count(log.begin(), log.end(), '\n'), 10) << log;
}

// An event tells who sent it, and whether that connection owns a name follows the bus as the
// name changes hands, without asking the bus again.
TEST(EventSender, NamesTheConnectionAndFollowsWhoOwnsANameNow) {
    struct Seen {
        std::string sender;
        pid_t pid = 0;
    };
    static std::vector<Seen> seen;
    const auto record = [](const AppleEvent* event, AppleEvent*, SRefCon) -> OSErr {
        Seen one;
        EXPECT_EQ(VNGetEventSender(event, &one.sender, &one.pid), noErr);
        seen.push_back(one);
        return noErr;
    };
    ASSERT_EQ(AEInstallEventHandler(kTestClass, kGone, record, 0, false), noErr);

    Peer owner("com.corvane.Owned");
    testing_support::Child sender({EVENT_PEER, "com.corvane.Sender"},
                                  {{"VARNEL_PEER_SEND_TO", std::to_string(::getpid())}, {"VARNEL_PEER_STAY", "1"}});
    ASSERT_TRUE(testing_support::PumpEventsUntil([] { return !seen.empty(); }));
    EXPECT_EQ(seen[0].pid, sender.pid());
    EXPECT_TRUE(VNIsNameOwner("com.corvane.Sender", seen[0].sender));
    EXPECT_FALSE(VNIsNameOwner("com.corvane.Owned", seen[0].sender));
    EXPECT_FALSE(VNIsNameOwner("com.corvane.Nobody", seen[0].sender));
    sender.stop();
    EXPECT_TRUE(testing_support::PumpEventsUntil(
        [&] { return !VNIsNameOwner("com.corvane.Sender", seen[0].sender); }))
        << "the name went with the process";

    testing_support::TestEvent local(kTestClass, kEcho, {}, {});
    std::string name;
    EXPECT_EQ(VNGetEventSender(&local.event, &name, nullptr), errAEDescNotFound) << "made here, sent by nobody";

    // The environment's own handler again, for the tests after this one.
    const auto inbox = [](const AppleEvent* event, AppleEvent*, SRefCon) -> OSErr {
        Inbox().push_back(testing_support::TextParameter(event, keyDirectObject).value_or("(none)"));
        return noErr;
    };
    ASSERT_EQ(AEInstallEventHandler(kTestClass, kGone, inbox, 0, false), noErr);
}

}  // namespace
}  // namespace platform_test
