#include "text/ustring_utils.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

bool Float2StringNoTailing(ustring& out, double value, int decimals) {
    out = ustring::format("%.*f", decimals, value);
    if (std::atof(out.c_str()) == 0.0) {
        out = "0";
        return false;
    }
    if (decimals > 0) {
        while (!out.empty() && out.back() == '0') out.erase(out.size() - 1);
        if (!out.empty() && out.back() == '.') out.erase(out.size() - 1);
    }
    return true;
}

std::string vnu::ShortestText(double value) {
    char text[64];  // "-0.0000012345678901234567" and "-2.2250738585072014e-308" fit well
    const double size = std::fabs(value);
    const auto format = size >= 1e-6 && size < 1e16 ? std::chars_format::fixed : std::chars_format::general;
    return std::string(text, std::to_chars(text, text + sizeof text, value, format).ptr);
}

std::size_t vnu::Utf8Sequence(std::string_view s, std::size_t at, bool& valid) {
    const auto b = static_cast<unsigned char>(s[at]);
    valid = true;
    if (b < 0x80) return 1;
    int more = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the first continuation byte
    if (b >= 0xC2 && b <= 0xDF)
        more = 1;
    else if (b >= 0xE0 && b <= 0xEF) {
        more = 2;
        if (b == 0xE0) low = 0xA0;   // overlong
        if (b == 0xED) high = 0x9F;  // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        more = 3;
        if (b == 0xF0) low = 0x90;   // overlong
        if (b == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        valid = false;  // a continuation byte, C0, C1 or F5 to FF
        return 1;
    }
    std::size_t length = 1;
    for (; more > 0; --more, ++length, low = 0x80, high = 0xBF) {
        if (at + length == s.size()) break;
        const auto c = static_cast<unsigned char>(s[at + length]);
        if (c < low || c > high) break;
    }
    valid = more == 0;
    return length;
}
