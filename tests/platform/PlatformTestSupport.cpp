#include "PlatformTestSupport.h"

namespace platform_test {

namespace {

OSErr Record(const AppleEvent* event, AppleEvent*, SRefCon) {
    size_t size = 0;
    EXPECT_EQ(AESizeOfParam(event, keyDirectObject, nullptr, &size), noErr);
    std::string text(size, '\0');
    EXPECT_EQ(AEGetParamPtr(event, keyDirectObject, typeChar, nullptr, text.data(), size, &size), noErr);
    Inbox().push_back(text);
    return noErr;
}

class PlatformEnvironment : public testing_support::SessionEnvironment {
public:
    PlatformEnvironment() : SessionEnvironment(kSelfBundleId) {}
    void SetUp() override {
        SessionEnvironment::SetUp();
        ASSERT_EQ(AEInstallEventHandler(kTestClass, kGone, Record, 0, false), noErr);
    }
};

class InboxReset : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { Inbox().clear(); }
};

[[maybe_unused]] const bool g_installed = [] {
    testing::AddGlobalTestEnvironment(new PlatformEnvironment);
    testing::UnitTest::GetInstance()->listeners().Append(new InboxReset);
    return true;
}();

}  // namespace

std::vector<std::string>& Inbox() {
    static std::vector<std::string> inbox;
    return inbox;
}

OSErr SendTest(ProcessSerialNumber to, AEEventID id, const std::string& payload) {
    AEAddressDesc address;
    AppleEvent event;
    EXPECT_EQ(AECreateDesc(typeProcessSerialNumber, &to, sizeof to, &address), noErr);
    EXPECT_EQ(AECreateAppleEvent(kTestClass, id, &address, kAutoGenerateReturnID, kAnyTransactionID, &event),
              noErr);
    AEDisposeDesc(&address);
    ProcessSerialNumber self;
    GetCurrentProcess(&self);
    for (AEKeyword keyword : {keyDirectObject, FOUR_CHAR_CODE("Vnmp")})
        EXPECT_EQ(AEPutParamPtr(&event, keyword, typeChar, payload.data(), payload.size()), noErr);
    EXPECT_EQ(AEPutParamPtr(&event, FOUR_CHAR_CODE("Psn "), typeProcessSerialNumber, &self, sizeof self),
              noErr);
    const OSErr err = AESend(&event, nullptr, kAENoReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr);
    AEDisposeDesc(&event);
    return err;
}

}  // namespace platform_test
