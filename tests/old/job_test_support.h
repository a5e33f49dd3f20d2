// Byte helpers shared by the job-model tests: hexadecimal vectors and key streams built in memory.
#pragma once

#include <cctype>
#include <sstream>
#include <string>

#include "UKeyStream.h"
#include "umessage.h"

namespace job_test {

// "4B 53 ff" -> bytes; spaces are ignored.
inline std::string Unhex(const std::string& text) {
    std::string bytes;
    int high = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(c) - 'A' + 10;
        if (high < 0) {
            high = v;
        } else {
            bytes += static_cast<char>(high * 16 + v);
            high = -1;
        }
    }
    return bytes;
}

inline std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char b : bytes) {
        if (!text.empty()) text += ' ';
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

// A complete stream whose root content is what `body` writes.
template <class Body>
std::string Stream(Body body, int identifier = 0) {
    std::ostringstream os;
    UKeyOutStream out(os, identifier);
    body(out);
    out.Flush();
    return os.str();
}

inline std::string Flattened(const umessage& message) {
    std::ostringstream os;
    message.flatten(os);
    return os.str();
}

// A message field as the companion application writes one: the flattened bytes, unstripped.
inline void WriteMessage(UKeyOutStream& out, UKey key, const umessage& message) {
    const std::string bytes = Flattened(message);
    out << key;
    out.WriteField(bytes.data(), static_cast<int>(bytes.size()), UKeyStream::eType_Bytes);
}

}  // namespace job_test
