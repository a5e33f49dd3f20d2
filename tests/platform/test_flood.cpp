// A flood of events from another program of the same user: the receiver stays up, takes the
// next event right after, and gives back what the flood made it hold.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

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

    const auto flood = testing_support::RunProgram({EVENT_FLOOD, "com.corvane.FloodTarget", "2"});
    ASSERT_EQ(flood.status, 0) << flood.err;
    EXPECT_GT(std::stoul(flood.out), 1000u) << "not much of a flood";

    ASSERT_EQ(::kill(peer.pid(), 0), 0) << "the receiver died";
    ASSERT_EQ(TestEvent(kTestClass, kEcho, PsnOf(peer.pid()), {{keyDirectObject, "after the flood"}}).send(),
              noErr);
    std::string line;
    while (!(line = peer.nextLine()).empty() && line.find("after the flood") == std::string::npos) {
    }
    EXPECT_NE(line, "") << "the event after the flood did not arrive";
    // Within a tenth of where it was; a small process gets a mebibyte, what the bus library's
    // buffers alone may keep.
    EXPECT_LE(StatusKiB(peer.pid(), "VmRSS"), before + std::max(before / 10, 1024L));
    // Refusals are told once per burst, not once per event.
    const std::string log = peer.err();
    EXPECT_LT(std::count(log.begin(), log.end(), '\n'), 10) << log;
}

}  // namespace
}  // namespace platform_test
