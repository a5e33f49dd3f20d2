// Small helpers that build ustring values from numbers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "text/ustring.h"

// Writes value with `decimals` decimals and drops trailing zeros (and a bare decimal point).
// Returns false, with out set to "0", when the written number reads back as zero.
bool Float2StringNoTailing(ustring& out, double value, int decimals);

namespace vnu {

// A number for people in the fewest digits that read back, written out in full from 1e-6 to
// below 1e16 as people write such numbers ("1000000", not "1e+06"); beyond, with an exponent:
// in full, a larger number would show digits it does not hold. "inf" and "nan" as they are.
std::string ShortestText(double value);

// The UTF-8 sequence at `at` (below the text's size): its length, and whether it is well formed
// (no overlong form, surrogate or code point past U+10FFFF). An ill-formed one's length is the
// bytes up to the first that cannot continue it, at least 1, as a decoder that replaces each bad
// sequence with U+FFFD counts them.
std::size_t Utf8Sequence(std::string_view text, std::size_t at, bool& valid);

}  // namespace vnu
