#include "jobjson/json_writer.h"

#include <charconv>
#include <cmath>

#include "text/ustring_utils.h"

namespace inspect {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

bool isUtf8(std::string_view text) {
    bool valid = true;
    for (std::size_t at = 0; at < text.size() && valid;) at += vnu::Utf8Sequence(text, at, valid);
    return valid;
}

JsonWriter::JsonWriter(std::ostream& out, int margin) : out_(out), margin_(margin) {
    buffer_.reserve(kBufferSize + 256);
}

JsonWriter::~JsonWriter() {
    flush();
}

void JsonWriter::flush() {
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
}

void JsonWriter::newLine() {
    buffer_ += '\n';
    buffer_.append(static_cast<std::size_t>(margin_) + 2 * filled_.size(), ' ');
}

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
    } else if (filled_.empty()) {
        buffer_.append(static_cast<std::size_t>(margin_), ' ');
    } else {
        if (filled_.back()) buffer_ += ',';
        filled_.back() = true;
        newLine();
    }
}

void JsonWriter::open(char bracket) {
    beforeValue();
    put(std::string_view(&bracket, 1));
    filled_.push_back(false);
}

void JsonWriter::close(char bracket) {
    const bool filled = filled_.back();
    filled_.pop_back();
    if (filled) newLine();
    put(std::string_view(&bracket, 1));
}

void JsonWriter::key(std::string_view name) {
    if (filled_.back()) buffer_ += ',';
    filled_.back() = true;
    newLine();
    escaped(name);
    put(": ");
    afterKey_ = true;
}

void JsonWriter::string(std::string_view text) {
    beforeValue();
    escaped(text);
}

void JsonWriter::number(long long value) {
    beforeValue();
    char digits[24];
    put(std::string_view(digits, std::to_chars(digits, digits + sizeof digits, value).ptr - digits));
}

void JsonWriter::number(double value) {
    beforeValue();
    if (!std::isfinite(value)) {
        put("null");
        return;
    }
    // The digits nlohmann's own dump writes (Grisu2, "1.0", "1e+20"), so both forms agree.
    char digits[64];
    put(std::string_view(digits, nlohmann::detail::to_chars(digits, digits + sizeof digits, value) - digits));
}

void JsonWriter::boolean(bool value) {
    beforeValue();
    put(value ? "true" : "false");
}

void JsonWriter::null() {
    beforeValue();
    put("null");
}

void JsonWriter::escaped(std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    buffer_ += '"';
    std::size_t plain = 0;  // the start of the bytes that go out as they are
    const auto flushPlain = [&](std::size_t end) { buffer_.append(text.substr(plain, end - plain)); };
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c >= 0x80) {
            bool valid = true;
            const std::size_t length = vnu::Utf8Sequence(text, at, valid);
            if (!valid) {
                flushPlain(at);
                buffer_ += kReplacement;
                plain = at + length;
            }
            at += length;
            continue;
        }
        if (c >= 0x20 && c != '"' && c != '\\') {
            ++at;
            continue;
        }
        flushPlain(at);
        buffer_ += '\\';
        switch (c) {
            case '"': buffer_ += '"'; break;
            case '\\': buffer_ += '\\'; break;
            case '\b': buffer_ += 'b'; break;
            case '\t': buffer_ += 't'; break;
            case '\n': buffer_ += 'n'; break;
            case '\f': buffer_ += 'f'; break;
            case '\r': buffer_ += 'r'; break;
            default:
                buffer_ += "u00";
                buffer_ += hex[c >> 4];
                buffer_ += hex[c & 15];
        }
        plain = ++at;
    }
    flushPlain(text.size());
    put("\"");
}

nlohmann::ordered_json& JsonTreeBuilder::add(nlohmann::ordered_json value) {
    if (open_.empty()) {
        root_ = std::move(value);
        return root_;
    }
    nlohmann::ordered_json& container = *open_.back();
    if (container.is_array()) {
        auto& array = container.get_ref<nlohmann::ordered_json::array_t&>();
        array.push_back(std::move(value));
        return array.back();
    }
    // Appended without a lookup: the walks never repeat a key, and looking each one up would
    // cost the square of a large message's entries.
    auto& object = container.get_ref<nlohmann::ordered_json::object_t&>();
    object.emplace_back(key_, std::move(value));
    return object.back().second;
}

}  // namespace inspect
