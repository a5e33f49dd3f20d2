#include "JsonReader.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace vhost {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string shown(char c) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
        static const char kHex[] = "0123456789ABCDEF";
        return std::string("byte 0x") + kHex[static_cast<unsigned char>(c) >> 4] +
               kHex[static_cast<unsigned char>(c) & 15];
    }
    return std::string("'") + c + "'";
}

void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

}  // namespace

JsonReader::JsonReader(std::string_view text, std::string source, int maxDepth)
    : text_(text), source_(std::move(source)), maxDepth_(maxDepth) {}

void JsonReader::failAt(std::size_t offset, const std::string& what) const {
    std::size_t line = 1, lineStart = 0;
    for (std::size_t i = 0; i < offset && i < text_.size(); ++i) {
        if (text_[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    throw std::runtime_error(source_ + ": line " + std::to_string(line) + ", column " +
                             std::to_string(offset - lineStart + 1) + ": " + what);
}

void JsonReader::whiteSpace() {
    while (at_ < text_.size()) {
        const char c = text_[at_];
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t') return;
        ++at_;
    }
}

void JsonReader::expect(char c, const char* what) {
    whiteSpace();
    if (at_ >= text_.size()) fail(std::string("expected ") + what + ", not the end of the text");
    if (text_[at_] != c) fail(std::string("expected ") + what + ", not " + shown(text_[at_]));
    ++at_;
}

JsonReader::Kind JsonReader::peek() {
    whiteSpace();
    if (at_ >= text_.size()) fail("expected a value, not the end of the text");
    switch (text_[at_]) {
        case '{': return Kind::Object;
        case '[': return Kind::Array;
        case '"': return Kind::String;
        case 't':
        case 'f': return Kind::Boolean;
        case 'n': return Kind::Null;
        default:
            if (text_[at_] == '-' || isDigit(text_[at_])) return Kind::Number;
            fail("expected a value, not " + shown(text_[at_]));
    }
}

void JsonReader::open(bool object) {
    whiteSpace();
    if (levels_.size() >= std::size_t(maxDepth_))
        fail("nesting deeper than " + std::to_string(maxDepth_) + " levels");
    expect(object ? '{' : '[', object ? "an object" : "an array");
    levels_.push_back({object, false});
}

void JsonReader::close() {
    ++at_;
    levels_.pop_back();
}

void JsonReader::beginObject() {
    open(true);
}

bool JsonReader::member(std::string_view& name) {
    whiteSpace();
    if (at_ < text_.size() && text_[at_] == '}') {
        close();
        return false;
    }
    if (levels_.back().started) {
        expect(',', "',' or '}'");
        whiteSpace();
    }
    levels_.back().started = true;
    if (at_ >= text_.size()) fail("expected a member name, not the end of the text");
    if (text_[at_] != '"') fail("expected a member name, not " + shown(text_[at_]));
    name = stringText();
    expect(':', "':'");
    return true;
}

void JsonReader::beginArray() {
    open(false);
}

bool JsonReader::element() {
    whiteSpace();
    if (at_ < text_.size() && text_[at_] == ']') {
        close();
        return false;
    }
    if (levels_.back().started) expect(',', "',' or ']'");
    levels_.back().started = true;
    return true;
}

unsigned JsonReader::hex4(std::size_t i) const {
    unsigned code = 0;
    for (std::size_t k = i; k < i + 4; ++k) {
        if (k >= text_.size()) failAt(k, "expected four hexadecimal digits after \\u");
        const char c = text_[k];
        const unsigned digit = isDigit(c)               ? unsigned(c - '0')
                               : (c >= 'a' && c <= 'f') ? unsigned(c - 'a' + 10)
                               : (c >= 'A' && c <= 'F') ? unsigned(c - 'A' + 10)
                                                        : 16;
        if (digit == 16) failAt(k, "expected four hexadecimal digits after \\u");
        code = code * 16 + digit;
    }
    return code;
}

// One UTF-8 sequence at i, as RFC 3629 allows it: no overlong forms, no surrogates, nothing past
// U+10FFFF. Leaves i on its last byte.
void JsonReader::utf8(std::size_t& i) const {
    const auto byte = [&](std::size_t k) {
        return k < text_.size() ? static_cast<unsigned char>(text_[k]) : 0u;
    };
    const unsigned lead = byte(i);
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        failAt(i, "not UTF-8: " + shown(char(lead)));
    }
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned b = byte(i + k);
        if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF))
            failAt(i, "not UTF-8: " + shown(char(lead)));
    }
    i += length - 1;
}

std::string_view JsonReader::stringText() {
    const std::size_t start = ++at_;
    bool escaped = false;
    std::size_t i = start;
    for (;; ++i) {
        if (i >= text_.size()) failAt(start - 1, "a string without its closing '\"'");
        const auto c = static_cast<unsigned char>(text_[i]);
        if (c == '"') break;
        if (c < 0x20) failAt(i, "a control character in a string: " + shown(char(c)));
        if (c == '\\') {
            escaped = true;
            ++i;
            if (i < text_.size() && text_[i] == 'u') i += 4;
        } else if (c >= 0x80) {
            utf8(i);
        }
    }
    const std::size_t stop = i;
    at_ = stop + 1;
    if (!escaped) return text_.substr(start, stop - start);

    buffer_.clear();
    for (std::size_t k = start; k < stop; ++k) {
        if (text_[k] != '\\') {
            buffer_ += text_[k];
            continue;
        }
        const char e = text_[++k];
        switch (e) {
            case '"': buffer_ += '"'; break;
            case '\\': buffer_ += '\\'; break;
            case '/': buffer_ += '/'; break;
            case 'b': buffer_ += '\b'; break;
            case 'f': buffer_ += '\f'; break;
            case 'n': buffer_ += '\n'; break;
            case 'r': buffer_ += '\r'; break;
            case 't': buffer_ += '\t'; break;
            case 'u': {
                unsigned code = hex4(k + 1);
                const std::size_t escape = k - 1;
                k += 4;
                if (code >= 0xDC00 && code <= 0xDFFF) failAt(escape, "a lone low surrogate in a \\u escape");
                if (code >= 0xD800 && code <= 0xDBFF) {
                    if (k + 6 >= stop || text_[k + 1] != '\\' || text_[k + 2] != 'u')
                        failAt(escape, "a high surrogate without its low one in a \\u escape");
                    const unsigned low = hex4(k + 3);
                    if (low < 0xDC00 || low > 0xDFFF)
                        failAt(escape, "a high surrogate without its low one in a \\u escape");
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    k += 6;
                }
                appendUtf8(buffer_, code);
                break;
            }
            default: failAt(k - 1, "an unknown escape in a string: \\" + std::string(1, e));
        }
    }
    return buffer_;
}

std::string JsonReader::string() {
    return std::string(stringView());
}

std::string_view JsonReader::stringView() {
    if (peek() != Kind::String) fail("expected a string");
    return stringText();
}

void JsonReader::skipNumber() {
    const auto digits = [&] {
        const std::size_t from = at_;
        while (at_ < text_.size() && isDigit(text_[at_])) ++at_;
        if (at_ == from)
            fail(at_ < text_.size() ? "expected a digit, not " + shown(text_[at_])
                                    : std::string("expected a digit, not the end of the text"));
    };
    if (text_[at_] == '-') ++at_;
    if (at_ < text_.size() && text_[at_] == '0')
        ++at_;
    else
        digits();
    if (at_ < text_.size() && text_[at_] == '.') {
        ++at_;
        digits();
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
        ++at_;
        if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
        digits();
    }
}

double JsonReader::number(bool& integral) {
    if (peek() != Kind::Number) fail("expected a number");
    const std::size_t start = at_;
    skipNumber();
    const std::string_view written = text_.substr(start, at_ - start);
    integral = written.find_first_of(".eE") == std::string_view::npos;
    double value = 0;
    const auto [end, error] = std::from_chars(written.data(), written.data() + written.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Beyond the range: strtod gives the infinity or the zero the number tends to.
        value = std::strtod(std::string(written).c_str(), nullptr);
    } else if (error != std::errc() || end != written.data() + written.size()) {
        failAt(start, "not a number");
    }
    return value;
}

void JsonReader::word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) fail("expected a value, not " + shown(text_[at_]));
    at_ += word.size();
}

bool JsonReader::boolean() {
    if (peek() != Kind::Boolean) fail("expected true or false");
    const bool value = text_[at_] == 't';
    word(value ? "true" : "false");
    return value;
}

void JsonReader::null() {
    if (peek() != Kind::Null) fail("expected null");
    word("null");
}

std::string_view JsonReader::skip() {
    peek();
    const std::size_t start = at_, depth = levels_.size();
    std::string_view name;
    for (;;) {
        switch (peek()) {
            case Kind::Object: beginObject(); break;
            case Kind::Array: beginArray(); break;
            case Kind::String: stringText(); break;
            case Kind::Number: skipNumber(); break;
            case Kind::Boolean: word(text_[at_] == 't' ? "true" : "false"); break;
            case Kind::Null: word("null"); break;
        }
        // Past a value: up through the containers it ended, to the next value in one of them.
        for (;;) {
            if (levels_.size() == depth) return text_.substr(start, at_ - start);
            if (levels_.back().object ? member(name) : element()) break;
        }
    }
}

void JsonReader::end() {
    whiteSpace();
    if (at_ < text_.size()) fail("expected the end of the text, not " + shown(text_[at_]));
}

}  // namespace vhost
