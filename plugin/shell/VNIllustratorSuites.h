// The suites of the plug-in's own table (gImportSuites), acquired with the fixed ones.
#pragma once

#include "sdk/AISuites.h"
#include "shell/Suites.h"

extern SPBlocksSuite* sSPBlocks;
extern AIMenuSuite* sMenu;
extern AIUnicodeStringSuite* sAIUnicodeString;
extern AIDocumentSuite* sAIDocument;
extern AIDocumentListSuite* sAIDocumentList;
extern AIDictionarySuite* sAIDictionary;
extern AIActionManagerSuite* sAIActionManager;
extern AIMatchingArtSuite* sAIMatchingArt;
extern AIMdMemorySuite* sAIMdMemory;
extern AIArtSuite* sAIArt;
extern AIArtboardSuite* sAIArtboard;
