// UTF-8 <-> UTF-16 converters with the classic result-code contract: convert as much as fits,
// advance both start pointers past what was consumed and produced, report why they stopped.
#pragma once

using UTF8 = unsigned char;
using UTF16 = unsigned short;
using UTF32 = unsigned int;

enum ConversionResult : int {
    conversionOK = 0,     // the whole source was converted
    sourceExhausted = 1,  // the source ends inside a character; source left at that character
    targetExhausted = 2,  // no room for the next character; source left at that character
    sourceIllegal = 3,    // ill-formed source; source left at the bad character
};

enum ConversionFlags : int {
    strictConversion = 0,   // an unpaired surrogate is ill-formed
    lenientConversion = 1,  // an unpaired UTF-16 surrogate is encoded as a 3-byte sequence
};

ConversionResult ConvertUTF8toUTF16(const UTF8** sourceStart, const UTF8* sourceEnd, UTF16** targetStart,
                                    UTF16* targetEnd, ConversionFlags flags);
ConversionResult ConvertUTF16toUTF8(const UTF16** sourceStart, const UTF16* sourceEnd, UTF8** targetStart,
                                    UTF8* targetEnd, ConversionFlags flags);

// Whether bytes[0..length) is exactly one well-formed UTF-8 character (length 1 to 4).
bool isLegalUTF8(const UTF8* bytes, int length);
