// Finding applications through desktop entries and starting them detached.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "LaunchServices.h"
#include "PlatformTestSupport.h"

namespace platform_test {
namespace {

class LaunchServicesTest : public testing::Test {
protected:
    void SetUp() override {
        environment.set("XDG_DATA_HOME", folder / "home");
        environment.set("XDG_DATA_DIRS", "relative/ignored:" + folder / "first" + ":" + folder / "second");
        environment.set("PATH", folder / "bin");
    }
    std::string program(const std::string& relative, mode_t mode = 0755) {
        const std::string path = folder.write(relative, "#!/bin/sh\n");
        ::chmod(path.c_str(), mode);
        return path;
    }
    void entry(const std::string& dataFolder, const std::string& bundleId, const std::string& body) {
        folder.write(dataFolder + "/applications/" + bundleId + ".desktop", "[Desktop Entry]\nType=Application\n" + body);
    }

    testing_support::ScratchFolder folder;
    testing_support::ScopedEnvironment environment;
};

TEST_F(LaunchServicesTest, FindsTheFirstEntryInSearchOrder) {
    const std::string home = program("bin/home-app"), first = program("bin/first-app");
    const std::string second = program("bin/second-app"), spaced = program("my apps/spaced app");
    program("bin/not-executable", 0644);
    struct Case {
        const char* bundleId;
        std::vector<std::pair<std::string, std::string>> entries;  // data folder, body
        std::string expected;                                        // empty: not found
    };
    const Case cases[] = {
        {"com.corvane.Home", {{"home", "Exec=" + home}, {"first", "Exec=" + first}}, home},
        {"com.corvane.First", {{"first", "Exec=" + first + " %U"}, {"second", "Exec=" + second}}, first},
        {"com.corvane.Second", {{"second", "Exec=" + second}}, second},
        {"com.corvane.Missing", {}, ""},
        {"com.corvane.Relative", {{"relative/ignored", "Exec=" + first}}, ""},
        {"com.corvane.NotExecutable", {{"home", "Exec=not-executable"}, {"first", "Exec=" + first}}, ""},
        {"com.corvane.OnPath", {{"first", "Exec=first-app --new-window"}}, first},
        {"com.corvane.Quoted", {{"first", "Exec=\"" + spaced + "\" %F"}}, spaced},
        {"com.corvane.Hidden", {{"first", "Exec=" + first + "\nHidden=true"}}, ""},
        {"com.corvane.OtherGroup", {{"first", "[Desktop Action New]\nExec=" + first}}, ""},
    };
    for (const Case& c : cases) {
        for (const auto& [dataFolder, body] : c.entries) entry(dataFolder, c.bundleId, body);
        std::string found = "unchanged";
        EXPECT_EQ(LSFindApplicationForInfo(kLSUnknownCreator, c.bundleId, "", &found),
                  c.expected.empty() ? kLSApplicationNotFoundErr : noErr)
            << c.bundleId;
        EXPECT_EQ(found, c.expected) << c.bundleId;
    }
}

TEST_F(LaunchServicesTest, OpenedApplicationRegistersAndComesToTheFrontUnlessAsked) {
    for (const uint32_t flags : {kLSLaunchDontSwitch, 0u}) {
        const std::string bundleId = "com.corvane.Launched" + std::to_string(flags);
        environment.set(kPeerBundleVariable, bundleId);
        ASSERT_EQ(LSOpenApplication(PLATFORM_PEER, flags), noErr);
        pid_t pid = 0;
        ASSERT_TRUE(PumpUntil([&] { return (pid = FindBundle(bundleId)) != 0; })) << bundleId;
        const size_t before = Inbox().size();
        ASSERT_EQ(SendTest(PsnOf(pid), kQuit, ""), noErr);  // it answers, then ends
        ASSERT_TRUE(PumpUntil([&] { return Inbox().size() > before; }));
        EXPECT_EQ(ReportOf(Inbox().back()).activations, flags == kLSLaunchDontSwitch ? 0u : 1u) << bundleId;
    }
}

TEST_F(LaunchServicesTest, OpenRefusesWhatCannotStart) {
    EXPECT_EQ(LSOpenApplication(folder / "missing", 0), kLSApplicationNotFoundErr);
    EXPECT_EQ(LSOpenApplication(program("bin/plain-file", 0644), 0), kLSNoExecutableErr);
    EXPECT_EQ(LSOpenApplication(folder / "bin", 0), kLSNoExecutableErr);
    EXPECT_EQ(LSOpenApplication("bin/relative", 0), paramErr);
}

}  // namespace
}  // namespace platform_test
