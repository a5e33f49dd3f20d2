// The module as the host program loads it, and a second start-up in one process.
#include "PluginTestSupport.h"
#include "UUnits.h"

namespace {

using namespace plugin_test;
using testing_support::RunProgram;

TEST(PluginModule, ExportsPluginMainOnly) {
    const testing_support::Outcome nm =
        RunProgram({NM_PROGRAM, "-D", "--defined-only", "-j", VARNEL_PLUGIN_MODULE});
    EXPECT_EQ(nm.status, 0) << nm.err;
    EXPECT_EQ(nm.out, "PluginMain\n");
}

TEST(PluginModule, RunsInTheHostProgramAcrossUnloadAndReload) {
    const testing_support::Outcome host =
        RunProgram({VARNEL_HOST_BIN, "--strict", "--plugin", VARNEL_PLUGIN_MODULE, "-c",
                    "new; unload; reload; tick; quit"});
    EXPECT_EQ(host.status, 0) << host.err;
    EXPECT_THAT(host.out, HasSubstr("the module stays in memory"));
    EXPECT_THAT(host.out, HasSubstr("sent 1 timer message"));
    EXPECT_THAT(host.err, HasSubstr("init res = 1"));
    EXPECT_EQ(host.err.find("init res = 1"), host.err.rfind("init res = 1")) << "initialised once";
    EXPECT_THAT(host.err, Not(HasSubstr("[ERROR]")));
}

TEST(PluginModule, SecondStartupInstallsTheMenusWithoutASecondTimer) {
    std::ostringstream hostLog;
    { vhost::Host first(HostOptions(hostLog)); }
    const UUnits* units = g_units;
    testing_support::CapturedLog log;
    vhost::Host second(HostOptions(hostLog));
    EXPECT_THAT(second.execute("menus"), HasSubstr("About Varnel…: enabled"));
    EXPECT_EQ(second.execute("tick"), "sent 0 timer messages\n");
    EXPECT_EQ(g_units, units);
    EXPECT_EQ(log.count("init res"), 0);
}

}  // namespace
