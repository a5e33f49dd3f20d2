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
