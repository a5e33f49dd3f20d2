#include <algorithm>

#include "ConvertUTF.h"
#include "ustring.h"

namespace {
constexpr int kBlock = 512;
}

std::u16string ustring::utf16() const {
    const auto* bytes = reinterpret_cast<const UTF8*>(s_.data());
    const UTF8* const end = bytes + s_.size();

    // The ASCII prefix is widened without the converter; a zero byte inside it ends the text.
    const UTF8* p = bytes;
    while (p < end && *p != 0 && *p < 0x80) ++p;
    std::u16string out;
    out.reserve(std::max<size_type>(32, static_cast<size_type>(p - bytes)));
    out.append(bytes, p);
    if (p == end || *p == 0) return out;

    // Past the prefix a zero byte is just another character: convert up to the string's end.
    UTF16 buffer[kBlock];
    for (;;) {
        UTF16* target = buffer;
        const ConversionResult r = ConvertUTF8toUTF16(&p, end, &target, buffer + kBlock, strictConversion);
        out.append(buffer, target);
        if (r == sourceExhausted || r == sourceIllegal || p == end) break;
    }
    return out;
}

ustring& ustring::assign(const unsigned short* units, unsigned long count) {
    s_.clear();
    const UTF16* source = units;
    const UTF16* const end = units + count;
    UTF8 buffer[kBlock];
    while (source < end) {
        UTF8* target = buffer;
        const ConversionResult r =
            ConvertUTF16toUTF8(&source, end, &target, buffer + kBlock, strictConversion);
        // A faulty call's partial block is dropped: only whole blocks converted before it stay.
        if (r == sourceExhausted || r == sourceIllegal) break;
        append(reinterpret_cast<const char*>(buffer), static_cast<size_type>(target - buffer));
    }
    return *this;
}
