// The event link to the Varnel application: requests sent to it (event_peer plays it), the
// payload read from replies, and the reply handlers installed at start-up.
#include <gmock/gmock.h>

#include <map>
#include <string>
#include <vector>

#include "SessionEnvironment.h"
#include "job/UExceptions.h"
#include "link/UMPluginUtils.h"
#include "link/menuHandler.h"

using testing_support::Peer;
using testing_support::TestEvent;

namespace {

const std::string kBytes("\x00\xAB\xFF", 3);
constexpr ProcessSerialNumber kSelf{0, kCurrentProcess};
std::vector<std::pair<SRefCon, std::string>> s_replies;

// Every test of this program runs in one session, the program registered once, as a host process is.
[[maybe_unused]] const auto* const s_environment = ::testing::AddGlobalTestEnvironment(
    new testing_support::SessionEnvironment("com.corvane.VarnelLinkTests"));

}  // namespace

// The plug-in's reply queue stands in here as a list of what arrived.
OSErr ReceiveEvent(const AppleEvent* event, AppleEvent*, SRefCon refcon) {
    std::string payload;
    ProcessSerialNumber sender;
    VNAEvents::GetDataFromEvent(*event, payload, sender);
    s_replies.emplace_back(refcon, payload);
    return noErr;
}

TEST(EventPayload, ReadFromVnmpWhenPresentElseFromTheDirectObject) {
    constexpr AEKeyword kDirect = keyDirectObject, kVnmp = FOUR_CHAR_CODE("Vnmp");
    const struct {
        std::map<AEKeyword, std::string> texts;
        bool read;
        std::string expected;
    } cases[] = {
        {{{kDirect, "00ABFF"}}, true, kBytes}, {{{kDirect, "FFFF"}, {kVnmp, "00abff"}}, true, kBytes},
        {{{kVnmp, "00ABFF0"}}, true, kBytes},  {{{kVnmp, "A"}}, true, ""},
        {{{kDirect, ""}}, true, ""},           {{}, false, "kept"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.texts));
        const TestEvent built(kVarnelEventClass, FOUR_CHAR_CODE("savY"), kSelf, c.texts);
        std::string data("kept");
        ProcessSerialNumber sender{7, 7};
        EXPECT_EQ(VNAEvents::GetDataFromEvent(built.event, data, sender), c.read);
        EXPECT_EQ(data, c.expected);
    }
}

TEST(ReplyHandlers, EachReplyReachesTheHandlerWithItsKind) {
    VNPlatformInit();
    const std::pair<AEEventID, SRefCon> replies[] = {
        {FOUR_CHAR_CODE("savY"), 9120}, {FOUR_CHAR_CODE("sanY"), 9121}, {FOUR_CHAR_CODE("expY"), 9122}};
    for (const auto& [id, kind] : replies) {
        s_replies.clear();
        ASSERT_EQ(TestEvent(kVarnelEventClass, id, kSelf, {{FOUR_CHAR_CODE("Vnmp"), "00ABFF"}}).send(),
                  noErr);
        ASSERT_TRUE(testing_support::PumpEventsUntil([] { return !s_replies.empty(); }));
        EXPECT_EQ(s_replies[0], std::make_pair(kind, kBytes));
    }
}

TEST(SendEvent, EachKindReachesTheRunningCompanionWhichComesToTheFront) {
    Peer companion(kVarnelBundleId.str(), "/opt/varnel/Varnel");
    const std::pair<IllRequestEnum, const char*> kinds[] = {{kIllRequestAbout, "AboT"},
                                                            {kIllRequestJobList, "jlwT"},
                                                            {kIllRequestNewDetails, "dneT"},
                                                            {kIllRequestDetails, "detT"},
                                                            {kIllRequestExportDone, "epsT"}};
    for (const auto& [kind, id] : kinds) {
        SendEvent(kBytes, kind);
        ASSERT_EQ(companion.nextLine(), std::string("AWZS ") + id + " 0 direct=00ABFF vnmp=00ABFF sender=" +
                                            std::to_string(::getpid()));
        ASSERT_EQ(companion.nextLine(), "activated");
    }
}

TEST(SendEvent, WithoutTheCompanionFailsWithProcNotFoundAndActivatesNothing) {
    // Registered under the identifier in another letter case: it is not the companion.
    Peer other("com.corvane.varnel", "/opt/other/Varnel");
    EXPECT_THAT([] { SendEvent(kBytes, kIllRequestJobList); },
                testing::Throws<UException>(testing::Property(&UException::error, procNotFound)));
    const ProcessSerialNumber psn{0, static_cast<uint32_t>(other.pid())};
    ASSERT_EQ(SetFrontProcess(&psn), noErr);
    EXPECT_EQ(other.nextLine(), "activated") << "nothing reached the process before";
}
