// Finding the Varnel application: running, through the alias file, through its desktop entry.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "SessionEnvironment.h"
#include "link/UMPluginUtils.h"
#include "os/Aliases.h"

using testing_support::Peer;

namespace {

class SelectApplication : public ::testing::Test {
protected:
    void SetUp() override {
        environment_.set("XDG_DATA_HOME", scratch_.makeFolder("share"));
        environment_.set("XDG_DATA_DIRS", scratch_.makeFolder("system"));
        environment_.set("VARNEL_PEER_LAUNCHES", scratch_ / "launches");
        gVNApplicationSpec.init();
    }
    // Launched companions are not our children: they are found by name and stopped, so none
    // outlives its test, a failed one included.
    void TearDown() override {
        ProcessSerialNumber psn;
        if (!BMUtils::FindProcess(psn, kVarnelBundleId, nullptr)) return;
        ::kill(static_cast<pid_t>(psn.lowLongOfPSN), SIGTERM);
        EXPECT_TRUE(testing_support::PumpEventsUntil(
            [&] { return !BMUtils::FindProcess(psn, kVarnelBundleId, nullptr); }));
    }

    std::string aliasFile() const { return scratch_ / "share/Corvane/Varnel Plugin Cache"; }
    // Where the alias file points, or "" when there is none.
    std::string aliasTarget() const {
        const std::string record = testing_support::ReadFile(aliasFile());
        std::string path;
        bool changed = false;
        return FSResolveAliasWithMountFlags(record, kResolveAliasFileNoUI, &path, &changed) == noErr ? path
                                                                                                     : "";
    }
    void installDesktopEntry() const {
        scratch_.write("share/applications/com.corvane.Varnel.desktop",
                       "[Desktop Entry]\nType=Application\nName=Varnel\nExec=" EVENT_PEER "\n");
    }
    size_t launches() const {
        return std::ranges::count(testing_support::ReadFile(scratch_ / "launches"), '\n');
    }

    testing_support::ScratchFolder scratch_;
    testing_support::ScopedEnvironment environment_;
};

}  // namespace

// The companion running: its path is taken, and the alias rewritten when it moved.
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
    EXPECT_EQ(launches(), 0u);
}

// An empty alias at start-up, or one whose target vanished on a menu command: the desktop entry
// is taken, and launched on the command only (a launch at start-up would show in the count).
TEST_F(SelectApplication, WithoutAUsableAliasTheDesktopEntryIsTakenAndLaunchedOnACommandOnly) {
    installDesktopEntry();
    scratch_.write("share/Corvane/Varnel Plugin Cache", "");
    SelectVarnelApplication(true);
    EXPECT_EQ(gVNApplicationSpec.path(), EVENT_PEER);
    EXPECT_EQ(aliasTarget(), EVENT_PEER);

    const std::string gone = scratch_.write("gone/Varnel", "");
    UpdateVarnelAppAlias(UFileSpecCore(gone, nullptr));
    ::unlink(gone.c_str());
    gVNApplicationSpec.init();
    SelectVarnelApplication(false);
    EXPECT_EQ(gVNApplicationSpec.path(), EVENT_PEER);
    EXPECT_EQ(aliasTarget(), EVENT_PEER);
    ProcessSerialNumber psn;  // started in the background, it registers on its own time
    ASSERT_TRUE(testing_support::PumpEventsUntil(
        [&] { return BMUtils::FindProcess(psn, kVarnelBundleId, nullptr); }));
    EXPECT_EQ(launches(), 1u);
}
