// Payload parameters of events, and the reply handlers installed at start-up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CompanionTestSupport.h"
#include "TestFolders.h"
#include "menuHandler.h"

namespace {

constexpr AEKeyword keyPayload = FOUR_CHAR_CODE("Vnmp");

struct Reply {
    std::string payload;
    SRefCon kind;
};
std::vector<Reply> s_replies;

// An event of the plug-in's class addressed to this program.
struct TestEvent {
    explicit TestEvent(AEEventID id) {
        AEAddressDesc self;
        EXPECT_TRUE(VNAEvents::CreateAddressDesc(self, ""));
        EXPECT_EQ(AECreateAppleEvent(kVarnelEventClass, id, &self, kAutoGenerateReturnID, kAnyTransactionID,
                                     &event),
                  noErr);
        AEDisposeDesc(&self);
    }
    ~TestEvent() { AEDisposeDesc(&event); }
    void put(AEKeyword keyword, const std::string& text) {
        ASSERT_EQ(AEPutParamPtr(&event, keyword, typeChar, text.data(), text.size()), noErr);
    }
    AppleEvent event;
};

}  // namespace

// The plug-in's reply queue stands in here as a list of what arrived.
OSErr ReceiveEvent(const AppleEvent* event, AppleEvent*, SRefCon refcon) {
    Reply reply{std::string(), refcon};
    ProcessSerialNumber sender;
    VNAEvents::GetDataFromEvent(*event, reply.payload, sender);
    s_replies.push_back(reply);
    return noErr;
}

TEST(EventPayload, ReadFromVnmpWhenPresentElseFromTheDirectObject) {
    const std::string bytes("\x00\xAB\xFF", 3);
    const struct {
        const char* direct;  // nullptr: parameter absent
        const char* vnmp;
        std::string expected;
    } cases[] = {
        {"00ABFF", nullptr, bytes},  {"FFFF", "00abff", bytes}, {nullptr, "00ABFF0", bytes},
        {nullptr, "A", std::string()}, {"", nullptr, std::string()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.direct ? c.direct : "-") + " / " + (c.vnmp ? c.vnmp : "-"));
        TestEvent built(FOUR_CHAR_CODE("savY"));
        if (c.direct) built.put(keyDirectObject, c.direct);
        if (c.vnmp) built.put(keyPayload, c.vnmp);
        std::string data("stale");
        ProcessSerialNumber sender{7, 7};
        EXPECT_TRUE(VNAEvents::GetDataFromEvent(built.event, data, sender));
        EXPECT_EQ(data, c.expected);
        EXPECT_EQ(sender.lowLongOfPSN, 0u) << "a missing sender reads as zero";
    }
}

TEST(EventPayload, WrittenTwiceAsUpperCaseTextWithTheSender) {
    TestEvent built(FOUR_CHAR_CODE("savY"));
    ASSERT_TRUE(VNAEvents::PutDataIntoEvent(built.event, "\x00\xAB\xFF", 3));
    for (AEKeyword keyword : {keyDirectObject, keyPayload}) {
        char text[8] = {};
        size_t size = 0;
        DescType type = 0;
        ASSERT_EQ(AEGetParamPtr(&built.event, keyword, typeChar, &type, text, sizeof text, &size), noErr);
        EXPECT_EQ(std::string(text, size), "00ABFF");
    }
    std::string data;
    ProcessSerialNumber sender, self;
    ASSERT_TRUE(VNAEvents::GetDataFromEvent(built.event, data, sender));
    ASSERT_EQ(GetCurrentProcess(&self), noErr);
    EXPECT_EQ(sender.highLongOfPSN, self.highLongOfPSN);
    EXPECT_EQ(sender.lowLongOfPSN, self.lowLongOfPSN);
}

TEST(EventPayload, EventWithoutPayloadIsNotRead) {
    TestEvent built(FOUR_CHAR_CODE("savY"));
    std::string data("kept");
    ProcessSerialNumber sender;
    EXPECT_FALSE(VNAEvents::GetDataFromEvent(built.event, data, sender));
    EXPECT_EQ(data, "kept");
}

TEST(ReplyHandlers, EachReplyReachesTheHandlerWithItsKind) {
    testing_support::CapturedLog log;
    VNPlatformInit();
    EXPECT_EQ(log.count("event handler upp = true"), 1);
    EXPECT_EQ(log.count("event handler install err = 0"), 1);
    const struct {
        AEEventID id;
        SRefCon kind;
    } replies[] = {{FOUR_CHAR_CODE("savY"), 9120}, {FOUR_CHAR_CODE("sanY"), 9121}, {FOUR_CHAR_CODE("expY"), 9122}};
    for (const auto& r : replies) {
        s_replies.clear();
        TestEvent built(r.id);
        built.put(keyPayload, "00ABFF");
        AppleEvent reply;
        ASSERT_EQ(AESend(&built.event, &reply, kAENoReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr),
                  noErr);
        ASSERT_TRUE(companion_test::WaitFor([] { return !s_replies.empty(); }));
        EXPECT_EQ(s_replies[0].kind, r.kind);
        EXPECT_EQ(s_replies[0].payload, std::string("\x00\xAB\xFF", 3));
    }
}
