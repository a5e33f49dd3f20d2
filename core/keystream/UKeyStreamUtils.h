// Key-stream forms of the job file's composite values.
#pragma once

#include "keystream/UKeyStream.h"
#include "support/Rect2D.h"

class UFileSpecCore;

namespace UKeyStreamUtils {

// A box stored as the array (left, top, right, bottom). False, with the rectangle unchanged,
// when the key is absent; a box with an infinite side reads as vnu::kRect2DNull.
bool InRectArray(UKeyInStream& in, unsigned short key, vnu::Rect2D& rect);

// The file's path as a string field; the empty string when it is not valid.
void OutFileSpec(UKeyOutStream& out, unsigned short key, const UFileSpecCore& spec);

}  // namespace UKeyStreamUtils
