// A flood of events from another program of the same user: the receiver stays up, takes the
// next event right after, and gives back what the flood made it hold.
#include <gtest/gtest.h>
#include <signal.h>

#include <unistd.h>

#include <algorithm>
#include <memory>
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

    const auto flood =
        testing_support::RunProgram({EVENT_FLOOD, "com.corvane.FloodTarget", "1", testing_support::FloodEvents()});
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
    if (!testing_support::kSanitized) {
        EXPECT_LE(StatusKiB(peer.pid(), "VmRSS"), before + std::max(before / 10, 1024L));
    }
    // Refusals are told once per burst, not once per event.
    const std::string log = peer.err();
    EXPECT_LT(std::count(log.begin(), log.end(), '\n'), 100) << log;
}

// A bus daemon at a fixed address, so that another can take its place.
class FixedBus {
public:
    explicit FixedBus(const std::string& socket) : socket_(socket) { start(); }
    void restart() {
        daemon_.reset();
        ::unlink(socket_.c_str());
        start();
    }
    std::string address() const { return "unix:path=" + socket_; }

private:
    void start() {
        const std::string config = folder_.write(
            "bus.conf",
            "<busconfig><type>session</type><listen>unix:path=" + socket_ +
                "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                "</policy></busconfig>\n");
        daemon_ = std::make_unique<testing_support::Child>(std::vector<std::string>{
            "/usr/bin/dbus-daemon", "--config-file=" + config, "--nofork", "--nopidfile", "--print-address=1"});
        if (daemon_->nextLine().empty()) throw std::runtime_error("dbus-daemon did not start");
    }
    testing_support::ScratchFolder folder_;
    std::string socket_;
    std::unique_ptr<testing_support::Child> daemon_;
};

// Whether `name` has an owner on the bus at `address`, asked as a program of its own would.
bool Owned(const std::string& address, const std::string& name) {
    const auto asked = testing_support::RunProgram(
        {"/usr/bin/dbus-send", "--bus=" + address, "--print-reply", "--dest=org.freedesktop.DBus",
         "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:" + name});
    return asked.out.find("boolean true") != std::string::npos;
}

// A process whose bus goes away connects again once a bus is back at the address, and says so
// once each way however long it had to wait.
TEST(LostBus, AProcessConnectsAgainWhenTheBusIsBack) {
    testing_support::ScratchFolder sockets;
    FixedBus bus(sockets / "bus");
    testing_support::Child peer({EVENT_PEER, "com.corvane.Reconnects"}, {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}});
    ASSERT_EQ(peer.nextLine(), "ready") << peer.err();
    ASSERT_TRUE(Owned(bus.address(), "com.corvane.Reconnects"));

    bus.restart();
    EXPECT_TRUE(testing_support::PumpEventsUntil([&] { return Owned(bus.address(), "com.corvane.Reconnects"); }))
        << peer.err();
    EXPECT_EQ(::kill(peer.pid(), 0), 0);
    const std::string log = peer.err();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_NE(log.find("lost the session bus connection"), std::string::npos) << log;
    EXPECT_NE(log.find("the session bus connection is back"), std::string::npos) << log;
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
