#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text/ConvertUTF.h"
#include "text/ustring.h"

namespace {
constexpr int kBlock = 512;
}

std::u16string ustring::utf16() const {
    const auto* bytes = reinterpret_cast<const UTF8*>(s_.data());
    const size_t n = s_.size();
    // No UTF-8 sequence yields more UTF-16 units than it has bytes, so n units always suffice.
    std::u16string out;
    out.resize(std::max<size_t>(n, 32));
    char16_t* const dst = out.data();

    // The ASCII prefix is widened without the converter, eight bytes at a time while a word has
    // neither a zero byte nor a byte of 0x80 or more; a zero byte inside it ends the text.
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHighBits = 0x8080808080808080ULL;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        if ((((word - kOnes) & ~word) | word) & kHighBits) break;
        for (size_t k = 0; k < 8; ++k) dst[i + k] = bytes[i + k];
    }
    while (i < n && bytes[i] != 0 && bytes[i] < 0x80) {
        dst[i] = bytes[i];
        ++i;
    }
    size_t length = i;

    if (i < n && bytes[i] != 0) {
        // Past the prefix a zero byte is just another character: convert up to the string's end.
        const UTF8* source = bytes + i;
        const UTF8* const end = bytes + n;
        UTF16 buffer[kBlock];
        for (;;) {
            UTF16* target = buffer;
            const ConversionResult r =
                ConvertUTF8toUTF16(&source, end, &target, buffer + kBlock, strictConversion);
            for (const UTF16* u = buffer; u != target; ++u) dst[length++] = static_cast<char16_t>(*u);
            if (r == sourceExhausted || r == sourceIllegal || source == end) break;
        }
    }
    out.resize(length);
    return out;
}

ustring& ustring::assign(const unsigned short* units, unsigned long count) {
    s_.clear();
    const UTF16* source = units;
    const UTF16* const end = units + count;
    UTF8 buffer[kBlock];
    while (source < end) {
        UTF8* target = buffer;
        const ConversionResult r =
            ConvertUTF16toUTF8(&source, end, &target, buffer + kBlock, strictConversion);
        // A faulty call's partial block is dropped: only whole blocks converted before it stay.
        if (r == sourceExhausted || r == sourceIllegal) break;
        append(reinterpret_cast<const char*>(buffer), static_cast<size_type>(target - buffer));
    }
    return *this;
}
