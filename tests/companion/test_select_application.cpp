// Finding the Varnel application: running, through the alias file, through its desktop entry.
#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <string>

#include "Aliases.h"
#include "CompanionTestSupport.h"
#include "TestFolders.h"
#include "UMPluginUtils.h"

using companion_test::Peer;
using companion_test::WaitFor;

namespace {

class SelectApplication : public ::testing::Test {
protected:
    void SetUp() override {
        environment_.set("XDG_DATA_HOME", scratch_.makeFolder("share"));
        environment_.set("XDG_DATA_DIRS", scratch_.makeFolder("system"));
        environment_.set("VARNEL_PEER_LAUNCHES", scratch_ / "launches");
        gVNApplicationSpec.init();
    }

    std::string aliasFile() const { return scratch_ / "share/Corvane/Varnel Plugin Cache"; }
    // Where the alias file points, or "" when there is none.
    std::string aliasTarget() const {
        std::ifstream in(aliasFile(), std::ios::binary);
        const std::string record((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string path;
        bool wasChanged = false;
        return FSResolveAliasWithMountFlags(record, kResolveAliasFileNoUI, &path, &wasChanged) == noErr ? path : "";
    }
    void installDesktopEntry() const {
        scratch_.write("share/applications/com.corvane.Varnel.desktop",
                       "[Desktop Entry]\nType=Application\nName=Varnel\nExec=" COMPANION_PEER_BIN "\n");
    }
    int launches() const {
        std::ifstream in(scratch_ / "launches");
        int n = 0;
        for (std::string line; std::getline(in, line);) ++n;
        return n;
    }
    // A companion started in the background registers on its own time.
    static bool companionRegisters() {
        ProcessSerialNumber psn;
        return WaitFor([&] { return BMUtils::FindProcess(psn, kVarnelBundleId, nullptr); });
    }
    // Launched companions are not our children: they are found by name and stopped, so none
    // outlives its test, a failed one included.
    void TearDown() override {
        ProcessSerialNumber psn;
        if (!BMUtils::FindProcess(psn, kVarnelBundleId, nullptr)) return;
        ::kill(static_cast<pid_t>(psn.lowLongOfPSN), SIGTERM);
        EXPECT_TRUE(WaitFor([&] { return !BMUtils::FindProcess(psn, kVarnelBundleId, nullptr); }));
    }

    testing_support::ScratchFolder scratch_;
    testing_support::ScopedEnvironment environment_;
};

}  // namespace

TEST_F(SelectApplication, RunningFromAnotherBundleRewritesTheAlias) {
    const std::string a = scratch_.write("A/Varnel", ""), b = scratch_.write("B/Varnel", "");
    const struct {
        std::string remembered;  // "" as at the first call of a process
        std::string running;
        bool rewritten;
    } cases[] = {{"", a, true}, {a, a, false}, {a, b, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.remembered + " -> " + c.running);
        ::unlink(aliasFile().c_str());
        gVNApplicationSpec.init(c.remembered, nullptr);
        Peer companion(kVarnelBundleId.str(), c.running);
        SelectVarnelApplication(false);
        EXPECT_EQ(aliasTarget(), c.rewritten ? c.running : "");
        EXPECT_EQ(gVNApplicationSpec.path(), c.running);
    }
    EXPECT_EQ(launches(), 0);
}

TEST_F(SelectApplication, VanishedAliasTargetFallsBackToTheDesktopEntryAndLaunches) {
    const std::string gone = scratch_.write("gone/Varnel", "");
    UpdateVarnelAppAlias(UFileSpecCore(gone, nullptr));
    ASSERT_EQ(aliasTarget(), gone);
    ::unlink(gone.c_str());
    installDesktopEntry();
    SelectVarnelApplication(false);
    EXPECT_EQ(gVNApplicationSpec.path(), COMPANION_PEER_BIN);
    EXPECT_EQ(aliasTarget(), COMPANION_PEER_BIN);
    EXPECT_TRUE(companionRegisters());
}

TEST_F(SelectApplication, AtStartUpAnEmptyAliasFallsBackToTheDesktopEntryWithoutLaunching) {
    scratch_.write("share/Corvane/Varnel Plugin Cache", "");
    installDesktopEntry();
    SelectVarnelApplication(true);
    EXPECT_EQ(gVNApplicationSpec.path(), COMPANION_PEER_BIN);
    EXPECT_EQ(aliasTarget(), COMPANION_PEER_BIN);
    // A menu command now launches it: a launch at start-up would have come first and show here.
    SelectVarnelApplication(false);
    ASSERT_TRUE(companionRegisters());
    EXPECT_EQ(launches(), 1);
}

TEST_F(SelectApplication, NotFoundLeavesEverythingAsItWas) {
    Peer other("com.corvane.varnel", scratch_.write("A/Varnel", ""));
    SelectVarnelApplication(false);
    EXPECT_FALSE(gVNApplicationSpec.isValid());
    EXPECT_EQ(aliasTarget(), "");
}
