#include "PdfExport.h"

#include <ostream>

#include "DocumentJson.h"
#include "pdf/PdfWriter.h"

namespace vhost {

std::string writeDocumentPdf(const Document& doc, const ActionParams& params, std::ostream& log,
                             const std::string& what) {
    pdf::PdfDocument page;
    page.title = doc.title();
    page.artboard = doc.artboards.at(0);
    for (const Art& art : doc.art) {
        if (art.has(kArtIsGuide) || art.has(kArtHidden)) continue;
        if (art.type == kPathArt) {
            page.printableArt.emplace_back(std::in_place_type<pdf::PdfPath>,
                                           pdf::PdfPath{art.segments, art.closed});
        } else if (const auto& placed = art.placement; art.type == kPlacedArt && placed) {
            page.printableArt.emplace_back(std::in_place_type<pdf::PdfPlaced>,
                                           pdf::PdfPlaced{placed->pdf, placed->bounds, placed->file});
        }
    }
    // Inside the PDF the document remembers its options, so that saving it again writes the same.
    page.hostData = documentText(doc, params);

    const pdf::PdfResult result = pdf::WritePdf(page, params);
    if (!result.ignored.empty()) {
        log << "varnel-host: " << what << ": options not acted on:";
        for (const std::string& key : result.ignored) log << ' ' << key;
        log << '\n';
    }
    return result.path;
}

ActionParams withTarget(ActionParams params, const std::string& path) {
    constexpr uint32_t kName = 0x6E616D65;  // 'name'
    for (ActionParam& p : params) {
        if (p.key == kName) {
            p.type = ActionParam::Type::String;
            p.text = path;
            return params;
        }
    }
    ActionParam name;
    name.key = kName;
    name.type = ActionParam::Type::String;
    name.text = path;
    params.push_back(name);
    return params;
}

}  // namespace vhost
