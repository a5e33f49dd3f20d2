#include "JsonText.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

#include "text/ustring_utils.h"

namespace vhost {

void appendJsonNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    char* end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end);
    if (std::string_view(text, std::size_t(end - text)).find_first_of(".e") == std::string_view::npos)
        out += ".0";
}

void appendJsonString(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    std::size_t plain = 0;  // the start of what is copied as it is
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            bool valid = true;
            const std::size_t length = vnu::Utf8Sequence(text, i, valid);
            if (!valid)
                throw std::runtime_error("a text that is not UTF-8 (at its byte " + std::to_string(i) + ")");
            i += length - 1;
            continue;
        }
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(text.substr(plain, i - plain));
        plain = i + 1;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 15];
        }
    }
    out.append(text.substr(plain));
    out += '"';
}

}  // namespace vhost
