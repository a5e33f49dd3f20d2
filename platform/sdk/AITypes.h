// The interface a host offers its plug-ins: basic types, result codes and records.
//
// Our own declarations, written from what the Varnel plug-in uses and nothing more. A host
// implements the suites (AISuites.h) and drives a plug-in through PluginMain with the message
// blocks of SPMessages.h.
#pragma once

#include <cstdint>
#include <exception>

namespace ai {
typedef int16_t int16;
typedef int32_t int32;
typedef int64_t int64;
typedef uint32_t uint32;
}  // namespace ai

typedef int32_t AIErr;
typedef int32_t SPErr;
typedef unsigned char AIBoolean;
typedef double AIReal;
typedef uint16_t ASUnicode;  // one UTF-16 code unit

constexpr int32_t AI_FOUR_CHAR(const char (&s)[5]) {
    return int32_t((uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
                   (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3])));
}

// Result codes.
constexpr AIErr kNoErr = 0;
constexpr AIErr kSPNoError = 0;
constexpr AIErr kUnhandledMsgErr = AI_FOUR_CHAR("!MSG");
constexpr AIErr kOutOfMemoryErr = AI_FOUR_CHAR("!MEM");
constexpr AIErr kCantHappenErr = AI_FOUR_CHAR("CANT");
constexpr AIErr kNotImplementedErr = AI_FOUR_CHAR("!IMP");
constexpr AIErr kBadParameterErr = AI_FOUR_CHAR("PARM");
constexpr AIErr kSPSuiteNotFoundError = AI_FOUR_CHAR("S!Fd");
constexpr AIErr kSPBadSuiteVersionError = AI_FOUR_CHAR("S!Vr");  // suite known, version not offered
constexpr AIErr kNoDocumentErr = AI_FOUR_CHAR("DOC?");
constexpr AIErr kNoSuchKeyErr = AI_FOUR_CHAR("NoKy");        // dictionary entry missing
constexpr AIErr kWrongEntryTypeErr = AI_FOUR_CHAR("Typ?");   // dictionary entry of another type
constexpr AIErr kBadArtErr = AI_FOUR_CHAR("ART?");
constexpr AIErr kNoSuchMenuItemErr = AI_FOUR_CHAR("MNU?");
constexpr AIErr kCantOpenFileErr = AI_FOUR_CHAR("FIL?");
constexpr AIErr kActionNotFoundErr = AI_FOUR_CHAR("ACT?");
constexpr AIErr kBadProfileErr = AI_FOUR_CHAR("ICC?");
constexpr int32_t kPurgeFalse = 0;
constexpr int32_t kPurgeTrue = AI_FOUR_CHAR("pFls");

// Opaque handles; the host gives them meaning.
typedef struct SPPlugin* SPPluginRef;
typedef struct SPAccess* SPAccessRef;
typedef struct _t_AINotifier* AINotifierHandle;
typedef struct _t_AIAppContext* AIAppContextHandle;
typedef struct _t_AIMenuItem* AIMenuItemHandle;
typedef struct _t_AIMenuGroup* AIMenuGroup;
typedef struct _t_AITimer* AITimerHandle;
typedef struct _t_AIDocument* AIDocumentHandle;
typedef struct _t_AIDictionary* AIDictionaryRef;
typedef struct _t_AIDictKey* AIDictKey;
typedef struct _t_AIArt* AIArtHandle;
typedef struct _t_AIActionParamValue* AIActionParamValueRef;
typedef struct _t_AIUnicodeString* AIUnicodeStringRef;
typedef struct _t_AIFilePath* AIFilePathRef;
typedef struct _t_AIArtboardList* AIArtboardListRef;
typedef struct _t_AIArtboardProperties* AIArtboardPropertiesRef;
typedef struct _t_AIColorProfile* AIColorProfile;
typedef void** AIMdMemoryHandle;
typedef AIArtHandle** AIArtHandleList;  // a memory handle holding an array of art handles
typedef uint32_t ActionParamKeyID;      // a four-character code
typedef int32_t ActionDialogStatus;
typedef int32_t AIMenuItemOption;
typedef int32_t AIMenuGroupOption;
typedef int16_t AIColorModel;

constexpr ActionDialogStatus kDialogNone = 3;  // play without any dialog

// Menu item options.
constexpr AIMenuItemOption kMenuItemNoOptions = 0;
constexpr AIMenuItemOption kMenuItemWantsUpdateOption = 1;
constexpr AIMenuItemOption kMenuItemIsSeparator = 4;

// Art types, the paint order for new art and the user attributes.
enum : int16_t {
    kAnyArt = -1,
    kUnknownArt = 0,
    kGroupArt = 1,
    kPathArt = 2,
    kCompoundPathArt = 3,
    kTextFrameArt = 4,
    kPlacedArt = 5,
    kRasterArt = 6,
};
enum : int16_t { kPlaceAbove = 1, kPlaceBelow = 2, kPlaceInsideOnTop = 3, kPlaceInsideOnBottom = 4, kPlaceAboveAll = 5 };
enum : int32_t {
    kArtSelected = 0x00000001,
    kArtLocked = 0x00000002,
    kArtHidden = 0x00000004,
    kArtIsGuide = 0x00000100,  // read-only: set by the "adobe_makeGuide" action
};

struct AIRealPoint {
    AIReal h = 0;
    AIReal v = 0;
};
// Points, y growing upwards: top > bottom for a rectangle of positive height.
struct AIRealRect {
    AIReal left = 0;
    AIReal top = 0;
    AIReal right = 0;
    AIReal bottom = 0;
};
struct AIPathSegment {
    AIRealPoint p;
    AIRealPoint in;
    AIRealPoint out;
    AIBoolean corner = 0;
};

struct AIMatchingArtSpec {
    int16_t type = kAnyArt;
    int32_t whichAttr = 0;  // 0: no attribute filter
    int32_t attr = 0;
};

// The new-document preset; the fields after docHeight are the host's own settings, which a
// plug-in fills as the host's documentation says (a single-page document).
struct AINewDocumentPreset {
    AIUnicodeStringRef docTitle = nullptr;
    AIReal docWidth = 0;
    AIReal docHeight = 0;
    int32_t docNumArtboards = 0;
    int32_t docArtboardLayout = 0;
    int64_t docArtboardSpacing = 0;
    int32_t docArtboardRowsOrCols = 0;
    int32_t docColorMode = 0;
    int32_t docUnits = 0;
    int32_t docPreviewMode = 0;
    int32_t docTransparencyGrid = 0;
    int32_t docRasterResolution = 0;
    int32_t docReserved[8] = {};
};

namespace ai {
// The host SDK's error exception: a result code thrown through plug-in code.
class Error : public std::exception {
public:
    explicit Error(AIErr err) : err_(err) {}
    AIErr code() const noexcept { return err_; }
    operator AIErr() const noexcept { return err_; }
    const char* what() const noexcept override { return "ai::Error"; }

private:
    AIErr err_;
};
}  // namespace ai
