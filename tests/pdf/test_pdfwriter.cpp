// The PDF export as a reader sees the file: qpdf's own check, versions, boxes, drawn art,
// document information, identical bytes for identical input, and what a failed export leaves.
#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>

#include "PageContent.h"
#include "TestFolders.h"
#include "pdf/PdfWriter.h"

namespace {

using namespace vhost;
using namespace vhost::pdf;
using testing_support::ScratchFolder;
using Type = ActionParam::Type;
namespace fs = std::filesystem;

ActionParam Param(const char (&key)[5], Type type, int64_t integer, double real = 0, std::string text = "") {
    return {uint32_t(AI_FOUR_CHAR(key)), type, integer, real, std::move(text)};
}

// The plug-in's block in brief: bleeds as it sets them ('brht' an integer) and keys the writer ignores.
ActionParams Block(const std::string& path, int64_t comp = 23, double top = 0, double bottom = 0,
                   double left = 0, int64_t right = 0) {
    return {Param("optn", Type::Integer, 0),          Param("comp", Type::Enumerated, comp, 0, "Compatibility"),
            Param("btop", Type::Real, 0, top),        Param("bbtm", Type::Real, 0, bottom),
            Param("blft", Type::Real, 0, left),       Param("brht", Type::Integer, right),
            Param("name", Type::String, 0, 0, path),  Param("extn", Type::String, 0, 0, "pdf")};
}

AIPathSegment Corner(double h, double v) {
    return {{h, v}, {h, v}, {h, v}, 1};
}
AIPathSegment Smooth(double h, double v) {
    return {{h, v}, {h - 5, v}, {h + 5, v}, 0};
}

PdfDocument Document(std::vector<PdfPath> art = {}) {
    return {"Affiche Été", {-8.5, 850.5, 603.5, -8.5}, std::move(art), ""};
}

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    return names;
}

std::vector<double> Box(QPDFObjectHandle page, const std::string& key) {
    std::vector<double> box;
    for (auto& n : page.getKey(key).getArrayAsVector()) box.push_back(n.getNumericValue());
    return box;
}

bool Inside(const std::vector<double>& inner, const std::vector<double>& outer) {
    return inner[0] >= outer[0] && inner[1] >= outer[1] && inner[2] <= outer[2] && inner[3] <= outer[3];
}

struct OperatorCount : QPDFObjectHandle::ParserCallbacks {
    std::map<std::string, int> count;
    void handleObject(QPDFObjectHandle object) override {
        if (object.isOperator()) ++count[object.getOperatorValue()];
    }
    void handleEOF() override {}
};

TEST(PdfWriter, VersionFollowsCompatibilityCodeAndUnknownCodesGetTheDefault) {
    const struct { int64_t comp; const char* version; bool compIgnored; } cases[] = {
        {19, "1.3", false}, {20, "1.4", false}, {21, "1.5", false}, {22, "1.6", false},
        {23, "1.7", false}, {18, "1.3", true},  {24, "1.3", true},  {-1, "1.3", true}};
    ScratchFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.comp);
        const PdfResult result = WritePdf(Document(), Block(folder / "a.pdf", c.comp));
        EXPECT_EQ(result.version, c.version);
        const auto ignored = c.compIgnored ? std::vector<std::string>{"optn", "comp", "extn"}
                                           : std::vector<std::string>{"optn", "extn"};
        EXPECT_EQ(result.ignored, ignored);
        EXPECT_EQ(Bytes(result.path).substr(0, 9), std::string("%PDF-") + c.version + "\n");
        EXPECT_EQ(std::system((QPDF_PROGRAM " --check " + result.path + " > /dev/null").c_str()), 0);
        QPDF pdf;
        pdf.processFile(result.path.c_str());
        EXPECT_EQ(pdf.getPDFVersion(), c.version);
    }
}

TEST(PdfWriter, TrimBoxIsTheArtboardAndBleedBoxGrowsItByTheBleeds) {
    const struct { AIRealRect artboard; double top, bottom, left; int64_t right; std::vector<double> trim, bleed; } cases[] = {
        {{-8.5, 850.5, 603.5, -8.5}, 0, 0, 0, 0, {-8.5, -8.5, 603.5, 850.5}, {-8.5, -8.5, 603.5, 850.5}},
        {{0, 297, 210, 0}, 3, 3, 3, 3, {0, 0, 210, 297}, {-3, -3, 213, 300}},
        {{10.25, 100.75, 50.5, 20}, 1.5, 0, 2.25, 9, {10.25, 20, 50.5, 100.75}, {8, 20, 59.5, 102.25}}};
    ScratchFolder folder;
    for (const auto& c : cases) {
        PdfDocument document = Document();
        document.artboard = c.artboard;
        WritePdf(document, Block(folder / "a.pdf", 21, c.top, c.bottom, c.left, c.right));
        QPDF pdf;
        pdf.processFile((folder / "a.pdf").c_str());
        QPDFObjectHandle page = pdf.getAllPages().at(0);
        EXPECT_EQ(Box(page, "/TrimBox"), c.trim);
        EXPECT_EQ(Box(page, "/BleedBox"), c.bleed);
        EXPECT_TRUE(Inside(Box(page, "/TrimBox"), Box(page, "/BleedBox")));
        EXPECT_TRUE(Inside(Box(page, "/BleedBox"), Box(page, "/MediaBox")));
    }
}

TEST(PdfWriter, StrokesEveryPathWithStraightAndCurvedSegments) {
    ScratchFolder folder;
    const PdfDocument document = Document({
        {{Corner(0, 0), Corner(100, 0), Corner(100, 100)}, false},               // m l l S
        {{Smooth(0, 0), Smooth(50, 50), Smooth(100, 0), Smooth(50, -50)}, true},  // m c c c c h S
        {{Corner(0, 0), Corner(10, 0), Corner(10, 10)}, true},                    // m l l h S
        {{Smooth(5, 5)}, true},                                                   // a stray point: nothing
        {{}, false}});
    WritePdf(document, Block(folder / "a.pdf"));
    QPDF pdf;
    pdf.processFile((folder / "a.pdf").c_str());
    OperatorCount ops;
    QPDFObjectHandle page = pdf.getAllPages().at(0);
    QPDFObjectHandle::parseContentStream(page.getKey("/Contents"), &ops);
    EXPECT_EQ(ops.count, (std::map<std::string, int>{{"G", 1}, {"w", 1}, {"m", 3}, {"l", 4}, {"c", 4}, {"h", 2}, {"S", 3}}));
}

TEST(PageContent, NumbersAreFixedNotationRoundedAndTrimmed) {
    const struct { double value; const char* text; } cases[] = {
        {603.5, "603.5"}, {-8.5, "-8.5"}, {12, "12"}, {-0.0, "0"}, {-1e-9, "0"}, {1e-7, "0"},
        {1e20, "100000000000000000000"}, {0.1 + 0.2, "0.3"}, {1.23456789, "1.234568"}};
    for (const auto& c : cases) EXPECT_EQ(FormatNumber(c.value), c.text) << c.value;
}

TEST(PdfWriter, InformationNamesTitleAndHostAndSameInputGivesSameBytes) {
    ScratchFolder folder;
    const PdfDocument document = Document({{{Smooth(0, 0), Corner(10, 10)}, false}});
    WritePdf(document, Block(folder / "a.pdf"));
    const std::string first = Bytes(folder / "a.pdf");
    WritePdf(document, Block(folder / "b.pdf"));
    EXPECT_EQ(Bytes(folder / "b.pdf"), first);
    QPDF pdf;
    pdf.processFile((folder / "a.pdf").c_str());
    QPDFObjectHandle info = pdf.getTrailer().getKey("/Info");
    EXPECT_EQ(info.getKey("/Title").getUTF8Value(), "Affiche Été");
    EXPECT_EQ(info.getKey("/Producer").getUTF8Value(), "varnel-host");
    EXPECT_TRUE(pdf.getTrailer().getKey("/ID").isArray());
}

TEST(PdfWriter, RefusesBadInputAndWritesNothing) {
    ScratchFolder folder;
    const fs::path cwd = fs::current_path();
    fs::current_path(folder.path());  // where a relative path would land
    const std::string target = folder / "a.pdf";
    const struct { const char* expected; std::function<void(PdfDocument&, ActionParams&)> spoil; } cases[] = {
        {"out/a.pdf: not an absolute path", [](PdfDocument&, ActionParams& b) { b[6].text = "out/a.pdf"; }},
        {"no file path", [](PdfDocument&, ActionParams& b) { b.erase(b.begin() + 6); }},
        {"'bbtm' must be a number of points, 0 or more, not -3", [](PdfDocument&, ActionParams& b) { b[3].real = -3; }},
        {"'frmt'", [](PdfDocument&, ActionParams& b) { b.push_back(Param("frmt", Type::String, 0, 0, "TIFF")); }},
        {"art path 1 has a coordinate", [](PdfDocument& d, ActionParams&) { d.printableArt[0].segments[1].in.v = NAN; }},
        {"is empty", [](PdfDocument& d, ActionParams&) { d.artboard.top = d.artboard.bottom; }}};
    for (const auto& c : cases) {
        PdfDocument document = Document({{{Corner(0, 0), Corner(1, 1)}, false}});
        ActionParams block = Block(target);
        c.spoil(document, block);
        try {
            WritePdf(document, block);
            ADD_FAILURE() << "accepted: " << c.expected;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
        }
        EXPECT_TRUE(Listing(folder.path()).empty()) << c.expected;
    }
    fs::current_path(cwd);
}

// Each case makes the export fail at another step; the older export and the folder stay as they were.
void ExpectFailedExportKeepsFolder(const std::string& target, const std::string& folder) {
    const std::vector<std::string> before = Listing(folder);
    const std::string older = fs::is_regular_file(target) ? Bytes(target) : "";
    EXPECT_THROW(WritePdf(Document(), Block(target)), std::runtime_error);
    EXPECT_EQ(Listing(folder), before);
    if (fs::is_regular_file(target)) {
        EXPECT_EQ(Bytes(target), older);
    }
}

TEST(PdfWriter, FailedWriteOrRenameLeavesOlderFileAndNoTemporary) {
    ScratchFolder folder;
    folder.write("a.pdf", "older export");
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 64;  // the new file's write fails part way
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    ExpectFailedExportKeepsFolder(folder / "a.pdf", folder.path());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);

    folder.write("b.pdf/kept", "");  // a folder where the file should go: the rename fails
    ExpectFailedExportKeepsFolder(folder / "b.pdf", folder.path());
    EXPECT_TRUE(fs::exists(folder / "b.pdf/kept"));
}

TEST(PdfWriter, UnwritableFolderLeavesOlderFile) {
    ScratchFolder folder;
    const std::string locked = folder.makeFolder("locked");
    folder.write("locked/a.pdf", "older export");
    ::chmod(locked.c_str(), 0555);
    if (::access(locked.c_str(), W_OK) == 0) GTEST_SKIP() << "permissions do not bind this user";
    ExpectFailedExportKeepsFolder(locked + "/a.pdf", locked);
    ::chmod(locked.c_str(), 0755);
}

TEST(PdfWriter, HostDocumentTravelsInsideThePdf) {
    ScratchFolder folder;
    PdfDocument document = Document();
    document.hostData = std::string("{\"art\": []}\0\xff binary too", 25);
    WritePdf(document, Block(folder / "with.pdf"));
    EXPECT_EQ(ReadHostData(folder / "with.pdf"), document.hostData);

    WritePdf(Document(), Block(folder / "without.pdf"));
    EXPECT_EQ(ReadHostData(folder / "without.pdf"), "");

    for (const std::string& bad : {folder.write("text.pdf", "not a PDF at all"), folder / "missing.pdf"}) {
        try {
            ReadHostData(bad);
            ADD_FAILURE() << bad;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()).rfind(bad + ": not a readable PDF", 0), 0u) << e.what();
        }
    }
}

}  // namespace
