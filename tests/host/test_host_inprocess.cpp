// vhost::Host in-process with the test plug-in linked in: answers, JSON, refused documents.
#include <gmock/gmock.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "Host.h"
#include "SessionEnvironment.h"

extern "C" SPErr PluginMain(char* caller, char* selector, void* message);

namespace {

using nlohmann::json;
using testing::HasSubstr;
using testing::Not;
using testing_support::ScratchFolder;

class InProcessHost : public testing::Test {
protected:
    InProcessHost() { env_.set("XDG_CONFIG_HOME", folder_ / "config"); }

    testing_support::ScopedEnvironment env_;
    ScratchFolder folder_;
    std::ostringstream log_;
    vhost::HostOptions options_{.pluginMain = PluginMain, .useBus = false, .log = &log_};
};

TEST_F(InProcessHost, AnswersCommandsAndReportsTheDocumentAsJson) {
    vhost::Host host(options_);
    EXPECT_THROW(vhost::Host second(options_), std::runtime_error);
    EXPECT_EQ(host.execute("  # a comment"), "");
    host.execute("new 400 300");
    host.execute("menu \"Exercise\"");
    const json doc = json::parse(host.execute("show --json"));
    EXPECT_EQ(doc["modified"], true);
    EXPECT_EQ(doc["dictionary"]["test-data"]["binary"], "010203");
    EXPECT_EQ(doc["profiles"]["cmyk"].get<std::string>().size(), 256u);
    EXPECT_EQ(host.execute("dict test-flag"), "true\n");
    EXPECT_EQ(host.execute("unload"), "sent \"SP Access\"/\"Unload\" (result 0)\n")
        << "linked in: nothing leaves memory";
    EXPECT_THROW(host.execute("unload"), vhost::CommandError);
    EXPECT_EQ(host.execute("reload"), "sent \"SP Access\"/\"Reload\" (result 0)\n");
    for (const char* bad :
         {"bogus", "new 10", "tick 0", "wait docs x", "show --yaml", "dict absent", "menu No Such"})
        EXPECT_THROW(host.execute(bad), vhost::CommandError) << bad;
    EXPECT_TRUE(host.shutDown().empty());
    EXPECT_THAT(log_.str(), Not(HasSubstr("did not give back")));
}

TEST_F(InProcessHost, RefusesBrokenDocumentsNamingThePlaceAndLeavesThemAsTheyWere) {
    vhost::Host host(options_);
    const std::string base = folder_ / "base.json";
    host.execute("new 100 50");
    host.execute("menu Make Guide");
    host.execute("menu Exercise");
    host.execute("save " + base);
    const json valid = json::parse(testing_support::ReadFile(base));
    const auto spoiled = [&](const char* pointer, const json& value) {
        json broken = valid;
        broken[json::json_pointer(pointer)] = value;
        return broken.dump();
    };
    const std::pair<std::string, std::string> cases[] = {
        {R"({"format": "varnel-host document 1", "width": })", ": parse error at line 1, column 47"},
        {spoiled("/format", "other"),
         ": /: not a varnel-host document (expected \"format\": \"varnel-host document 1\")"},
        {spoiled("/width", -1), ": /: the page size must be positive"},
        {spoiled("/art/0/segments", "none"), ": /art/0/segments: expected an array"},
        {spoiled("/art/0/segments/0/p", json::array({1})), ": /art/0/segments/0/p: expected [x, y]"},
        {spoiled("/art/0/type", "blob"), ": /art/0/type: unknown art type"},
        {spoiled("/artboards/0/top", -10), ": /artboards/0: an artboard has right > left and top > bottom"},
        {spoiled("/dictionary/test-data/binary", "0G"),
         ": /dictionary/test-data/binary: expected hexadecimal digits in pairs"},
        {spoiled("/profiles/cmyk", "00"), ": /profiles/cmyk: not an ICC profile"},
        {spoiled("/colorModel", 7), ": /colorModel: expected 0 (grey), 1 (RGB) or 2 (CMYK)"},
        {spoiled("/pdfOptions", json::array({{{"key", "comp"}, {"type", "real"}, {"value", "x"}}})),
         ": /pdfOptions/0/value: not a valid real value"},
    };
    for (const auto& [text, expected] : cases) {
        const std::string path = folder_.write("broken.json", text);
        // The parser's own words may follow the place.
        EXPECT_THAT(
            [&] { host.execute("open " + path); },
            testing::ThrowsMessage<vhost::CommandError>(testing::StartsWith("open: " + path + expected)));
        EXPECT_EQ(testing_support::ReadFile(path), text);
    }
    EXPECT_THROW(host.execute("open " + folder_.path()), vhost::CommandError);
    EXPECT_EQ(host.execute("docs"), "* \"base.json\" 100 x 50 pt, " + base + "\n") << "nothing was opened";
}

}  // namespace
