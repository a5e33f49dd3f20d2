// Basic types and status codes of the platform services the plug-in was written against.
#pragma once

#include <cstdint>

typedef int16_t OSErr;
typedef int32_t OSStatus;
typedef uint32_t FourCharCode;
typedef FourCharCode OSType;
typedef FourCharCode DescType;
typedef FourCharCode AEKeyword;
typedef FourCharCode AEEventClass;
typedef FourCharCode AEEventID;
typedef unsigned char Boolean;
typedef intptr_t SRefCon;

// 'abcd' as the integer a Mac compiler makes of a multi-character literal.
constexpr FourCharCode FOUR_CHAR_CODE(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

enum : OSErr {
    noErr = 0,
    paramErr = -50,
    memFullErr = -108,
    fnfErr = -43,
    procNotFound = -600,
    errAECoercionFail = -1700,
    errAEDescNotFound = -1701,
    errAEEventNotHandled = -1708,
    errAENotAEDesc = -1704,
    errAEEventFailed = -10000,
    errAETargetAddressNotPermitted = -1742,
    kLSUnknownErr = -10810,
    kLSApplicationNotFoundErr = -10814,
    kLSNoExecutableErr = -10827,
};
