// What the host does for the actions a plug-in plays.
#include <exception>

#include "HostError.h"
#include "HostState.h"
#include "PdfExport.h"

namespace vhost {
namespace {

AIErr makeGuide(HostState& host) {
    Document* doc = host.docs.current();
    if (doc == nullptr) return kNoDocumentErr;
    int made = 0;
    for (Art& art : doc->art) {
        if (art.type == kPathArt && art.has(kArtSelected) && !art.has(kArtIsGuide)) {
            art.attributes |= kArtIsGuide;
            ++made;
        }
    }
    if (made == 0) return kBadArtErr;  // nothing selected to turn into a guide
    doc->modified = true;
    return kNoErr;
}

// Writes the current document as a PDF; "adobe_saveDocumentAs" also makes the PDF its file.
AIErr exportPdf(HostState& host, const std::string& action, const ActionParams* params, bool becomesFile) {
    Document* doc = host.docs.current();
    if (doc == nullptr) {
        host.note(action + " failed: no document is open");
        return kNoDocumentErr;
    }
    if (params == nullptr) {
        host.note(action + " failed: played without its options");
        return kBadParameterErr;
    }
    try {
        const std::string path = writeDocumentPdf(*doc, *params, host.log, action);
        host.note(action + ": wrote \"" + doc->title() + "\" to " + path);
        if (becomesFile) {
            doc->file = path;
            doc->pdfOptions = withTarget(*params, path);
            doc->modified = false;
        }
        return kNoErr;
    } catch (const std::exception& e) {
        host.note(action + " failed: " + e.what());
        return kCantOpenFileErr;
    }
}

}  // namespace

AIErr playAction(HostState& host, const std::string& name, const ActionParams* params) {
    if (name == "adobe_makeGuide") return makeGuide(host);
    if (name == "adobe_saveACopyAs") return exportPdf(host, name, params, false);
    if (name == "adobe_saveDocumentAs") return exportPdf(host, name, params, true);
    host.note("no action named \"" + name + "\"");
    return kActionNotFoundErr;
}

}  // namespace vhost
