#include "shell/IAIFilePath.h"

#include "shell/Suites.h"

namespace ai {

namespace {

// Takes the getter rather than its result: in textOf(get(&utf8), utf8) the compiler may read
// utf8 before the call has set it, and the name or path would always come back empty.
template <class Getter>
ustring textOf(Getter get) {
    const char* utf8 = nullptr;
    const AIErr error = get(&utf8);
    return error == kNoErr && utf8 != nullptr ? ustring(utf8) : ustring();
}

}  // namespace

FilePath::FilePath(const ustring& utf8Path) {
    if (sAIFilePath == nullptr) throw ai::Error(kSPSuiteNotFoundError);
    if (const AIErr error = sAIFilePath->NewFilePath(utf8Path.c_str(), &fRef)) throw ai::Error(error);
}

FilePath::~FilePath() {
    if (fRef != nullptr && sAIFilePath != nullptr) sAIFilePath->DeleteFilePath(fRef);
}

ustring FilePath::GetFullPath() const {
    return textOf([this](const char** utf8) { return sAIFilePath->GetFullPath(fRef, utf8); });
}

ustring FilePath::GetFileNameNoExt() const {
    return textOf([this](const char** utf8) { return sAIFilePath->GetFileNameNoExt(fRef, utf8); });
}

}  // namespace ai
