#include "keystream/UKeyStreamUtils.h"

#include <cmath>

#include "support/UFileSpecCore.h"

namespace UKeyStreamUtils {

bool InRectArray(UKeyInStream& in, unsigned short key, vnu::Rect2D& rect) {
    if (!in.Exists(UKey(key))) return false;
    // A shorter array leaves its missing sides at 0.
    double left = 0.0, top = 0.0, right = 0.0, bottom = 0.0;
    in >> UKeyInStream::StartArray(UKey(key));
    in >> left >> top >> right >> bottom;
    in.Pop();
    if (std::isinf(left) || std::isinf(top) || std::isinf(right) || std::isinf(bottom)) {
        rect = vnu::kRect2DNull;
    } else {
        rect = vnu::Rect2D{left, top, right - left, bottom - top};
    }
    return true;
}

void OutFileSpec(UKeyOutStream& out, unsigned short key, const UFileSpecCore& spec) {
    out << UKey(key) << (spec.isValid() ? spec.path() : ustring());
}

}  // namespace UKeyStreamUtils
