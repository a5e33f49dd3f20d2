// Every test of this program runs on one private bus, with HOME and the XDG folders in scratch
// space, and the program registered once, as a host process is.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <memory>

#include "CompanionTestSupport.h"
#include "PrivateBus.h"
#include "Processes.h"
#include "TestFolders.h"

namespace {

class CompanionEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        home_ = std::make_unique<testing_support::ScratchFolder>();
        environment_ = std::make_unique<testing_support::ScopedEnvironment>();
        environment_->set("HOME", home_->path());
        environment_->set("XDG_DATA_HOME", home_->makeFolder("share"));
        environment_->set("XDG_DATA_DIRS", home_->makeFolder("system"));
        environment_->set("XDG_CONFIG_HOME", home_->makeFolder("config"));
        bus_ = std::make_unique<testing_support::PrivateBus>();
        char self[PATH_MAX];
        ASSERT_NE(::realpath("/proc/self/exe", self), nullptr);
        ASSERT_EQ(VNRegisterProcess(companion_test::kTestBundleId, self), noErr);
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

[[maybe_unused]] const auto* const s_environment =
    ::testing::AddGlobalTestEnvironment(new CompanionEnvironment);

}  // namespace
