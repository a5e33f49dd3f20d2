// The plug-in's work: start-up and menus, the job kept in each document, size adjustment and
// guides, the replies of the Varnel application and the PDF export.
#pragma once

#include <iosfwd>
#include <string>

#include "sdk/AISuites.h"
#include "sdk/SPMessages.h"
#include "text/ustring.h"

class BJobFile;

// --- Start-up, menus and commands (VNIllustrator.cpp) ---
AIErr pluginStartup(SPInterfaceMessage* message);
void pluginShutdown(SPInterfaceMessage* message);
AIErr updateMenuItem(AIMenuMessage* message);
AIErr goMenuItem(AIMenuMessage* message);
// The item's handle, or null when the host refused it (logged).
AIMenuItemHandle menu_add(SPInterfaceMessage* message, const char* group, const ustring& text,
                          AIMenuItemOption options);
// The payload of the About request: who is asking.
std::string PluginInfoRecord();

// --- Reply queue (link/replyQueue.cpp) ---
// Handles the reply waiting in the plug-in object, if any; a failing handler is logged and its
// reply dropped.
AIErr goTimer(AITimerMessage* message);

// --- Job data in the document (VNIllustratorDocument.cpp) ---
// Whether the host has a current document (false without the Document suite).
bool DocumentIsOpen();
// False when the document has no dictionary or no job data; a corrupt entry throws.
bool CreateFromDocumentSLUG(BJobFile& job);
void PutIntoDocumentSLUG(SPBasicSuite* basic, BJobFile& job, AIDocumentSuite* document);
// Null when the file cannot be read or is no profile.
AIColorProfile get_ai_profile(SPBasicSuite* basic, const ustring& path);

// --- Size adjustment and guides (VNIllustratorGuides.cpp) ---
void AdjustSize(SPBasicSuite* basic, bool withGuides, bool toBleed);
void MakeGuides(AIPathSuite* paths, double x, double y, double width, double height, bool isTrim);

// --- Replies (VNIllustratorReplies.cpp, VNIllustratorExport.cpp) ---
void HandleDetailsReply(SPBasicSuite* basic, std::istream& payload, BJobFile& job, bool adjust);
void HandleNewDetailsReply(SPBasicSuite* basic, std::istream& payload, BJobFile& job);
void HandleExportReply(SPBasicSuite* basic, std::istream& payload, BJobFile& job);
// The host's PDF compatibility code for the job's PDF version (19 to 23).
int GetExportPDFVersion(BJobFile& job);

// Owns one Action Manager parameter block and deletes it when going out of scope.
class ActionReleaser {
public:
    explicit ActionReleaser(AIActionParamValueRef block) : fBlock(block) {}
    ~ActionReleaser();
    ActionReleaser(const ActionReleaser&) = delete;
    ActionReleaser& operator=(const ActionReleaser&) = delete;

private:
    AIActionParamValueRef fBlock;
};
