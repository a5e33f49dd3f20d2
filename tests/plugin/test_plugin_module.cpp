// The module as the host program loads it, and a second start-up in one process.
#include <set>

#include "PluginTestSupport.h"
#include "UUnits.h"

namespace {

using namespace plugin_test;
using testing_support::RunProgram;

[[maybe_unused]] const auto* const s_environment = ::testing::AddGlobalTestEnvironment(new Environment);

TEST(PluginModule, ExportsPluginMainOnly) {
    const testing_support::Outcome nm =
        RunProgram({NM_PROGRAM, "-D", "--defined-only", VARNEL_PLUGIN_MODULE});
    ASSERT_EQ(nm.status, 0) << nm.err;
    std::set<std::string> names;
    std::istringstream lines(nm.out);
    for (std::string address, type, name; lines >> address >> type >> name;) names.insert(name);
    EXPECT_EQ(names, std::set<std::string>{"PluginMain"});
}

TEST(PluginModule, RunsInTheHostProgramAcrossUnloadAndReload) {
    const testing_support::Outcome host =
        RunProgram({VARNEL_HOST_BIN, "--strict", "--plugin", VARNEL_PLUGIN_MODULE, "-c",
                    "new; unload; reload; menus; tick; quit"});
    EXPECT_EQ(host.status, 0) << host.err;
    EXPECT_THAT(host.out, HasSubstr("the module stays in memory"));
    EXPECT_THAT(host.out, HasSubstr("Adjust Size…: disabled"));
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
