#include "Utf.h"

#include "text/ConvertUTF.h"

namespace vhost {

// Converts piece by piece, replacing what does not convert and going on after it.
std::string toUtf8(std::u16string_view text) {
    std::string out(text.size() * 3 + 3, '\0');
    const UTF16* source = reinterpret_cast<const UTF16*>(text.data());
    const UTF16* end = source + text.size();
    UTF8* target = reinterpret_cast<UTF8*>(out.data());
    while (source < end) {
        UTF8* const limit = reinterpret_cast<UTF8*>(out.data()) + out.size();
        if (ConvertUTF16toUTF8(&source, end, &target, limit, strictConversion) == conversionOK) break;
        for (unsigned char c : {0xEF, 0xBF, 0xBD}) *target++ = c;
        ++source;
    }
    out.resize(size_t(target - reinterpret_cast<UTF8*>(out.data())));
    return out;
}

std::u16string toUtf16(std::string_view text) {
    std::u16string out(text.size() + 1, u'\0');
    const UTF8* source = reinterpret_cast<const UTF8*>(text.data());
    const UTF8* end = source + text.size();
    UTF16* target = reinterpret_cast<UTF16*>(out.data());
    while (source < end) {
        UTF16* const limit = reinterpret_cast<UTF16*>(out.data()) + out.size();
        if (ConvertUTF8toUTF16(&source, end, &target, limit, strictConversion) == conversionOK) break;
        *target++ = 0xFFFD;
        ++source;
    }
    out.resize(size_t(target - reinterpret_cast<UTF16*>(out.data())));
    return out;
}

}  // namespace vhost
