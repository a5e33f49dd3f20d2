// Small helpers that build ustring values from numbers.
#pragma once

#include "text/ustring.h"

// Writes value with `decimals` decimals and drops trailing zeros (and a bare decimal point).
// Returns false, with out set to "0", when the written number reads back as zero.
bool Float2StringNoTailing(ustring& out, double value, int decimals);
