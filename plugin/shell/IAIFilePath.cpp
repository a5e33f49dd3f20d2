#include "shell/IAIFilePath.h"

#include "shell/Suites.h"

namespace ai {

namespace {

ustring textOf(AIErr error, const char* utf8) {
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
    const char* utf8 = nullptr;
    return textOf(sAIFilePath->GetFullPath(fRef, &utf8), utf8);
}

ustring FilePath::GetFileNameNoExt() const {
    const char* utf8 = nullptr;
    return textOf(sAIFilePath->GetFileNameNoExt(fRef, &utf8), utf8);
}

}  // namespace ai
