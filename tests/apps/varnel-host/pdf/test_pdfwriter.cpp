// The PDF export as a reader sees the file: qpdf's own check, versions, boxes, document
// information, placed art as form XObjects, identical bytes for identical input, and refused input
// writing nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <cmath>
#include <functional>

#include "PageContent.h"
#include "PlacedPage.h"
#include "TestFolders.h"
#include "pdf/PdfWriter.h"

namespace {

using namespace vhost;
using namespace vhost::pdf;
using testing_support::CountEntries;
using testing_support::ReadFile;
using testing_support::ScratchFolder;
using Type = ActionParam::Type;
using Box = std::vector<double>;

ActionParam Param(const char (&key)[5], Type type, int64_t integer, double real = 0, std::string text = "") {
    return {uint32_t(AI_FOUR_CHAR(key)), type, integer, real, std::move(text)};
}

// The plug-in's block in brief: the bleeds as it sets them ('brht' an integer), two keys the writer ignores.
ActionParams Block(const std::string& path, int64_t comp = 23, double top = 0, double bottom = 0,
                   double left = 0, int64_t right = 0) {
    return {
        Param("optn", Type::Integer, 0),         Param("comp", Type::Enumerated, comp, 0, "Compatibility"),
        Param("btop", Type::Real, 0, top),       Param("bbtm", Type::Real, 0, bottom),
        Param("blft", Type::Real, 0, left),      Param("brht", Type::Integer, right),
        Param("name", Type::String, 0, 0, path), Param("extn", Type::String, 0, 0, "pdf")};
}

AIPathSegment Corner(double h, double v) {
    return {{h, v}, {h, v}, {h, v}, 1};
}
PdfDocument Document(std::vector<PdfArt> art = {}) {
    return {"Affiche Été", {-8.5, 850.5, 603.5, -8.5}, std::move(art), ""};
}

// A PDF of one page of `mediaBox` drawn by `content` and turned by `rotate` degrees; of no page
// when `mediaBox` is empty.
std::string MakePdf(const std::string& content, const Box& mediaBox, int rotate = 0) {
    QPDF pdf;
    pdf.emptyPDF();
    if (!mediaBox.empty()) {
        std::vector<QPDFObjectHandle> box;
        for (double n : mediaBox) box.push_back(QPDFObjectHandle::newReal(n, 2));
        pdf.addPage(pdf.makeIndirectObject(QPDFObjectHandle::newDictionary({
                        {"/Type", QPDFObjectHandle::newName("/Page")},
                        {"/MediaBox", QPDFObjectHandle::newArray(box)},
                        {"/Rotate", QPDFObjectHandle::newInteger(rotate)},
                        {"/Resources", QPDFObjectHandle::newDictionary()},
                        {"/Contents", pdf.newStream(content)},
                    })),
                    false);
    }
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.write();
    const auto bytes = writer.getBufferSharedPointer();
    return std::string(reinterpret_cast<const char*>(bytes->getBuffer()), bytes->getSize());
}

std::string Decoded(QPDFObjectHandle stream) {
    const auto data = stream.getStreamData(qpdf_dl_generalized);
    return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
}

struct Reader {
    explicit Reader(const std::string& path) { pdf.processFile(path.c_str()); }
    QPDFObjectHandle page() { return pdf.getAllPages().at(0); }
    QPDFObjectHandle trailer(const char* key) { return pdf.getTrailer().getKey(key); }
    Box box(const std::string& key) {
        Box box;
        for (auto& n : page().getKey(key).getArrayAsVector()) box.push_back(n.getNumericValue());
        return box;
    }
    QPDF pdf;
};

// Each version written twice must give the same bytes, and pass qpdf's own check.
TEST(PdfWriter, VersionFollowsCompatibilityCodeAndUnknownCodesGetTheDefault) {
    const struct {
        int64_t comp;
        const char* version;
    } cases[] = {{19, "1.3"}, {20, "1.4"}, {21, "1.5"}, {22, "1.6"}, {23, "1.7"}, {18, "1.3"}, {24, "1.3"}};
    ScratchFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.comp);
        const PdfResult result = WritePdf(Document(), Block(folder / "a.pdf", c.comp));
        EXPECT_EQ(ReadFile(WritePdf(Document(), Block(folder / "b.pdf", c.comp)).path),
                  ReadFile(result.path));
        EXPECT_EQ(result.version, c.version);
        const bool known = c.comp >= 19 && c.comp <= 23;
        EXPECT_EQ(result.ignored, (known ? std::vector<std::string>{"optn", "extn"}
                                         : std::vector<std::string>{"optn", "comp", "extn"}));
        EXPECT_EQ(ReadFile(result.path).substr(0, 9), std::string("%PDF-") + c.version + "\n");
        EXPECT_EQ(std::system((QPDF_PROGRAM " --check " + result.path + " > /dev/null").c_str()), 0);
        Reader pdf(result.path);
        EXPECT_EQ(pdf.trailer("/Info").getKey("/Title").getUTF8Value(), "Affiche Été");
        EXPECT_EQ(pdf.trailer("/Info").getKey("/Producer").getUTF8Value(), "varnel-host");
    }
}

TEST(PdfWriter, TrimBoxIsTheArtboardAndBleedAndMediaBoxesGrowItByTheBleeds) {
    const struct {
        AIRealRect artboard;
        double top, bottom, left;
        int64_t right;
        Box trim, bleed;
    } cases[] = {
        {{-8.5, 850.5, 603.5, -8.5}, 0, 0, 0, 0, {-8.5, -8.5, 603.5, 850.5}, {-8.5, -8.5, 603.5, 850.5}},
        {{10.25, 100.75, 50.5, 20}, 1.5, 0, 2.25, 9, {10.25, 20, 50.5, 100.75}, {8, 20, 59.5, 102.25}}};
    ScratchFolder folder;
    for (const auto& c : cases) {
        PdfDocument document = Document();
        document.artboard = c.artboard;
        WritePdf(document, Block(folder / "a.pdf", 21, c.top, c.bottom, c.left, c.right));
        Reader pdf(folder / "a.pdf");
        EXPECT_EQ(pdf.box("/TrimBox"), c.trim);
        EXPECT_EQ(pdf.box("/BleedBox"), c.bleed);
        EXPECT_EQ(pdf.box("/MediaBox"), c.bleed);
    }
}

TEST(PageContent, NumbersAreFixedNotationRoundedAndTrimmed) {
    const std::pair<double, const char*> cases[] = {
        {-8.5, "-8.5"}, {12, "12"}, {-1e-9, "0"}, {1e20, "100000000000000000000"}, {1.23456789, "1.234568"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(FormatNumber(value), text) << value;
}

TEST(PdfWriter, RefusesBadInputAndWritesNothing) {
    ScratchFolder folder;
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());  // where a relative path would land
    const std::pair<const char*, std::function<void(PdfDocument&, ActionParams&)>> cases[] = {
        {"out/a.pdf: not an absolute path", [](auto&, auto& b) { b[6].text = "out/a.pdf"; }},
        {"no file path", [](auto&, auto& b) { b.erase(b.begin() + 6); }},
        {"'bbtm' must be a number of points, 0 or more, not -3", [](auto&, auto& b) { b[3].real = -3; }},
        {"'frmt'", [](auto&, auto& b) { b.push_back(Param("frmt", Type::String, 0, 0, "TIFF")); }},
        {"art path 1 has a coordinate",
         [](auto& d, auto&) { std::get<PdfPath>(d.printableArt[0]).segments[1].in.v = NAN; }},
        {"is empty", [](auto& d, auto&) { d.artboard.top = d.artboard.bottom; }},
        {"placed.pdf: not a PDF file",
         [](auto& d, auto&) {
             d.printableArt.push_back(
                 PdfPlaced{std::make_shared<const std::string>("%PFD"), {0, 9, 9, 0}, "placed.pdf"});
         }},
        {"placed art 2 has bounds that are empty", [](auto& d, auto&) {
             d.printableArt.push_back(
                 PdfPlaced{std::make_shared<const std::string>(), {0, 9, 9, 9}, "placed.pdf"});
         }}};
    for (const auto& [expected, spoil] : cases) {
        PdfDocument document = Document({PdfPath{{Corner(0, 0), Corner(1, 1)}, false}});
        ActionParams block = Block(folder / "a.pdf");
        spoil(document, block);
        EXPECT_THAT([&] { WritePdf(document, block); },
                    testing::ThrowsMessage<std::runtime_error>(testing::HasSubstr(expected)));
        EXPECT_EQ(CountEntries(folder.path()), 0u) << expected;
    }
    std::filesystem::current_path(cwd);
}

TEST(PdfWriter, HostDocumentTravelsInsideThePdf) {
    ScratchFolder folder;
    PdfDocument document = Document();
    for (const std::string& data : {std::string("{\"art\": []}\0\xff binary too", 25), std::string()}) {
        document.hostData = data;
        EXPECT_EQ(ReadHostData(WritePdf(document, Block(folder / "a.pdf")).path), data);
    }
    for (const std::string& bad : {folder.write("text.pdf", "not a PDF at all"), folder / "missing.pdf"})
        EXPECT_THAT([&] { ReadHostData(bad); }, testing::ThrowsMessage<std::runtime_error>(
                                                    testing::StartsWith(bad + ": not a readable PDF")));
}

// The shipped artwork, placed twice, and a page turned a quarter: each file one form XObject
// holding its page's content and resources, drawn in paint order, scaled to its bounds.
TEST(PdfWriter, PlacedArtIsAFormXObjectOfThePagesContentAndResources) {
    const auto artwork = std::make_shared<const std::string>(ReadFile(VARNEL_ARTWORK));
    const auto turned =
        std::make_shared<const std::string>(MakePdf("1 0 0 rg 0 0 100 50 re f\n", {0, 0, 100, 50}, 90));
    ASSERT_FALSE(artwork->empty());
    const PageSize artworkSize = PlacedSource(artwork, "artwork").size(),
                   turnedSize = PlacedSource(turned, "turned").size();
    EXPECT_EQ((std::pair{artworkSize.width, artworkSize.height}), (std::pair{360.0, 240.0}));
    EXPECT_EQ((std::pair{turnedSize.width, turnedSize.height}), (std::pair{50.0, 100.0}));

    ScratchFolder folder;
    const std::string path = WritePdf(Document({PdfPlaced{artwork, {10, 300, 370, 60}, "artwork"},
                                                PdfPath{{Corner(0, 0), Corner(5, 5)}, false},
                                                PdfPlaced{turned, {200, 700, 250, 600}, "turned"},
                                                PdfPlaced{artwork, {100, 500, 280, 380}, "artwork"}}),
                                      Block(folder / "placed.pdf"))
                                 .path;
    EXPECT_EQ(std::system((QPDF_PROGRAM " --check " + path + " > /dev/null").c_str()), 0);
    Reader pdf(path), source(VARNEL_ARTWORK);
    QPDFObjectHandle forms = pdf.page().getKey("/Resources").getKey("/XObject");
    EXPECT_EQ(forms.getKeys(), (std::set<std::string>{"/Fm1", "/Fm2"}));
    for (const char* name : {"/Fm1", "/Fm2"}) {
        EXPECT_EQ(forms.getKey(name).getDict().getKey("/Subtype").getName(), "/Form") << name;
    }
    QPDFObjectHandle art = forms.getKey("/Fm1");
    EXPECT_EQ(Decoded(art), Decoded(source.page().getKey("/Contents")));
    EXPECT_EQ(art.getDict().getKey("/Resources").getKey("/Font").getKey("/F1").getKey("/BaseFont").getName(),
              "/Helvetica-Bold");
    EXPECT_EQ(Decoded(forms.getKey("/Fm2")), "1 0 0 rg 0 0 100 50 re f\n");
    EXPECT_TRUE(forms.getKey("/Fm2").getDict().getKey("/Matrix").isMatrix()) << "the page's turn is kept";

    // At natural size a move only; half the size, half the scale.
    const std::string content = Decoded(pdf.page().getKey("/Contents"));
    const size_t first = content.find("q\n1 0 0 1 10 60 cm\n/Fm1 Do\nQ\n"), path1 = content.find("\nS\n"),
                 second = content.find("/Fm2 Do"),
                 third = content.find("q\n0.5 0 0 0.5 100 380 cm\n/Fm1 Do\nQ\n");
    EXPECT_LT(first, path1) << content;
    EXPECT_LT(path1, second) << content;
    EXPECT_LT(second, third) << content;
    EXPECT_NE(third, std::string::npos) << content;
}

TEST(PlacedSource, RefusesWhatCannotBePlaced) {
    const std::string artwork = ReadFile(VARNEL_ARTWORK);
    const std::pair<std::string, const char*> cases[] = {
        {"", "not a PDF file"},
        {"GIF89a", "not a PDF file"},
        {artwork.substr(0, artwork.size() / 2), "not a readable PDF ("},
        {"%PDF-1.3\n" + std::string(100, '\0'), "not a readable PDF ("},
        {MakePdf("", {}), "a PDF without pages"},
        {MakePdf("", {0, 0, 0, 10}), "the first page's box is empty"},
    };
    for (const auto& [bytes, expected] : cases) {
        const auto pdf = std::make_shared<const std::string>(bytes);
        EXPECT_THAT([&] { PlacedSource(pdf, "in.pdf"); },
                    testing::ThrowsMessage<std::runtime_error>(
                        testing::StartsWith(std::string("in.pdf: ") + expected)));
    }
}

// The artwork the demo places is the generator's, byte for byte, so the two never drift apart.
TEST(Artwork, ShippedFileIsWhatItsGeneratorWrites) {
    ScratchFolder folder;
    ASSERT_EQ(std::system((PYTHON3_PROGRAM " " VARNEL_ARTWORK_GENERATOR " " + folder / "a.pdf").c_str()), 0);
    EXPECT_EQ(ReadFile(folder / "a.pdf"), ReadFile(VARNEL_ARTWORK));
}

}  // namespace
