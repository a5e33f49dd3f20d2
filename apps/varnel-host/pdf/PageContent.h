// The page's content stream: the document's paths in the page's own coordinates.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "PdfWriter.h"

namespace vhost::pdf {

// A number as a PDF content stream takes it: fixed notation, never an exponent, rounded to six
// decimals (far below a device pixel) with trailing zeros trimmed; never "-0".
std::string FormatNumber(double value);

// The operators that draw one placed art, leaving the graphics state as they found it.
using DrawPlaced = std::function<std::string(const PdfPlaced&)>;

// Strokes every path in black, 0.5 pt wide, filling nothing, and draws placed art with
// `drawPlaced`, all in paint order. Paths of fewer than two anchors are left out: they paint
// nothing, as stray points do not print. Throws std::runtime_error for a path with a coordinate
// that is not a finite number, and for placed art whose bounds are empty or not finite.
std::string PageContent(const std::vector<PdfArt>& art, const DrawPlaced& drawPlaced);

}  // namespace vhost::pdf
