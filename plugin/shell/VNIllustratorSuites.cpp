#include "shell/VNIllustratorSuites.h"

SPBlocksSuite* sSPBlocks = nullptr;
AIMenuSuite* sMenu = nullptr;
AIUnicodeStringSuite* sAIUnicodeString = nullptr;
AIDocumentSuite* sAIDocument = nullptr;
AIDocumentListSuite* sAIDocumentList = nullptr;
AIDictionarySuite* sAIDictionary = nullptr;
AIActionManagerSuite* sAIActionManager = nullptr;
AIMatchingArtSuite* sAIMatchingArt = nullptr;
AIMdMemorySuite* sAIMdMemory = nullptr;
AIArtSuite* sAIArt = nullptr;
AIArtboardSuite* sAIArtboard = nullptr;

// Every entry is required: a host without one of them does not start the plug-in.
ImportSuite gImportSuites[] = {
    {kSPBlocksSuite, kSPBlocksSuiteVersion, (const void**)&sSPBlocks},
    {kAIMenuSuite, kAIMenuSuiteVersion, (const void**)&sMenu},
    {kAIUnicodeStringSuite, kAIUnicodeStringSuiteVersion, (const void**)&sAIUnicodeString},
    {kAIDocumentSuite, kAIDocumentSuiteVersion, (const void**)&sAIDocument},
    {kAIDocumentListSuite, kAIDocumentListSuiteVersion, (const void**)&sAIDocumentList},
    {kAIDictionarySuite, kAIDictionarySuiteVersion, (const void**)&sAIDictionary},
    {kAIActionManagerSuite, kAIActionManagerSuiteVersion, (const void**)&sAIActionManager},
    {kAIMatchingArtSuite, kAIMatchingArtSuiteVersion, (const void**)&sAIMatchingArt},
    {kAIMdMemorySuite, kAIMdMemorySuiteVersion, (const void**)&sAIMdMemory},
    {kAIArtSuite, kAIArtSuiteVersion, (const void**)&sAIArt},
    {kAIArtboardSuite, kAIArtboardSuiteVersion, (const void**)&sAIArtboard},
    {nullptr, 0, nullptr},
};
