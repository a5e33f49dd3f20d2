// Every test of this program runs in one session, the program registered once, in the
// plug-in's place, with handlers for the replies.
#include "AppTestSupport.h"

namespace app_test {

std::vector<Reply>& receivedReplies() {
    static std::vector<Reply> replies;
    return replies;
}

namespace {

OSErr onReply(const AppleEvent* event, AppleEvent*, SRefCon) {
    Reply reply;
    AEGetEventClassAndID(event, nullptr, &reply.id);
    size_t size = 0;
    for (auto [keyword, text] :
         {std::pair{keyDirectObject, &reply.direct}, {FOUR_CHAR_CODE("Vnmp"), &reply.vnmp}})
        if (AESizeOfParam(event, keyword, nullptr, &size) == noErr) {
            text->resize(size);
            AEGetParamPtr(event, keyword, typeChar, nullptr, text->data(), size, &size);
        }
    AEGetParamPtr(event, FOUR_CHAR_CODE("Psn "), typeProcessSerialNumber, nullptr, &reply.sender,
                  sizeof reply.sender, &size);
    receivedReplies().push_back(reply);
    return noErr;
}

class AppEnvironment : public testing_support::SessionEnvironment {
public:
    AppEnvironment() : SessionEnvironment("com.corvane.VarnelAppTests") {}
    void SetUp() override {
        SessionEnvironment::SetUp();
        variables().unset("VARNEL_JOBS");
        for (AEEventID id :
             {varnel_app::kDetailsReply, varnel_app::kNewDetailsReply, varnel_app::kExportReply})
            ASSERT_EQ(AEInstallEventHandler(varnel_app::kEventClass, id, &onReply, 0, false), noErr);
    }
};

[[maybe_unused]] const auto* const s_environment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace
}  // namespace app_test
