// The module as the host program loads it, and a second start-up in one process.
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <set>

#include "PluginTestSupport.h"
#include "UUnits.h"

namespace {

using namespace plugin_test;

[[maybe_unused]] const auto* const s_environment = ::testing::AddGlobalTestEnvironment(new Environment);

// Standard output of a shell command, and its exit status.
std::pair<std::string, int> Capture(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = ::pclose(pipe);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

int Count(const std::string& text, const std::string& fragment) {
    int n = 0;
    for (size_t at = text.find(fragment); at != std::string::npos; at = text.find(fragment, at + 1)) ++n;
    return n;
}

TEST(PluginModule, ExportsPluginMainOnly) {
    const auto [symbols, status] = Capture("nm -D --defined-only '" VARNEL_PLUGIN_MODULE "'");
    ASSERT_EQ(status, 0);
    std::set<std::string> names;
    std::istringstream lines(symbols);
    for (std::string address, type, name; lines >> address >> type >> name;) names.insert(name);
    EXPECT_EQ(names, std::set<std::string>{"PluginMain"});
}

TEST(PluginModule, RunsInTheHostProgramAcrossUnloadAndReload) {
    const std::string errors = Environment::get().scratch() / "host.err";
    const auto [out, status] = Capture("'" VARNEL_HOST_BIN "' --strict --plugin '" VARNEL_PLUGIN_MODULE
                                       "' -c 'new; unload; reload; menus; tick; quit' 2>'" +
                                       errors + "'");
    std::ifstream file(errors);
    const std::string log((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(status, 0) << log;
    EXPECT_NE(out.find("the module stays in memory"), std::string::npos) << out;
    EXPECT_NE(out.find("Adjust Size…: disabled"), std::string::npos) << out;
    EXPECT_NE(out.find("sent 1 timer message"), std::string::npos) << out;
    EXPECT_EQ(Count(log, "init res = 1"), 1) << log;
    EXPECT_EQ(Count(log, "[ERROR]"), 0) << log;
}

TEST(PluginModule, SecondStartupInstallsTheMenusWithoutASecondTimer) {
    std::ostringstream hostLog;
    { vhost::Host first(HostOptions(hostLog)); }
    const UUnits* units = g_units;
    testing_support::CapturedLog log;
    vhost::Host second(HostOptions(hostLog));
    EXPECT_NE(second.execute("menus").find("About Varnel…: enabled"), std::string::npos);
    EXPECT_EQ(second.execute("tick"), "sent 0 timer messages\n");
    EXPECT_EQ(g_units, units);
    EXPECT_EQ(log.count("init res"), 0);
}

}  // namespace
