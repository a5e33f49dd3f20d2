#include "PdfWriter.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cmath>
#include <map>
#include <stdexcept>

#include "ExportOptions.h"
#include "PageContent.h"
#include "PlacedPage.h"
#include "support/ReplaceFile.h"

namespace vhost::pdf {
namespace {

// The catalog key of the embedded host document; a private name no PDF reader acts on.
constexpr const char* kHostDataKey = "/VarnelHostDocument";
constexpr const char* kProducer = "varnel-host";

using Object = QPDFObjectHandle;

void CheckArtboard(const AIRealRect& r) {
    if (!std::isfinite(r.left) || !std::isfinite(r.top) || !std::isfinite(r.right) ||
        !std::isfinite(r.bottom) || r.right <= r.left || r.top <= r.bottom)
        throw std::runtime_error("the artboard (left " + FormatNumber(r.left) + ", top " +
                                 FormatNumber(r.top) + ", right " + FormatNumber(r.right) + ", bottom " +
                                 FormatNumber(r.bottom) + ") is empty or not finite");
}

AIRealRect Grow(const AIRealRect& r, const Bleeds& b) {
    return {r.left - b.left, r.top + b.top, r.right + b.right, r.bottom - b.bottom};
}

// Boxes are [llx lly urx ury] in the artboard's own coordinates, so art needs no transform.
Object Box(const AIRealRect& r) {
    return Object::newArray({Object::newReal(FormatNumber(r.left)), Object::newReal(FormatNumber(r.bottom)),
                             Object::newReal(FormatNumber(r.right)), Object::newReal(FormatNumber(r.top))});
}

// Each placed file once, as a form XObject of the page's resources, however often it is placed.
class PlacedForms {
public:
    PlacedForms(QPDF& pdf, QPDFPageObjectHelper page) : pdf_(pdf), page_(std::move(page)) {}

    std::string draw(const PdfPlaced& placed) {
        std::string& name = names_[placed.pdf.get()];
        if (name.empty()) {
            name = "/Fm" + std::to_string(names_.size());
            sources_.push_back(std::make_unique<PlacedSource>(placed.pdf, placed.file));
            xobjects_.replaceKey(name, sources_.back()->copyInto(pdf_));
        }
        const AIRealRect& b = placed.bounds;
        // Scaled to fit and centred, the page's own turn kept: the bounds say where it goes.
        return page_.placeFormXObject(xobjects_.getKey(name), name,
                                      QPDFObjectHandle::Rectangle(b.left, b.bottom, b.right, b.top), false,
                                      true, true);
    }
    Object xobjects() const { return xobjects_; }

private:
    QPDF& pdf_;
    QPDFPageObjectHelper page_;
    Object xobjects_ = Object::newDictionary();
    std::map<const std::string*, std::string> names_;
    // The copied forms read their content from these until the file is written.
    std::vector<std::unique_ptr<PlacedSource>> sources_;
};

// A stream that qpdf reads from `data` as it writes the file, rather than from a copy of it;
// `data` must outlive the writing.
Object StreamOf(QPDF& pdf, const std::string& data) {
    Object stream = Object::newStream(&pdf);
    stream.replaceStreamData(
        [&data](Pipeline* to) {
            to->write(reinterpret_cast<const unsigned char*>(data.data()), data.size());
            to->finish();
        },
        Object::newNull(), Object::newNull());
    return stream;
}

std::shared_ptr<Buffer> BuildPdf(const PdfDocument& document, const ExportOptions& options) {
    const AIRealRect bleedBox = Grow(document.artboard, options.bleeds);
    QPDF pdf;
    pdf.emptyPDF();

    // The crop box defaults to the media box, which is the bleed box: trim inside bleed inside media.
    Object page = pdf.makeIndirectObject(Object::newDictionary({
        {"/Type", Object::newName("/Page")},
        {"/MediaBox", Box(bleedBox)},
        {"/BleedBox", Box(bleedBox)},
        {"/TrimBox", Box(document.artboard)},
        {"/Resources", Object::newDictionary()},
    }));
    PlacedForms forms(pdf, QPDFPageObjectHelper(page));
    const std::string content =
        PageContent(document.printableArt, [&](const PdfPlaced& p) { return forms.draw(p); });
    page.replaceKey("/Contents", StreamOf(pdf, content));
    if (!forms.xobjects().getKeys().empty())
        page.getKey("/Resources").replaceKey("/XObject", forms.xobjects());
    pdf.addPage(page, false);

    // No dates: the same document must give the same bytes.
    Object info = Object::newDictionary({{"/Producer", Object::newUnicodeString(kProducer)}});
    if (!document.title.empty()) info.replaceKey("/Title", Object::newUnicodeString(document.title));
    pdf.getTrailer().replaceKey("/Info", pdf.makeIndirectObject(info));

    if (!document.hostData.empty()) pdf.getRoot().replaceKey(kHostDataKey, StreamOf(pdf, document.hostData));

    // The fastest level: paths and the document's text compress to within a sixth of what the
    // default level gets, in a fifth of the time.
    Pl_Flate::setCompressionLevel(1);
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.forcePDFVersion(options.version);
    writer.setDeterministicID(true);
    writer.write();
    return writer.getBufferSharedPointer();
}

}  // namespace

PdfResult WritePdf(const PdfDocument& document, const ActionParams& params) {
    ExportOptions options = ReadExportOptions(params);
    try {
        CheckArtboard(document.artboard);
        const std::shared_ptr<Buffer> bytes = BuildPdf(document, options);
        vnu::ReplaceFileContentsOrThrow(
            options.path,
            std::string_view(reinterpret_cast<const char*>(bytes->getBuffer()), bytes->getSize()));
    } catch (const std::exception& e) {
        throw std::runtime_error(options.path + ": " + e.what());
    }
    return {options.path, options.version, std::move(options.ignored)};
}

std::string ReadHostData(const std::string& path) {
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processFile(path.c_str());
        Object entry = pdf.getRoot().getKey(kHostDataKey);
        if (!entry.isStream()) return "";
        const std::shared_ptr<Buffer> data = entry.getStreamData(qpdf_dl_generalized);
        return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
    } catch (const QPDFExc& e) {
        throw std::runtime_error(path + ": not a readable PDF (" + e.getMessageDetail() + ")");
    } catch (const std::exception& e) {
        throw std::runtime_error(path + ": not a readable PDF (" + e.what() + ")");
    }
}

}  // namespace vhost::pdf
