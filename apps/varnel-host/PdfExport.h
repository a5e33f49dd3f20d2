// The document as a PDF through the PDF writer: export actions and saving a PDF document.
#pragma once

#include <iosfwd>
#include <string>

#include "ActionParams.h"
#include "Document.h"

namespace vhost {

// Writes `doc` with the export options `params` (the target in 'name'), carrying the document
// inside so it can be opened again. Lists the keys the writer ignored on `log`, once, under
// `what`. Returns the path written; throws std::runtime_error.
std::string writeDocumentPdf(const Document& doc, const ActionParams& params, std::ostream& log,
                             const std::string& what);

// `params` with 'name' set to `path`, added when missing.
ActionParams withTarget(ActionParams params, const std::string& path);

}  // namespace vhost
