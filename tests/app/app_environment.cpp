// Every test of this program runs on one private bus, with HOME and the XDG folders in scratch
// space, and the program registered once, in the plug-in's place, with handlers for the replies.
#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "AppTestSupport.h"
#include "PrivateBus.h"
#include "Processes.h"

namespace app_test {

std::vector<Reply>& receivedReplies() {
    static std::vector<Reply> replies;
    return replies;
}

namespace {

OSErr onReply(const AppleEvent* event, AppleEvent*, SRefCon) {
    Reply reply;
    AEEventClass eventClass = 0;
    AEGetEventClassAndID(event, &eventClass, &reply.id);
    DescType type = 0;
    size_t size = 0;
    for (auto [keyword, text] :
         {std::pair{keyDirectObject, &reply.direct}, {FOUR_CHAR_CODE("Vnmp"), &reply.vnmp}})
        if (AESizeOfParam(event, keyword, &type, &size) == noErr) {
            text->resize(size);
            AEGetParamPtr(event, keyword, typeWildCard, &type, text->data(), size, &size);
        }
    AEGetParamPtr(event, FOUR_CHAR_CODE("Psn "), typeProcessSerialNumber, &type, &reply.sender,
                  sizeof reply.sender, &size);
    receivedReplies().push_back(reply);
    return noErr;
}

class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        home_ = std::make_unique<testing_support::ScratchFolder>();
        environment_ = std::make_unique<testing_support::ScopedEnvironment>();
        for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME"})
            environment_->set(name, home_->makeFolder(name));
        environment_->set("HOME", home_->path());
        environment_->unset("VARNEL_JOBS");
        bus_ = std::make_unique<testing_support::PrivateBus>();
        char self[PATH_MAX];
        ASSERT_NE(::realpath("/proc/self/exe", self), nullptr);
        ASSERT_EQ(VNRegisterProcess("com.corvane.VarnelAppTests", self), noErr);
        for (AEEventID id :
             {varnel_app::kDetailsReply, varnel_app::kNewDetailsReply, varnel_app::kExportReply})
            ASSERT_EQ(AEInstallEventHandler(varnel_app::kEventClass, id, &onReply, 0, false), noErr);
    }
    void TearDown() override {
        bus_.reset();
        environment_.reset();
        home_.reset();
    }

private:
    std::unique_ptr<testing_support::ScratchFolder> home_;
    std::unique_ptr<testing_support::ScopedEnvironment> environment_;
    std::unique_ptr<testing_support::PrivateBus> bus_;
};

[[maybe_unused]] const auto* const s_environment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace
}  // namespace app_test
