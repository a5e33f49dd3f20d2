// vhost::Host in-process without a plug-in: commands, documents saved and opened again as JSON
// and from their PDF, broken documents refused.
#include <gmock/gmock.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "DocumentJson.h"
#include "Host.h"
#include "PdfExport.h"
#include "TestFolders.h"
#include "Trace.h"

namespace {

using nlohmann::json;
using testing_support::ReadFile;

class InProcessHost : public testing::Test {
protected:
    // A document file holding art, dictionary entries and a profile.
    std::string Base() const {
        vhost::Document doc = vhost::makeDocument(100, 50, vhost::kColorModelCMYK);
        doc.art.resize(1);
        doc.art[0].segments.resize(4);
        doc.art[0].dictionary["test-guide"] = {vhost::DictEntry::Type::Boolean, "", true};
        doc.dictionary["test-data"].bytes = "\x01\x02\x03";
        std::string icc(128, '\0');
        icc[3] = char(128);
        doc.profiles[1] = std::make_shared<const std::string>(icc.replace(36, 4, "acsp"));
        return folder_.write("base.json", vhost::documentText(doc));
    }

    testing_support::ScratchFolder folder_;
    std::ostringstream log_;
    vhost::HostOptions options_{.useBus = false, .log = &log_};
};

TEST_F(InProcessHost, DocumentsSaveAndOpenAgainAsTheSameJsonOrFromTheirPdf) {
    const std::string base = Base(), pdf = folder_ / "base.pdf";
    vhost::Host host(options_);
    EXPECT_THROW(vhost::Host second(options_), std::runtime_error);
    EXPECT_EQ(host.execute("  # a comment"), "");
    host.execute("open " + base);
    host.execute("save " + folder_ / "again.json");
    vhost::writeDocumentPdf(vhost::documentFromJson(json::parse(ReadFile(base)), base),
                            vhost::withTarget({}, pdf), log_, "test");
    host.execute("open " + pdf);
    host.execute("save " + folder_ / "from-pdf.json");
    EXPECT_EQ(ReadFile(folder_ / "again.json"), ReadFile(base));
    EXPECT_EQ(ReadFile(folder_ / "from-pdf.json"), ReadFile(base));
    for (const char* bad :
         {"bogus", "new 10", "tick 0", "wait docs x", "show --yaml", "dict absent", "unload"})
        EXPECT_THROW(host.execute(bad), vhost::CommandError) << bad;
}

TEST_F(InProcessHost, RefusesBrokenDocumentsNamingThePlaceAndLeavesThemAsTheyWere) {
    vhost::Host host(options_);
    const json valid = json::parse(ReadFile(Base()));
    const auto spoiled = [&](const char* pointer, const json& value) {
        json broken = valid;
        broken[json::json_pointer(pointer)] = value;
        return broken.dump();
    };
    // Art nested `levels` deep counting the document: past the limit refused before anything recurses.
    const auto nested = [](int levels) {
        return R"({"format": "varnel-host document 1", "art": )" + std::string(levels - 1, '[') +
               std::string(levels - 1, ']') + "}";
    };
    const std::string deeper = "nesting deeper than " + std::to_string(vhost::kMaxJsonDepth) + " levels";
    const std::pair<std::string, std::string> cases[] = {
        {R"({"format": "varnel-host document 1", "width": })", ": parse error at line 1, column 47"},
        {nested(vhost::kMaxJsonDepth), ": /: missing \"width\""},  // read, refused for what it holds
        {nested(vhost::kMaxJsonDepth + 1), ": line 1, column 108: " + deeper},
        {nested(1000000), ": line 1, column 108: " + deeper},
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
        EXPECT_EQ(ReadFile(path), text);
    }
    EXPECT_EQ(host.execute("docs"), "no document open\n") << "nothing was opened";
}

TEST_F(InProcessHost, CommandsAnswerWithShortestNumbers) {
    vhost::Host host(options_);
    EXPECT_THAT(host.execute("new 0.1 0.7999999999999999"),
                testing::EndsWith(", 0.1 x 0.7999999999999999 pt\n"));
    EXPECT_THAT(host.execute("show"), testing::HasSubstr("\nsize 0.1 x 0.7999999999999999 pt, "));
}

}  // namespace
