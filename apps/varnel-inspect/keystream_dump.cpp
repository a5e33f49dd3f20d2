#include "keystream_dump.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "text/ustring_utils.h"

namespace inspect {
namespace {

constexpr int kMaxDepth = 64;  // far beyond what a reader accepts; only guards our own stack
constexpr size_t kShownBytes = 64;

const char* typeName(unsigned code) {
    switch (code) {
        case 1: return "bool";
        case 2: return "int";
        case 4: return "double";
        case 5: return "string";
        case 6: return "record";
        case 7: return "array";
        case 8: return "bytes";
        default: return "unknown";
    }
}

std::string hex(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    const size_t shown = std::min(bytes.size(), kShownBytes);
    for (size_t i = 0; i < shown; ++i) {
        if (i != 0) out += ' ';
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    if (shown < bytes.size()) out += " ... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

bool printable(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

// The value of a fixed-width field whose leading zero bytes the writer stripped.
uint64_t restoreBigEndian(std::string_view data) {
    uint64_t v = 0;
    for (unsigned char c : data) v = (v << 8) | c;
    return v;
}

class Walker {
public:
    Walker(std::string_view bytes, std::ostream& out, const RichRenderer& rich)
        : b_(bytes), out_(out), rich_(rich) {}

    void root() {
        size_t pos = 0;
        if (!isContainerAt(pos, b_.size())) fail(0, "the stream does not start with a record");
        element(pos, b_.size(), 0, true);
        if (pos != b_.size()) fail(pos, std::to_string(b_.size() - pos) + " bytes after the root record");
    }

private:
    [[noreturn]] void fail(size_t at, const std::string& what) const {
        throw std::runtime_error("key stream: offset " + std::to_string(at) + ": " + what);
    }

    uint8_t byte(size_t& pos, size_t end) const {
        if (pos >= end) fail(pos, "ends inside a field");
        return static_cast<uint8_t>(b_[pos++]);
    }

    // Containers always carry a key and the 5-byte length form, even inside arrays; that is
    // how one is told apart from an unkeyed scalar there.
    bool isContainerAt(size_t pos, size_t end) const {
        if (end - pos < 8 || static_cast<uint8_t>(b_[pos + 2]) != 0xFF) return false;
        const auto type = static_cast<uint8_t>(b_[pos + 7]);
        return type == 6 || type == 7;
    }

    void element(size_t& pos, size_t end, int depth, bool keyed) {
        const size_t at = pos;
        std::string name = "-";
        if (keyed || isContainerAt(pos, end)) {
            const unsigned hi = byte(pos, end);
            name = keyName((hi << 8) | byte(pos, end));
        }
        uint32_t len = byte(pos, end);
        if (len == 0xFF) {
            len = 0;
            for (int i = 0; i < 4; ++i) len = (len << 8) | byte(pos, end);
        }
        const unsigned type = byte(pos, end);
        if (len > end - pos) fail(at, "length " + std::to_string(len) + " runs past the enclosing container");
        out_ << std::string(static_cast<size_t>(depth) * 2, ' ') << name << ' ' << typeName(type) << '('
             << type << ") len=" << len;
        const size_t contentEnd = pos + len;
        if (type == 6 || type == 7) {
            if (depth >= kMaxDepth) fail(at, "containers nested too deeply");
            out_ << '\n';
            while (pos < contentEnd) element(pos, contentEnd, depth + 1, type == 6);
            return;
        }
        out_ << ": ";
        value(type, b_.substr(pos, len), depth);
        pos = contentEnd;
    }

    void value(unsigned type, std::string_view data, int depth) {
        switch (type) {
            case 1:
                if (data.size() <= 1) {
                    out_ << (restoreBigEndian(data) != 0 ? "true" : "false") << '\n';
                    return;
                }
                break;
            case 2:
                if (data.size() <= 4) {
                    out_ << static_cast<int32_t>(static_cast<uint32_t>(restoreBigEndian(data))) << '\n';
                    return;
                }
                break;
            case 4:
                if (data.size() <= 8) {
                    const uint64_t bits = restoreBigEndian(data);
                    double d;
                    std::memcpy(&d, &bits, sizeof d);
                    out_ << vnu::ShortestText(d) << '\n';
                    return;
                }
                break;
            default: break;
        }
        if ((type == 5 || type == 8) && rich_ && rich_(data, out_, depth + 1)) return;
        if (type == 5 && printable(data))
            out_ << quoted(data) << '\n';
        else
            out_ << hex(data) << '\n';
    }

    std::string_view b_;
    std::ostream& out_;
    const RichRenderer& rich_;
};

}  // namespace

std::string keyName(unsigned key) {
    const char hi = static_cast<char>(key >> 8), lo = static_cast<char>(key & 0xFF);
    const auto isPrint = [](char c) { return c > 0x20 && c < 0x7F && c != '\''; };
    if (key <= 0xFFFF && isPrint(hi) && isPrint(lo)) return std::string("'") + hi + lo + "'";
    return std::to_string(key);
}

void dumpKeyStream(std::string_view bytes, std::ostream& out, const RichRenderer& rich) {
    Walker(bytes, out, rich).root();
}

void checkKeyStream(std::string_view bytes) {
    std::ostream nowhere(nullptr);  // bad from the start: every write is a no-op
    Walker(bytes, nowhere, {}).root();
}

}  // namespace inspect
