#include "shell/IAIUnicodeString.h"

namespace ai {

UnicodeString::UnicodeString(const ustring& utf8) {
    if (sAIUnicodeString == nullptr) throw ai::Error(kSPSuiteNotFoundError);
    const std::u16string units = utf8.utf16();
    static_assert(sizeof(char16_t) == sizeof(ASUnicode));
    if (const AIErr error = sAIUnicodeString->Initialize(
            &fRef, reinterpret_cast<const ASUnicode*>(units.data()), units.size()))
        throw ai::Error(error);
}

UnicodeString::~UnicodeString() {
    if (fRef != nullptr && sAIUnicodeString != nullptr) sAIUnicodeString->Destroy(fRef);
}

}  // namespace ai
