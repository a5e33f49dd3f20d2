// Placing a PDF's first page in a document as art.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "Document.h"

namespace vhost {

// The largest PDF that may be placed: a document keeps the file whole, in memory and in its
// saved form.
constexpr std::size_t kMaxPlacedBytes = std::size_t{64} << 20;

// Placed art for the first page of the PDF at `path` (made absolute), at its natural size and
// centred on the document's first artboard; not yet in the document. Throws HostError
// (kCantOpenFileErr), one line naming the file: missing, unreadable, not a regular file, too
// large, not a PDF, damaged, without pages.
Art placePdf(const Document& doc, const std::string& path);

// Checks that `pdf` is a readable PDF with a first page to place; `source` names it in errors.
// Throws std::runtime_error.
void checkPlaceable(const std::shared_ptr<const std::string>& pdf, const std::string& source);

}  // namespace vhost
