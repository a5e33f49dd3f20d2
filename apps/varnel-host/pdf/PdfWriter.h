// Writes one document page as a PDF file for the export actions, with qpdf.
#pragma once

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "../ActionParams.h"
#include "sdk/AITypes.h"

namespace vhost::pdf {

struct PdfPath {
    std::vector<AIPathSegment> segments;  // anchors with their in and out handles
    bool closed = false;
};

// The first page of a PDF, drawn as a form XObject scaled to fit `bounds` and centred in them.
struct PdfPlaced {
    std::shared_ptr<const std::string> pdf;  // the placed file's bytes
    AIRealRect bounds;                       // points, y upwards
    std::string file;                        // where it was placed from, for messages
};

using PdfArt = std::variant<PdfPath, PdfPlaced>;

struct PdfDocument {
    std::string title;                 // document information /Title
    AIRealRect artboard;               // the first artboard, points, y upwards
    std::vector<PdfArt> printableArt;  // paint order; guides and hidden art already left out
    // The host's own document (its JSON form), embedded so the host can open the PDF again as
    // the document it came from, as a host that saves a document as PDF does.
    std::string hostData;
};

struct PdfResult {
    std::string path;                  // the file written
    std::string version;               // "1.3" to "1.7"
    std::vector<std::string> ignored;  // option keys ('cres' ...) the writer does not act on
};

// Takes 'name' (an absolute path), 'comp' (19 to 23) and the bleeds 'btop', 'bbtm', 'blft',
// 'brht' (reals or integers, 0 or more) from the block. /TrimBox is the artboard, /BleedBox and
// /MediaBox grow it by the bleeds, all in the artboard's own coordinates. Any other 'comp' gives
// PDF 1.3, the host's default, and is listed in `ignored` with every key the writer does not act
// on; 'frmt', when present, must be "PDF File Format". Placed art becomes one form XObject per
// placed file, its page's content and resources copied from the file. The file is written to a
// temporary file beside the target and renamed over it, so a failure leaves an older file intact
// and no partial file. The same document and block give the same bytes. Throws
// std::runtime_error, one line naming the path and the cause (relative path, missing 'name',
// folder not writable, ...).
PdfResult WritePdf(const PdfDocument& document, const ActionParams& params);

// The hostData embedded by WritePdf; empty when the file is a PDF without it. Throws
// std::runtime_error naming the path for a file that is not a readable PDF.
std::string ReadHostData(const std::string& path);

}  // namespace vhost::pdf
