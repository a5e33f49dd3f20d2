// The same text as UTF-8 (with and, where detection allows, without its mark) and as UTF-16 in
// either byte order behind its mark gives the same tokens, and the same error at the same line.
// The input read as UTF-8 is cut at its first character outside the Basic Multilingual Plane or
// not well-formed: a string table in UTF-16 ends at a surrogate, and bytes that are not UTF-8
// have no UTF-16 form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/UAbstractParser.h"
#include "text/ConvertUTF.h"

namespace {

std::vector<UTF16> Units(const uint8_t* data, size_t size) {
    std::vector<UTF16> units(size + 1);  // never more units than bytes
    const UTF8* source = data;
    UTF16* target = units.data();
    ConvertUTF8toUTF16(&source, data + size, &target, units.data() + units.size(), strictConversion);
    units.resize(static_cast<size_t>(target - units.data()));
    for (size_t i = 0; i < units.size(); ++i) {
        if (units[i] >= 0xD800 && units[i] <= 0xDFFF) units.resize(i);
    }
    return units;
}

std::string Utf8(const std::vector<UTF16>& units) {
    std::string bytes(3 * units.size(), '\0');
    const UTF16* source = units.data();
    UTF8* target = reinterpret_cast<UTF8*>(bytes.data());
    if (ConvertUTF16toUTF8(&source, source + units.size(), &target, target + bytes.size(), strictConversion) !=
        conversionOK)
        std::abort();
    bytes.resize(static_cast<size_t>(target - reinterpret_cast<UTF8*>(bytes.data())));
    return bytes;
}

std::string Utf16(const std::vector<UTF16>& units, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (UTF16 unit : units) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

std::string Tokens(const std::string& bytes) {
    std::istringstream in(bytes);
    std::string out;
    try {
        Tokenizer tokenizer(in, ustring());
        Tokenizer::Token token;
        while (tokenizer.nextToken(token)) out += std::to_string(token.type) + ':' + token.text.str() + '\n';
    } catch (const std::runtime_error& e) {
        out += std::string("error: ") + e.what();
    }
    return out;
}

// Without a mark, text is read as UTF-8 unless its first two bytes look like a mark or UTF-16.
// Those two bytes are read for the detection and put back, so line ends among them go uncounted.
bool ComparableWithoutMark(const std::string& text) {
    if (text.size() < 2) return false;
    const auto b0 = static_cast<unsigned char>(text[0]), b1 = static_cast<unsigned char>(text[1]);
    const auto lineEnd = [](unsigned char c) { return c == '\r' || c == '\n'; };
    return b0 != 0xEF && b0 != 0xFE && b0 != 0xFF && b0 != 0 && b1 != 0 && !lineEnd(b0) && !lineEnd(b1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<UTF16> units = Units(data, size);
    const std::string text = Utf8(units);
    const std::string expected = Tokens("\xEF\xBB\xBF" + text);
    if (Tokens(Utf16(units, false)) != expected || Tokens(Utf16(units, true)) != expected) std::abort();
    if (ComparableWithoutMark(text) && Tokens(text) != expected) std::abort();
    return 0;
}
