// Requests to the Varnel application, played by event_peer.
#include <gtest/gtest.h>

#include <string>

#include "SessionEnvironment.h"
#include "UExceptions.h"
#include "UMPluginUtils.h"
#include "menuHandler.h"

using testing_support::Peer;

namespace {

const std::string kPayload("\x00\xAB\xFF", 3);

}  // namespace

TEST(SendEvent, EachKindReachesTheRunningCompanionWhichComesToTheFront) {
    Peer companion(kVarnelBundleId.str(), "/opt/varnel/Varnel");
    const std::pair<IllRequestEnum, const char*> kinds[] = {{kIllRequestAbout, "AboT"},
                                                            {kIllRequestJobList, "jlwT"},
                                                            {kIllRequestNewDetails, "dneT"},
                                                            {kIllRequestDetails, "detT"},
                                                            {kIllRequestExportDone, "epsT"}};
    for (const auto& [kind, id] : kinds) {
        SendEvent(kPayload, kind);
        ASSERT_EQ(companion.nextLine(), std::string("AWZS ") + id + " 0 direct=00ABFF vnmp=00ABFF sender=" +
                                            std::to_string(::getpid()));
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
    ASSERT_EQ(SetFrontProcess(&psn), noErr);
    EXPECT_EQ(other.nextLine(), "activated") << "nothing reached the process before";
}

TEST(SendEventDeathTest, KindOutsideTheEnumerationEndsTheProcessBeforeSending) {
    for (int kind : {-1, 5}) {
        EXPECT_DEATH(SendEvent(kPayload, static_cast<IllRequestEnum>(kind)),
                     "SendEvent: invalid request kind " + std::to_string(kind));
    }
}
