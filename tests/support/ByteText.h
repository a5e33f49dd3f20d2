// Byte strings written as text in tests: "4B 53 'JJ' FF" is the bytes 4B 53 4A 4A FF.
#pragma once

#include <sstream>
#include <string>

#include "hexcodec.h"

namespace testing_support {

// Hexadecimal pairs separated by white space; a 'quoted' word stands for its characters.
inline std::string bytes(const std::string& text) {
    std::string out;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        out += word.front() == '\'' ? word.substr(1, word.size() - 2) : vnu::HexDecode(word);
    return out;
}

// Upper-case pairs separated by spaces, so that a failed comparison shows where the bytes part.
inline std::string spacedHex(const std::string& bytes) {
    const std::string plain = vnu::HexEncode(bytes);
    std::string text;
    for (size_t i = 0; i < plain.size(); i += 2) text += (i != 0 ? " " : "") + plain.substr(i, 2);
    return text;
}

}  // namespace testing_support
