// vhost::Host in-process without a plug-in: commands, documents saved and opened again as JSON
// and from their PDF, placed art, broken documents refused.
#include <gmock/gmock.h>
#include <unistd.h>
#include <qpdf/QPDF.hh>

#include <nlohmann/json.hpp>
#include <sstream>

#include "DocumentJson.h"
#include "Host.h"
#include "PdfExport.h"
#include "PlacedArt.h"
#include "TestFolders.h"
#include "Trace.h"

namespace {

using nlohmann::json;
using testing::HasSubstr;
using testing::StartsWith;
using testing_support::ReadFile;

std::string Decoded(QPDFObjectHandle stream) {
    const auto data = stream.getStreamData(qpdf_dl_generalized);
    return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
}

// The content of the first page of a PDF file, and of the forms its page draws.
struct PageContents {
    explicit PageContents(const std::string& path) {
        QPDF pdf;
        pdf.processFile(path.c_str());
        QPDFObjectHandle page = pdf.getAllPages().at(0);
        content = Decoded(page.getKey("/Contents"));
        QPDFObjectHandle forms = page.getKey("/Resources").getKey("/XObject");
        if (forms.isDictionary())
            for (const std::string& name : forms.getKeys())
                this->forms.push_back(Decoded(forms.getKey(name)));
    }
    std::string content;
    std::vector<std::string> forms;
};

class InProcessHost : public testing::Test {
protected:
    // A document file holding a path, placed art, dictionary entries and a profile.
    std::string Base() const {
        vhost::Document doc = vhost::makeDocument(100, 50, vhost::kColorModelCMYK);
        doc.art.resize(2);
        doc.art[0].segments.resize(4);
        doc.art[0].segments[1].out = {5.25, 1e-300};
        doc.art[0].segments[2].in = {-0.0, 0.1};  // beside an anchor at 0: written, not left out
        doc.art[0].segments[3].corner = 1;
        doc.art[1].type = kPlacedArt;
        doc.art[1].placement = {"/nowhere/art.pdf",
                                std::make_shared<const std::string>(ReadFile(VARNEL_ARTWORK)),
                                {-10, 60.5, 350, -179.5}};
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

// Keys in any order, indented, every handle written out even where it sits on its anchor: the
// tree library's layout, which documents were once saved in, opens as the same document.
TEST_F(InProcessHost, OpensDocumentsInTheTreeLibrarysLayoutWithEveryHandleWrittenOut) {
    const std::string base = Base();
    json tree = json::parse(ReadFile(base));
    for (json& art : tree["art"]) {
        for (json& segment : art["segments"]) {
            if (!segment.contains("in")) segment["in"] = segment["p"];
            if (!segment.contains("out")) segment["out"] = segment["p"];
        }
    }
    const std::string old = folder_.write("old.json", tree.dump(2) + "\n");
    ASSERT_NE(ReadFile(old), ReadFile(base));
    vhost::Host host(options_);
    host.execute("open " + old);
    host.execute("save " + folder_ / "new.json");
    EXPECT_EQ(ReadFile(folder_ / "new.json"), ReadFile(base));
}

TEST_F(InProcessHost, RefusesBrokenDocumentsNamingThePlaceAndLeavesThemAsTheyWere) {
    vhost::Host host(options_);
    const json valid = json::parse(ReadFile(Base()));
    const auto spoiled = [&](const char* pointer, const json& value) {
        json broken = valid;
        broken[json::json_pointer(pointer)] = value;
        return broken.dump();
    };
    const auto without = [&](const char* pointer, const char* member) {
        json broken = valid;
        broken[json::json_pointer(pointer)].erase(member);
        return broken.dump();
    };
    // A member the host does not know, nested `levels` deep counting the document: skipped up to the
    // limit, refused at the first bracket past it.
    const std::string before = "{\"format\": \"varnel-host document 1\",\n \"extra\": ";
    const auto nested = [&](int levels) {
        return before + std::string(levels - 1, '[') + std::string(levels - 1, ']') + "}";
    };
    const std::string deeper = "line 2, column " + std::to_string(before.size() - 37 + vhost::kMaxJsonDepth) +
                               ": nesting deeper than " + std::to_string(vhost::kMaxJsonDepth) + " levels";
    const std::pair<std::string, std::string> cases[] = {
        {R"({"format": "varnel-host document 1", "width": })",
         ": line 1, column 47: expected a value, not '}'"},
        {R"({"format": "varnel-host document 1", "width": 1,})",
         ": line 1, column 49: expected a member name"},
        {"{\"format\": \"varnel-host document 1\"}\n[]", ": line 2, column 1: expected the end of the text"},
        {nested(vhost::kMaxJsonDepth), ": /: missing \"width\""},  // read, refused for what it holds
        {nested(vhost::kMaxJsonDepth + 1), ": " + deeper},
        {nested(1000000), ": " + deeper},
        {"[]", ": /: not a varnel-host document"},
        {spoiled("/format", "other"),
         ": /: not a varnel-host document (expected \"format\": \"varnel-host document 1\")"},
        {spoiled("/width", -1), ": /: the page size must be positive"},
        {spoiled("/art/0/segments", "none"), ": /art/0/segments: expected an array"},
        {without("/art/0/segments/1", "corner"), ": /art/0/segments/1: missing \"corner\""},
        {without("", "profiles"), ": /: missing \"profiles\""},
        {spoiled("/art/0/segments/2/in", json::array({1, 2, 3})),
         ": /art/0/segments/2/in: more than 2 entries"},
        {spoiled("/art/0/segments/0/p", json::array({1})), ": /art/0/segments/0/p: expected [x, y]"},
        {spoiled("/art/0/type", "blob"), ": /art/0/type: unknown art type"},
        {spoiled("/artboards/0/top", -10), ": /artboards/0: an artboard has right > left and top > bottom"},
        {spoiled("/dictionary/test-data/binary", "0G"),
         ": /dictionary/test-data/binary: expected hexadecimal digits in pairs"},
        {spoiled("/profiles/cmyk", "00"), ": /profiles/cmyk: not an ICC profile"},
        {spoiled("/colorModel", 7), ": /colorModel: expected 0 (grey), 1 (RGB) or 2 (CMYK)"},
        {spoiled("/pdfOptions", json::array({{{"key", "comp"}, {"type", "real"}, {"value", "x"}}})),
         ": /pdfOptions/0/value: not a valid real value"},
        {spoiled("/art/0/placed", valid["art"][1]["placed"]),
         ": /art/0/placed: only placed art has a placed file"},
        {spoiled("/art/1/placed/file", 5), ": /art/1/placed/file: expected a string"},
        {spoiled("/art/1/placed/bounds/top", -179.5),
         ": /art/1/placed/bounds: placed art has right > left and top > bottom"},
        {spoiled("/art/1/placed/pdf", "2550444600"), ": /art/1/placed/pdf: not a PDF file"},
        {spoiled("/art/1/placed/pdf", valid["art"][1]["placed"]["pdf"].get<std::string>().substr(0, 2000)),
         ": /art/1/placed/pdf: not a readable PDF ("},
    };
    for (const auto& [text, expected] : cases) {
        const std::string path = folder_.write("broken.json", text);
        // The parser's own words may follow the place.
        EXPECT_THAT([&] { host.execute("open " + path); },
                    testing::ThrowsMessage<vhost::CommandError>(StartsWith("open: " + path + expected)));
        EXPECT_EQ(ReadFile(path), text);
    }
    EXPECT_EQ(host.execute("docs"), "no document open\n") << "nothing was opened";
}

// Placed at its own size in the middle of the artboard, the page stays in the document when its
// file is gone, and the PDF written from the reopened document draws it as a form.
TEST_F(InProcessHost, PlacedArtIsCentredAndKeptThroughSaveOpenAndExport) {
    const std::string art = folder_.write("art.pdf", ReadFile(VARNEL_ARTWORK)),
                      saved = folder_ / "placed.json";
    vhost::Host host(options_);
    host.execute("new 612 859");
    EXPECT_EQ(host.execute("place " + art),
              "placed page 1 of " + art + ", 360 x 240 pt, at x 126, y 309.5\n");
    EXPECT_THAT(host.execute("docs"), HasSubstr(", modified"));
    host.execute("save " + saved);
    std::filesystem::remove(art);
    host.execute("close");
    host.execute("open " + saved);
    EXPECT_THAT(host.execute("show"),
                HasSubstr("\nart 1: placed x 126, y 309.5, width 360, height 240, page 1 of " + art + " ("));

    const std::string pdf = folder_ / "placed.pdf";
    vhost::writeDocumentPdf(vhost::documentFromJson(json::parse(ReadFile(saved)), saved),
                            vhost::withTarget({}, pdf), log_, "test");
    const PageContents exported(pdf), artwork(VARNEL_ARTWORK);
    EXPECT_EQ(exported.forms, std::vector<std::string>{artwork.content});
    EXPECT_THAT(exported.content, HasSubstr("1 0 0 1 126 309.5 cm\n/Fm1 Do\n"));
}

TEST_F(InProcessHost, PlaceRefusesWhatIsNotAPdfPageInOneLineAndChangesNothing) {
    vhost::Host host(options_);
    EXPECT_THAT([&] { host.execute("place " + folder_ / "a.pdf"); },
                testing::ThrowsMessage<vhost::CommandError>("place: no document is open"));
    const std::string artwork = ReadFile(VARNEL_ARTWORK), large = folder_.write("large.pdf", artwork);
    ASSERT_EQ(::truncate(large.c_str(), off_t(vhost::kMaxPlacedBytes) + 1), 0);
    const std::pair<std::string, std::string> cases[] = {
        {folder_ / "absent.pdf", ": No such file or directory"},
        {folder_.path(), ": not a regular file but a directory"},
        {"/dev/zero", ": not a regular file but a device"},
        {folder_.write("empty.pdf", ""), ": not a PDF file"},
        {folder_.write("text.pdf", "%!PS-Adobe-3.0\n"), ": not a PDF file"},
        {folder_.write("half.pdf", artwork.substr(0, artwork.size() / 2)), ": not a readable PDF ("},
        {large, ": larger than " + std::to_string(vhost::kMaxPlacedBytes) + " bytes"},
    };
    host.execute("new");
    const std::string before = host.execute("show");
    for (const auto& [path, expected] : cases) {
        EXPECT_THAT([&] { host.execute("place \"" + path + "\""); },
                    testing::ThrowsMessage<vhost::CommandError>(StartsWith("place: " + path + expected)));
    }
    EXPECT_EQ(host.execute("show"), before);
}

TEST_F(InProcessHost, CommandsAnswerWithShortestNumbers) {
    vhost::Host host(options_);
    EXPECT_THAT(host.execute("new 0.1 0.7999999999999999"),
                testing::EndsWith(", 0.1 x 0.7999999999999999 pt\n"));
    EXPECT_THAT(host.execute("show"), testing::HasSubstr("\nsize 0.1 x 0.7999999999999999 pt, "));
}

}  // namespace
