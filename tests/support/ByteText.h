// Byte strings written as text in tests: "4B 53 'JJ' FF" is the bytes 4B 53 4A 4A FF.
#pragma once

#include <sstream>
#include <streambuf>
#include <string>

#include "support/hexcodec.h"

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
    std::string text;
    for (const char c : bytes) text += (text.empty() ? "" : " ") + vnu::HexEncode(std::string(1, c));
    return text;
}

// Input that cannot seek and hands out one byte per refill, as a pipe would.
class OneWayBuffer : public std::streambuf {
public:
    explicit OneWayBuffer(std::string data) : data_(std::move(data)) {}

protected:
    int_type underflow() override {
        if (pos_ >= data_.size()) return traits_type::eof();
        char* p = data_.data() + pos_++;
        setg(p, p, p + 1);
        return traits_type::to_int_type(*p);
    }

private:
    std::string data_;
    std::size_t pos_ = 0;
};

}  // namespace testing_support
