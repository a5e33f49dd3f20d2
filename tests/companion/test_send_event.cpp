// Requests to the Varnel application, played by companion_peer.
#include <gtest/gtest.h>

#include <string>

#include "CompanionTestSupport.h"
#include "UExceptions.h"
#include "UMPluginUtils.h"
#include "menuHandler.h"

using companion_test::Peer;

namespace {

const std::string kPayload("\x00\xAB\xFF", 3);

// Sent straight to `bundleId`; whatever an earlier call sent there arrives before it.
void SendMarker(const char* bundleId) {
    AEAddressDesc address;
    ASSERT_TRUE(VNAEvents::CreateAddressDesc(address, bundleId));
    AppleEvent event, reply;
    ASSERT_EQ(AECreateAppleEvent(kVarnelEventClass, FOUR_CHAR_CODE("AboT"), &address, kAutoGenerateReturnID,
                                 kAnyTransactionID, &event),
              noErr);
    AEDisposeDesc(&address);
    VNAEvents::PutDataIntoEvent(event, "M", 1);
    EXPECT_EQ(AESend(&event, &reply, kAENoReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr), noErr);
    AEDisposeDesc(&event);
}

}  // namespace

TEST(SendEvent, EachKindReachesTheRunningCompanionWhichComesToTheFront) {
    Peer companion(kVarnelBundleId.str(), "/opt/varnel/Varnel");
    const struct {
        IllRequestEnum kind;
        const char* id;
    } kinds[] = {{kIllRequestAbout, "AboT"},
                 {kIllRequestJobList, "jlwT"},
                 {kIllRequestNewDetails, "dneT"},
                 {kIllRequestDetails, "detT"},
                 {kIllRequestExportDone, "epsT"}};
    for (const auto& k : kinds) {
        SendEvent(kPayload, k.kind);
        ASSERT_EQ(companion.nextLine(), std::string("event ") + k.id + " direct=00ABFF vnmp=00ABFF");
        ASSERT_EQ(companion.nextLine(), "activated");
    }
}

TEST(SendEvent, WithoutTheCompanionFailsWithProcNotFoundAndActivatesNothing) {
    // Registered under the identifier in another letter case: it is not the companion.
    Peer other("com.corvane.varnel", "/opt/other/Varnel");
    ProcessSerialNumber psn;
    UFileSpecCore path;
    EXPECT_FALSE(BMUtils::FindProcess(psn, kVarnelBundleId, &path));
    ASSERT_TRUE(BMUtils::FindProcess(psn, "com.corvane.varnel", &path));
    EXPECT_EQ(path.path(), "/opt/other/Varnel");
    try {
        SendEvent(kPayload, kIllRequestJobList);
        ADD_FAILURE() << "SendEvent without a companion returned";
    } catch (const UException& e) {
        EXPECT_EQ(e.error(), procNotFound);
    }
    SendMarker("com.corvane.varnel");
    EXPECT_EQ(other.nextLine(), "event AboT direct=4D vnmp=4D") << "nothing else reached the process";
}

TEST(SendEventDeathTest, KindOutsideTheEnumerationEndsTheProcessBeforeSending) {
    for (int kind : {-1, 5}) {
        EXPECT_DEATH(SendEvent(kPayload, static_cast<IllRequestEnum>(kind)),
                     "SendEvent: invalid request kind " + std::to_string(kind));
    }
}
