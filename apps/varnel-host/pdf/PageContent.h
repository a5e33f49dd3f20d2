// The page's content stream: the document's paths in the page's own coordinates.
#pragma once

#include <string>
#include <vector>

#include "PdfWriter.h"

namespace vhost::pdf {

// A number as a PDF content stream takes it: fixed notation, never an exponent, rounded to six
// decimals (far below a device pixel) with trailing zeros trimmed; never "-0".
std::string FormatNumber(double value);

// Strokes every path in black, 0.5 pt wide, filling nothing. Paths of fewer than two anchors are
// left out: they paint nothing, as stray points do not print. Throws std::runtime_error for a path
// with a coordinate that is not a finite number.
std::string PageContent(const std::vector<PdfPath>& art);

}  // namespace vhost::pdf
