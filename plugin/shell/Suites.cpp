#include "shell/Suites.h"

#include <iterator>

SPBasicSuite* sSPBasic = nullptr;
SPAccessSuite* sSPAccess = nullptr;
SPPluginsSuite* sSPPlugins = nullptr;
AINotifierSuite* sAINotifier = nullptr;
AIAppContextSuite* sAIAppContext = nullptr;
AIUserSuite* sAIUser = nullptr;
AIFilePathSuite* sAIFilePath = nullptr;
AIFoldersSuite* sAIFolders = nullptr;

int32_t Suites::fAcquiredCount = 0;

namespace {

ImportSuite kFixedSuites[] = {
    {kSPAccessSuite, kSPAccessSuiteVersion, (const void**)&sSPAccess},
    {kSPPluginsSuite, kSPPluginsSuiteVersion, (const void**)&sSPPlugins},
    {kAINotifierSuite, kAINotifierSuiteVersion, (const void**)&sAINotifier},
    {kAIAppContextSuite, kAIAppContextSuiteVersion, (const void**)&sAIAppContext},
    {kAIUserSuite, kAIUserSuiteVersion, (const void**)&sAIUser},
    {kAIFilePathSuite, kAIFilePathSuiteVersion, (const void**)&sAIFilePath},
    {kAIFoldersSuite, kAIFoldersSuiteVersion, (const void**)&sAIFolders},
};

// Calls `step` on every suite, the fixed ones first, until one fails; returns that failure.
template <typename Step>
AIErr forEachSuite(Step step) {
    for (ImportSuite& entry : kFixedSuites)
        if (AIErr error = step(entry)) return error;
    for (ImportSuite* entry = gImportSuites; entry->name != nullptr; ++entry)
        if (AIErr error = step(*entry)) return error;
    return kNoErr;
}

}  // namespace

Suites::Suites() {
    fRequiredSuitesCount = int32_t(std::size(kFixedSuites));
    for (const ImportSuite* entry = gImportSuites; entry->name != nullptr; ++entry) ++fRequiredSuitesCount;
    fError = AcquireSuites();
}

Suites::~Suites() {
    // A holder whose acquisition failed never counted itself.
    if (fError == kNoErr) ReleaseSuites();
}

AIErr Suites::AcquireSuites() {
    if (fAcquiredCount == 0) {
        if (sSPBasic == nullptr) return kBadParameterErr;
        const AIErr error = forEachSuite([](ImportSuite& entry) {
            return sSPBasic->AcquireSuite(entry.name, entry.version, entry.suite);
        });
        if (error != kNoErr) return error;
    }
    ++fAcquiredCount;
    return kNoErr;
}

AIErr Suites::ReleaseSuites() {
    if (fAcquiredCount <= 0 || --fAcquiredCount > 0) return kNoErr;
    AIErr first = kNoErr;
    forEachSuite([&first](ImportSuite& entry) {
        if (*entry.suite != nullptr) {
            const AIErr error =
                sSPBasic != nullptr ? sSPBasic->ReleaseSuite(entry.name, entry.version) : kNoErr;
            if (first == kNoErr) first = error;
            *entry.suite = nullptr;
        }
        return kNoErr;
    });
    return first;
}
