// Small helpers that build ustring values from numbers.
#pragma once

#include <string>

#include "text/ustring.h"

// Writes value with `decimals` decimals and drops trailing zeros (and a bare decimal point).
// Returns false, with out set to "0", when the written number reads back as zero.
bool Float2StringNoTailing(ustring& out, double value, int decimals);

namespace vnu {

// A number for people in the fewest digits that read back, written out in full from 1e-6 to
// below 1e16 as people write such numbers ("1000000", not "1e+06"); beyond, with an exponent:
// in full, a larger number would show digits it does not hold. "inf" and "nan" as they are.
std::string ShortestText(double value);

}  // namespace vnu
