// Finding applications through desktop entries and starting them detached.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "PlatformTestSupport.h"
#include "os/LaunchServices.h"

namespace platform_test {
namespace {

class LaunchServicesTest : public testing::Test {
protected:
    void SetUp() override {
        environment.set("XDG_DATA_HOME", folder / "home");
        environment.set("XDG_DATA_DIRS", "relative:" + folder / "first" + ":" + folder / "second");
        environment.set("PATH", folder / "bin");
    }
    std::string program(const std::string& relative, mode_t mode = 0755) {
        const std::string path = folder.write(relative, "#!/bin/sh\n");
        ::chmod(path.c_str(), mode);
        return path;
    }

    testing_support::ScratchFolder folder;
    testing_support::ScopedEnvironment environment;
};

TEST_F(LaunchServicesTest, TheFirstEntryInSearchOrderGivesTheProgram) {
    const std::string home = program("bin/home-app"), first = program("bin/first-app");
    const std::string second = program("bin/second-app"), spaced = program("my apps/spaced app");
    program("bin/plain-file", 0644);
    const struct {
        std::string bundleId;
        std::vector<std::pair<std::string, std::string>> entries;  // data folder, lines
        std::string expected;                                      // empty: not found
    } cases[] = {
        {"com.corvane.Home", {{"home", "Exec=" + home}, {"first", "Exec=" + first}}, home},
        {"com.corvane.First", {{"first", "Exec=" + first + " %U"}, {"second", "Exec=" + second}}, first},
        {"com.corvane.Second", {{"second", "Exec=" + second}}, second},
        {"com.corvane.Relative", {{"relative", "Exec=" + first}}, ""},
        {"com.corvane.Plain", {{"home", "Exec=plain-file"}, {"first", "Exec=" + first}}, ""},
        {"com.corvane.OnPath", {{"first", "Exec=first-app --new-window"}}, first},
        {"com.corvane.Quoted", {{"first", "Exec=\"" + spaced + "\" %F"}}, spaced},
        {"com.corvane.Hidden", {{"first", "Exec=" + first + "\nHidden=true"}}, ""},
        {"com.corvane.Action", {{"first", "[Desktop Action New]\nExec=" + first}}, ""},
    };
    for (const auto& c : cases) {
        for (const auto& [data, lines] : c.entries)
            folder.write(data + "/applications/" + c.bundleId + ".desktop",
                         "[Desktop Entry]\n" + lines + "\n");
        std::string found = "unchanged";
        EXPECT_EQ(LSFindApplicationForInfo(kLSUnknownCreator, c.bundleId, "", &found),
                  c.expected.empty() ? kLSApplicationNotFoundErr : noErr)
            << c.bundleId;
        EXPECT_EQ(found, c.expected) << c.bundleId;
    }
}

TEST_F(LaunchServicesTest, OpenedProgramTakesPartAndComesToTheFrontUnlessAsked) {
    environment.set("VARNEL_PEER_SEND_TO", std::to_string(::getpid()));
    for (const uint32_t flags : {kLSLaunchDontSwitch, 0u}) {
        ASSERT_EQ(LSOpenApplication(EVENT_PEER, flags), noErr);
        ASSERT_TRUE(AwaitEvents(Inbox().size() + 1)) << "the program registers and reports its activations";
        EXPECT_EQ(Inbox().back(), flags == kLSLaunchDontSwitch ? "0" : "1");
    }
}

TEST_F(LaunchServicesTest, OpenRefusesWhatCannotStart) {
    EXPECT_EQ(LSOpenApplication(folder / "missing", 0), kLSApplicationNotFoundErr);
    EXPECT_EQ(LSOpenApplication(program("bin/plain-file", 0644), 0), kLSNoExecutableErr);
    EXPECT_EQ(LSOpenApplication("bin/relative", 0), paramErr);
}

}  // namespace
}  // namespace platform_test
