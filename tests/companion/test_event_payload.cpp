// Payload parameters of events, and the reply handlers installed at start-up.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SessionEnvironment.h"
#include "menuHandler.h"

namespace {

const std::string kBytes("\x00\xAB\xFF", 3);
std::vector<std::pair<SRefCon, std::string>> s_replies;

// An event of the plug-in's class addressed to this program, with the given text parameters.
struct TestEvent {
    TestEvent(AEEventID id, const char* direct, const char* vnmp) {
        AEAddressDesc self;
        VNAEvents::CreateAddressDesc(self, "");
        AECreateAppleEvent(kVarnelEventClass, id, &self, kAutoGenerateReturnID, kAnyTransactionID, &event);
        AEDisposeDesc(&self);
        if (direct) AEPutParamPtr(&event, keyDirectObject, typeChar, direct, std::strlen(direct));
        if (vnmp) AEPutParamPtr(&event, FOUR_CHAR_CODE("Vnmp"), typeChar, vnmp, std::strlen(vnmp));
    }
    ~TestEvent() { AEDisposeDesc(&event); }
    AppleEvent event;
};

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
    const struct {
        const char* direct;  // nullptr: no such parameter
        const char* vnmp;
        bool read;
        std::string expected;
    } cases[] = {{"00ABFF", nullptr, true, kBytes},
                 {"FFFF", "00abff", true, kBytes},
                 {nullptr, "00ABFF0", true, kBytes},
                 {nullptr, "A", true, ""},
                 {"", nullptr, true, ""},
                 {nullptr, nullptr, false, "kept"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.direct ? c.direct : "-") + " / " + (c.vnmp ? c.vnmp : "-"));
        TestEvent built(FOUR_CHAR_CODE("savY"), c.direct, c.vnmp);
        std::string data("kept");
        ProcessSerialNumber sender{7, 7};
        EXPECT_EQ(VNAEvents::GetDataFromEvent(built.event, data, sender), c.read);
        EXPECT_EQ(data, c.expected);
    }
}

TEST(ReplyHandlers, EachReplyReachesTheHandlerWithItsKind) {
    testing_support::CapturedLog log;
    VNPlatformInit();
    EXPECT_EQ(log.count("event handler upp = true"), 1);
    EXPECT_EQ(log.count("event handler install err = 0"), 1);
    const std::pair<AEEventID, SRefCon> replies[] = {
        {FOUR_CHAR_CODE("savY"), 9120}, {FOUR_CHAR_CODE("sanY"), 9121}, {FOUR_CHAR_CODE("expY"), 9122}};
    for (const auto& [id, kind] : replies) {
        s_replies.clear();
        TestEvent built(id, nullptr, "00ABFF");
        AppleEvent reply;
        ASSERT_EQ(AESend(&built.event, &reply, kAENoReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr),
                  noErr);
        ASSERT_TRUE(testing_support::PumpEventsUntil([] { return !s_replies.empty(); }));
        EXPECT_EQ(s_replies[0], std::make_pair(kind, kBytes));
    }
}
