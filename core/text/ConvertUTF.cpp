#include "text/ConvertUTF.h"

namespace {

constexpr UTF32 kHighSurrogateFirst = 0xD800;
constexpr UTF32 kHighSurrogateLast = 0xDBFF;
constexpr UTF32 kLowSurrogateFirst = 0xDC00;
constexpr UTF32 kLowSurrogateLast = 0xDFFF;

// Bytes that follow a lead byte, judged by the lead byte alone. Leads 0xF8 and above claim
// sequences longer than four bytes, which are never well-formed but still count as the
// character's extent when the source runs out.
int trailingCount(UTF8 lead) {
    if (lead < 0xC0) return 0;
    if (lead < 0xE0) return 1;
    if (lead < 0xF0) return 2;
    if (lead < 0xF8) return 3;
    if (lead < 0xFC) return 4;
    return 5;
}

int utf8Length(UTF32 ch) {
    if (ch < 0x80) return 1;
    if (ch < 0x800) return 2;
    if (ch < 0x10000) return 3;
    return 4;
}

}  // namespace

bool isLegalUTF8(const UTF8* bytes, int length) {
    if (length < 1 || length > 4) return false;
    const UTF8 lead = bytes[0];
    if (length == 1) return lead < 0x80;
    if (lead < 0xC2 || lead > 0xF4 || trailingCount(lead) != length - 1) return false;
    // The second byte carries the range limits that rule out overlong forms, surrogates and
    // code points above 0x10FFFF.
    UTF8 low = 0x80;
    UTF8 high = 0xBF;
    switch (lead) {
        case 0xE0: low = 0xA0; break;
        case 0xED: high = 0x9F; break;
        case 0xF0: low = 0x90; break;
        case 0xF4: high = 0x8F; break;
        default: break;
    }
    if (bytes[1] < low || bytes[1] > high) return false;
    for (int i = 2; i < length; ++i) {
        if (bytes[i] < 0x80 || bytes[i] > 0xBF) return false;
    }
    return true;
}

ConversionResult ConvertUTF8toUTF16(const UTF8** sourceStart, const UTF8* sourceEnd, UTF16** targetStart,
                                    UTF16* targetEnd, ConversionFlags /*flags*/) {
    // Well-formed UTF-8 excludes surrogates and code points above 0x10FFFF, so both flag
    // values convert alike in this direction.
    ConversionResult result = conversionOK;
    const UTF8* source = *sourceStart;
    UTF16* target = *targetStart;
    while (source < sourceEnd) {
        const int extra = trailingCount(*source);
        if (extra >= sourceEnd - source) {
            result = sourceExhausted;
            break;
        }
        if (!isLegalUTF8(source, extra + 1)) {
            result = sourceIllegal;
            break;
        }
        UTF32 ch = extra == 0 ? *source : (*source & (0x3F >> extra));
        for (int i = 1; i <= extra; ++i) ch = (ch << 6) | (source[i] & 0x3F);

        if (ch < 0x10000) {
            if (target >= targetEnd) {
                result = targetExhausted;
                break;
            }
            *target++ = static_cast<UTF16>(ch);
        } else {
            if (targetEnd - target < 2) {
                result = targetExhausted;
                break;
            }
            ch -= 0x10000;
            *target++ = static_cast<UTF16>(kHighSurrogateFirst + (ch >> 10));
            *target++ = static_cast<UTF16>(kLowSurrogateFirst + (ch & 0x3FF));
        }
        source += extra + 1;
    }
    *sourceStart = source;
    *targetStart = target;
    return result;
}

ConversionResult ConvertUTF16toUTF8(const UTF16** sourceStart, const UTF16* sourceEnd, UTF8** targetStart,
                                    UTF8* targetEnd, ConversionFlags flags) {
    ConversionResult result = conversionOK;
    const UTF16* source = *sourceStart;
    UTF8* target = *targetStart;
    while (source < sourceEnd) {
        UTF32 ch = *source;
        int consumed = 1;
        if (ch >= kHighSurrogateFirst && ch <= kHighSurrogateLast) {
            if (source + 1 >= sourceEnd) {
                // The low half may still come in the caller's next block.
                result = sourceExhausted;
                break;
            }
            const UTF32 low = source[1];
            if (low >= kLowSurrogateFirst && low <= kLowSurrogateLast) {
                ch = ((ch - kHighSurrogateFirst) << 10) + (low - kLowSurrogateFirst) + 0x10000;
                consumed = 2;
            } else if (flags == strictConversion) {
                result = sourceIllegal;
                break;
            }
        } else if (ch >= kLowSurrogateFirst && ch <= kLowSurrogateLast && flags == strictConversion) {
            result = sourceIllegal;
            break;
        }

        const int length = utf8Length(ch);
        if (targetEnd - target < length) {
            result = targetExhausted;
            break;
        }
        switch (length) {
            case 1: target[0] = static_cast<UTF8>(ch); break;
            case 2:
                target[0] = static_cast<UTF8>(0xC0 | (ch >> 6));
                target[1] = static_cast<UTF8>(0x80 | (ch & 0x3F));
                break;
            case 3:
                target[0] = static_cast<UTF8>(0xE0 | (ch >> 12));
                target[1] = static_cast<UTF8>(0x80 | ((ch >> 6) & 0x3F));
                target[2] = static_cast<UTF8>(0x80 | (ch & 0x3F));
                break;
            default:
                target[0] = static_cast<UTF8>(0xF0 | (ch >> 18));
                target[1] = static_cast<UTF8>(0x80 | ((ch >> 12) & 0x3F));
                target[2] = static_cast<UTF8>(0x80 | ((ch >> 6) & 0x3F));
                target[3] = static_cast<UTF8>(0x80 | (ch & 0x3F));
                break;
        }
        target += length;
        source += consumed;
    }
    *sourceStart = source;
    *targetStart = target;
    return result;
}
