// ai::UnicodeString: a host string made from UTF-8 text, destroyed with its owner.
#pragma once

#include "sdk/AISuites.h"
#include "text/ustring.h"

// Defined by the plug-in's suite table.
extern AIUnicodeStringSuite* sAIUnicodeString;

namespace ai {

class UnicodeString {
public:
    // Throws ai::Error when the host cannot make the string.
    explicit UnicodeString(const ustring& utf8 = ustring());
    ~UnicodeString();
    UnicodeString(const UnicodeString&) = delete;
    UnicodeString& operator=(const UnicodeString&) = delete;

    AIUnicodeStringRef get() const { return fRef; }

private:
    AIUnicodeStringRef fRef = nullptr;
};

}  // namespace ai
