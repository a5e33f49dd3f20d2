// The suites a host offers, as tables of function pointers, each acquired through
// SPBasicSuite::AcquireSuite by its name and version. Only the functions the Varnel plug-in
// calls are declared; every function returns a result code, 0 for success.
#pragma once

#include <cstddef>

#include "sdk/AITypes.h"

// --- Sweet Pea suites -------------------------------------------------------------------------

#define kSPAccessSuite "SP Access Suite"
constexpr int32_t kSPAccessSuiteVersion = 3;
struct SPAccessSuite {
    // Keeps the plug-in loaded while the reference is held.
    SPErr (*AcquirePlugin)(SPPluginRef plugin, SPAccessRef* access);
    SPErr (*ReleasePlugin)(SPAccessRef access);
};

#define kSPPluginsSuite "SP Plug-ins Suite"
constexpr int32_t kSPPluginsSuiteVersion = 4;
struct SPPluginsSuite {
    SPErr (*SetPluginName)(SPPluginRef plugin, const char* name);
    SPErr (*GetPluginName)(SPPluginRef plugin, const char** name);
};

#define kSPBlocksSuite "SP Blocks Suite"
constexpr int32_t kSPBlocksSuiteVersion = 2;
struct SPBlocksSuite {
    SPErr (*AllocateBlock)(size_t size, const char* debug, void** block);
    SPErr (*FreeBlock)(void* block);
};

// --- Application --------------------------------------------------------------------------------

#define kAINotifierSuite "AI Notifier Suite"
constexpr int32_t kAINotifierSuiteVersion = 1004;
struct AINotifierSuite {
    AIErr (*AddNotifier)(SPPluginRef self, const char* name, const char* type, AINotifierHandle* notifier);
};

#define kAIAppContextSuite "AI Context Suite"
constexpr int32_t kAIAppContextSuiteVersion = 1010;
struct AIAppContextSuite {
    AIErr (*PushAppContext)(SPPluginRef plugin, AIAppContextHandle* context);
    AIErr (*PopAppContext)(AIAppContextHandle context);
};

#define kAIUserSuite "AI User Suite"
constexpr int32_t kAIUserSuiteVersion = 1021;
struct AIUserSuite {
    // Asks the host to redraw its windows; a headless host does nothing.
    AIErr (*AppIdle)();
};

#define kAIFoldersSuite "AI Folders Suite"
constexpr int32_t kAIFoldersSuiteVersion = 1005;
struct AIFoldersSuite {
    // The host's folder for plug-ins' preference files, as a file path the caller destroys.
    AIErr (*FindPreferencesFolder)(AIFilePathRef* folder);
};

#define kAIRuntimeSuite "AI Runtime Suite"
constexpr int32_t kAIRuntimeSuiteVersion = 1014;
struct AIRuntimeSuite {
    AIErr (*GetAppMajorVersion)(ai::int32* major);
};

#define kAITimerSuite "AI Timer Suite"
constexpr int32_t kAITimerSuiteVersion = 1005;
struct AITimerSuite {
    // `period` in ticks of 1/60 s; the host sends "AI Timer"/"AI Go" once per period.
    AIErr (*AddTimer)(SPPluginRef self, const char* name, ai::int32 period, AITimerHandle* timer);
    AIErr (*SetTimerActive)(AITimerHandle timer, AIBoolean active);
};

#define kAIMenuSuite "AI Menu Suite"
constexpr int32_t kAIMenuSuiteVersion = 1011;
struct AIMenuSuite {
    // `itemName` is the host's identifying name; `text` the shown title (UTF-16, see below).
    AIErr (*AddMenuItemZString)(SPPluginRef self, const char* itemName, const char* groupName,
                                AIUnicodeStringRef text, AIMenuItemOption options, AIMenuItemHandle* item);
    AIErr (*AddMenuGroupAsSubMenu)(const char* name, AIMenuGroupOption options, AIMenuItemHandle parent,
                                   AIMenuGroup* group);
    AIErr (*EnableItem)(AIMenuItemHandle item);
    AIErr (*DisableItem)(AIMenuItemHandle item);
    AIErr (*SetItemCmd)(AIMenuItemHandle item, char cmdChar, ai::int16 modifiers);
};

// --- Strings and paths --------------------------------------------------------------------------

#define kAIUnicodeStringSuite "AI Unicode String Suite"
constexpr int32_t kAIUnicodeStringSuiteVersion = 1009;
struct AIUnicodeStringSuite {
    AIErr (*Initialize)(AIUnicodeStringRef* string, const ASUnicode* text, size_t length);
    // The UTF-16 units, valid until the string is destroyed.
    AIErr (*GetUTF16)(AIUnicodeStringRef string, const ASUnicode** text, size_t* length);
    AIErr (*Destroy)(AIUnicodeStringRef string);
};

#define kAIFilePathSuite "AI File Path Suite"
constexpr int32_t kAIFilePathSuiteVersion = 1008;
struct AIFilePathSuite {
    AIErr (*NewFilePath)(const char* utf8Path, AIFilePathRef* path);
    AIErr (*DeleteFilePath)(AIFilePathRef path);
    // The whole path, UTF-8; valid until the path is deleted or set again.
    AIErr (*GetFullPath)(AIFilePathRef path, const char** utf8Path);
    AIErr (*SetFullPath)(AIFilePathRef path, const char* utf8Path);
    // The last component without its extension, valid as GetFullPath's.
    AIErr (*GetFileNameNoExt)(AIFilePathRef path, const char** utf8Name);
};

// --- Documents ----------------------------------------------------------------------------------

#define kAIDocumentSuite "AI Document Suite"
constexpr int32_t kAIDocumentSuiteVersion = 1020;
struct AIDocumentSuite {
    // kNoDocumentErr when no document is open.
    AIErr (*GetDocument)(AIDocumentHandle* document);
    AIErr (*GetDocumentPageSize)(AIReal* width, AIReal* height);
    // Sets `path` (made by the caller) to the document's file; kCantOpenFileErr for a document
    // that has no file yet.
    AIErr (*GetDocumentFilePath)(AIFilePathRef path);
    // The document dictionary, a counted reference the caller releases (AIDictionarySuite).
    AIErr (*GetDictionary)(AIDictionaryRef* dictionary);
    AIErr (*SetDocumentModified)(AIBoolean modified);
    // The three working-space profiles, RGB, CMYK and grey; a null profile clears the slot.
    AIErr (*SetDocumentProfiles)(AIColorProfile rgb, AIColorProfile cmyk, AIColorProfile gray);
    AIErr (*GetDocumentColorModel)(AIColorModel* model);
    // Brings the document's internal state up to date after art was changed.
    AIErr (*SyncDocument)();
};

#define kAIDocumentListSuite "AI Document List Suite"
constexpr int32_t kAIDocumentListSuiteVersion = 1011;
struct AIDocumentListSuite {
    // The new document becomes the current one.
    AIErr (*New)(AIUnicodeStringRef presetName, AINewDocumentPreset* preset, ActionDialogStatus dialog,
                 AIDocumentHandle* document);
    AIErr (*Open)(AIFilePathRef file, AIColorModel model, ActionDialogStatus dialog, AIBoolean forceCopy,
                  AIDocumentHandle* document);
    AIErr (*Save)(AIDocumentHandle document);
    AIErr (*Close)(AIDocumentHandle document);
};

#define kAIDictionarySuite "AI Dictionary Suite"
constexpr int32_t kAIDictionarySuiteVersion = 1010;
struct AIDictionarySuite {
    AIDictKey (*Key)(const char* name);
    // With a null `value` only the size is given. kNoSuchKeyErr, kWrongEntryTypeErr; a buffer
    // smaller than the entry gives kBadParameterErr.
    AIErr (*GetBinaryEntry)(AIDictionaryRef dictionary, AIDictKey key, void* value, size_t* size);
    AIErr (*SetBinaryEntry)(AIDictionaryRef dictionary, AIDictKey key, const void* value, size_t size);
    AIErr (*GetBooleanEntry)(AIDictionaryRef dictionary, AIDictKey key, AIBoolean* value);
    AIErr (*SetBooleanEntry)(AIDictionaryRef dictionary, AIDictKey key, AIBoolean value);
    AIErr (*Release)(AIDictionaryRef dictionary);
};

#define kAIOverrideColorConversionSuite "Override AI Color Conversion Suite"
constexpr int32_t kAIOverrideColorConversionSuiteVersion = 1009;
struct AIOverrideColorConversionSuite {
    // Reads an ICC profile from memory; kBadProfileErr for anything that is not one.
    AIErr (*CreateProfileFromBuffer)(const void* data, ai::uint32 size, AIColorProfile* profile);
};

// --- Actions ------------------------------------------------------------------------------------

#define kAIActionManagerSuite "AI Action Manager Suite"
constexpr int32_t kAIActionManagerSuiteVersion = 1005;
struct AIActionManagerSuite {
    AIErr (*AINewActionParamValue)(AIActionParamValueRef* value);
    AIErr (*AIDeleteActionParamValue)(AIActionParamValueRef value);
    AIErr (*AIActionSetInteger)(AIActionParamValueRef value, ActionParamKeyID key, ai::int32 number);
    AIErr (*AIActionSetReal)(AIActionParamValueRef value, ActionParamKeyID key, AIReal number);
    AIErr (*AIActionSetString)(AIActionParamValueRef value, ActionParamKeyID key, const char* text);
    AIErr (*AIActionSetBoolean)(AIActionParamValueRef value, ActionParamKeyID key, AIBoolean flag);
    AIErr (*AIActionSetEnumerated)(AIActionParamValueRef value, ActionParamKeyID key, const char* typeName,
                                   ai::int32 number);
    // `parameters` may be null.
    AIErr (*PlayActionEvent)(const char* eventName, ActionDialogStatus dialog, AIActionParamValueRef parameters);
};

// --- Art ----------------------------------------------------------------------------------------

#define kAIMdMemorySuite "AI MdMemory Suite"
constexpr int32_t kAIMdMemorySuiteVersion = 1003;
struct AIMdMemorySuite {
    AIErr (*MdMemoryDisposeHandle)(AIMdMemoryHandle handle);
};

#define kAIMatchingArtSuite "AI Matching Art Suite"
constexpr int32_t kAIMatchingArtSuiteVersion = 1007;
struct AIMatchingArtSuite {
    // `matches` is a memory handle the caller disposes of with AIMdMemorySuite; null when
    // nothing matches.
    AIErr (*GetMatchingArt)(AIMatchingArtSpec* specs, ai::int16 numSpecs, AIArtHandleList* matches,
                            ai::int32* numMatches);
    AIErr (*DeselectAll)();
};

#define kAIArtSuite "AI Art Suite"
constexpr int32_t kAIArtSuiteVersion = 1021;
struct AIArtSuite {
    // `prep` may be null with kPlaceAboveAll.
    AIErr (*NewArt)(ai::int16 type, ai::int16 paintOrder, AIArtHandle prep, AIArtHandle* art);
    AIErr (*DisposeArt)(AIArtHandle art);
    AIErr (*GetArtType)(AIArtHandle art, ai::int16* type);
    // The art's dictionary, made on first use; a counted reference the caller releases.
    AIErr (*GetDictionary)(AIArtHandle art, AIDictionaryRef* dictionary);
    AIErr (*GetArtUserAttr)(AIArtHandle art, ai::int32 whichAttr, ai::int32* attr);
    AIErr (*SetArtUserAttr)(AIArtHandle art, ai::int32 whichAttr, ai::int32 attr);
};

#define kAIPathSuite "AI Path Suite"
constexpr int32_t kAIPathSuiteVersion = 1012;
struct AIPathSuite {
    AIErr (*SetPathSegmentCount)(AIArtHandle path, ai::int16 count);
    AIErr (*SetPathSegments)(AIArtHandle path, ai::int16 first, ai::int16 count, const AIPathSegment* segments);
    AIErr (*SetPathClosed)(AIArtHandle path, AIBoolean closed);
    AIErr (*GetPathSegmentCount)(AIArtHandle path, ai::int16* count);
    AIErr (*GetPathSegments)(AIArtHandle path, ai::int16 first, ai::int16 count, AIPathSegment* segments);
};

#define kAIArtboardSuite "AI Artboard Suite"
constexpr int32_t kAIArtboardSuiteVersion = 1006;
struct AIArtboardSuite {
    AIErr (*GetArtboardList)(AIArtboardListRef* list);
    AIErr (*ReleaseArtboardList)(AIArtboardListRef list);
    AIErr (*GetArtboardProperties)(AIArtboardListRef list, ai::int32 index, AIArtboardPropertiesRef* properties);
    AIErr (*DisposeArtboardProperties)(AIArtboardPropertiesRef properties);
    AIErr (*GetPosition)(AIArtboardPropertiesRef properties, AIRealRect* rect);
    AIErr (*SetPosition)(AIArtboardPropertiesRef properties, AIRealRect rect);
    AIErr (*Update)(AIArtboardListRef list, ai::int32 index, AIArtboardPropertiesRef properties);
};
