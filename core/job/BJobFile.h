// The job: what the companion application and the plug-in exchange in every request and reply,
// and what the plug-in keeps in the document.
#pragma once

#include <iosfwd>
#include <memory>

#include "job/BCheckSettingList.h"
#include "job/BDestination.h"
#include "job/BGroup.h"
#include "job/BPageRange.h"
#include "job/BProfileRef.h"
#include "job/BTransparencyFlattener.h"
#include "support/Rect2D.h"
#include "support/UFileSpecCore.h"
#include "text/ustring.h"

class UKeyOutStream;
class UKeyInStream;

// Set by the companion application through the job stream's record 'BP'.
extern bool g_forceEPSexport;

class BJobFile {
public:
    // Stream flags, combined by the callers.
    enum : int {
        kFlagPlacement = 2,          // the placement block; the document copy
        kFlagFull = 4,               // placement and full block; requests and replies
        kFlagActiveGroupsOnly = 16,  // writing: only the active groups
        kFlagUnexportedOnly = 32,    // writing: only destinations not yet exported, marked as written
        kFlagsExport = kFlagFull | kFlagActiveGroupsOnly | kFlagUnexportedOnly,
    };
    static constexpr int kStreamIdentifier = 0x4A4F4235;  // "JOB5"
    static constexpr const char* kProtocolVersion = "748";

    enum ProfileIndex { kProcessProfile = 0, kGrayscaleProfile = 1 };

    // The plug-in information file describes at most this many pages. The count comes from the
    // companion application's reply, and a host document holds at most a thousand artboards: a
    // larger count is corrupt or hostile, and following it would write gigabytes for hours.
    static constexpr int kMaxPluginInfoPages = 100000;

    BJobFile();
    BJobFile(const BJobFile&) = delete;
    BJobFile& operator=(const BJobFile&) = delete;
    virtual ~BJobFile();

    // A failed stream is left alone. Key-stream errors propagate; the job may then be partly read.
    void JobFileReadFromBuffer(std::istream& in, int flags);
    void JobFileKeyStreamIn(UKeyInStream& in, int flags);
    void JobFileWriteToBuffer(std::ostream& out, long flags);
    // Writes with the export flags, then makes the first group still to export the active one.
    void JobFileWriteToBufferForExport(std::ostream& out);
    // Gives the job a fresh identifier first when it has none.
    void JobFileKeyStreamOut(UKeyOutStream& out, long flags);

    // Page 2 and up: "<document file>#<page>" beside the document file; else the document file.
    UFileSpecCore GetPageFileSpec(long page) const;
    void InitializeProfileRefs();
    void SetProfileRefFromCheckSetting(const ustring& name, int index);
    void ComputeRequiredBoxesForActiveGroup();
    // Record 10: a run for the document, then one per absolute page (up to kMaxPluginInfoPages).
    void ExportPluginInfo();

    BGroupList& GetGroups() { return fGroups; }
    const BGroupList& GetGroups() const { return fGroups; }
    BGroup& GetDefaultGroup() { return fDefaultGroup; }
    // The active group, or the default group when none is active.
    BGroup& GetActiveGroupOrDefault();

    int GetSt() const { return fSt; }
    void SetSt(int value) { fSt = value; }
    const ustring& GetJobID() const { return fJobID; }
    void SetJobID(const ustring& id) { fJobID = id; }
    const ustring& GetDN() const { return fDN; }
    void SetDN(const ustring& text) { fDN = text; }
    const ustring& GetSN() const { return fSN; }
    void SetSN(const ustring& text) { fSN = text; }
    const ustring& GetLN() const { return fLN; }
    void SetLN(const ustring& text) { fLN = text; }

    const vnu::Rect2D& GetRequiredBleedBox() const { return fRequiredBleedBox; }
    void SetRequiredBleedBox(const vnu::Rect2D& box) { fRequiredBleedBox = box; }
    const vnu::Rect2D& GetRequiredTrimBox() const { return fRequiredTrimBox; }
    void SetRequiredTrimBox(const vnu::Rect2D& box) { fRequiredTrimBox = box; }
    const vnu::Rect2D& GetRequiredTypeAreaBox() const { return fRequiredTypeAreaBox; }
    void SetRequiredTypeAreaBox(const vnu::Rect2D& box) { fRequiredTypeAreaBox = box; }

    // The trim placement inside the bleed: horizontal and vertical offset, width, depth.
    double GetTrimHorizontalOffset() const { return fTrimHorizontalOffset; }
    double GetTrimVerticalOffset() const { return fTrimVerticalOffset; }
    double GetTrimWidth() const { return fTrimWidth; }
    double GetTrimDepth() const { return fTrimDepth; }
    void SetTrimPlacement(double horizontalOffset, double verticalOffset, double width, double depth);

    bool GetSE() const { return fSE; }
    void SetSE(bool value) { fSE = value; }
    bool GetCombineAllGroups() const { return fCombineAllGroups; }
    void SetCombineAllGroups(bool value) { fCombineAllGroups = value; }
    int GetNP() const { return fNP; }
    void SetNP(int value) { fNP = value; }
    int GetCP() const { return fCP; }
    void SetCP(int value) { fCP = value; }
    int GetLC() const { return fLC; }
    void SetLC(int value) { fLC = value; }

    const UFileSpecCore& GetTF() const { return fTF; }
    void SetTF(const UFileSpecCore& file) { fTF = file; }
    const UFileSpecCore& GetDocumentFile() const { return fDocumentFile; }
    void SetDocumentFile(const UFileSpecCore& file) { fDocumentFile = file; }
    const UFileSpecCore& GetPD() const { return fPD; }
    void SetPD(const UFileSpecCore& file) { fPD = file; }
    const UFileSpecCore& GetPluginInfoFile() const { return fPluginInfoFile; }
    void SetPluginInfoFile(const UFileSpecCore& file) { fPluginInfoFile = file; }

    BPageRangeList& GetPageSections() { return fPageSections; }
    const BPageRangeList& GetPageSections() const { return fPageSections; }
    BPageRangeList& GetSecondPageRanges() { return fSecondPageRanges; }
    BPageRangeAbsoluteList& GetAbsolutePages() { return fAbsolutePages; }
    const BPageRangeAbsoluteList& GetAbsolutePages() const { return fAbsolutePages; }
    BExportedDestinationList& GetExportedDestinations() { return fExportedDestinations; }
    const BExportedDestinationList& GetExportedDestinations() const { return fExportedDestinations; }

    BCheckSettingList& GetCheckSettings() { return fCheckSettings; }
    const BCheckSettingList& GetCheckSettings() const { return fCheckSettings; }

    bool HasProfileRef(int index) const { return fProfilePresent[index]; }
    const BProfileRef& GetProfileRef(int index) const { return fProfileRefs[index]; }

    BPageItemList& GetDocumentItems() { return fDocumentItems; }
    BPageItemList& GetPageItems() { return fPageItems; }
    BDocumentTransparencyFlattener& GetDocumentFlattener(int i) { return fDocumentFlatteners[i]; }
    BTransparencyFlattenerVector& GetPageFlatteners() { return fPageFlatteners; }

private:
    BGroupList fGroups;
    BGroup fDefaultGroup;
    int fSt = 0;
    ustring fJobID;
    ustring fDN;
    ustring fSN;
    ustring fLN;
    vnu::Rect2D fRequiredBleedBox = vnu::kRect2DNull;
    vnu::Rect2D fRequiredTrimBox = vnu::kRect2DNull;
    vnu::Rect2D fRequiredTypeAreaBox = vnu::kRect2DNull;
    double fTrimHorizontalOffset = 0;
    double fTrimVerticalOffset = 0;
    double fTrimWidth = 0;
    double fTrimDepth = 0;
    bool fSE = false;
    bool fCombineAllGroups = false;
    int fNP = 1;
    int fCP = 1;
    int fLC = 0;
    UFileSpecCore fTF;
    UFileSpecCore fDocumentFile;
    UFileSpecCore fPD;
    UFileSpecCore fPluginInfoFile;
    BPageRangeList fPageSections;
    BPageRangeList fSecondPageRanges;
    BPageRangeAbsoluteList fAbsolutePages;
    BExportedDestinationList fExportedDestinations;
    BCheckSettingList fCheckSettings;
    bool fProfilePresent[2] = {false, false};
    BProfileRef fProfileRefs[2];
    BPageItemList fDocumentItems;
    BPageItemList fPageItems;
    BDocumentTransparencyFlattener fDocumentFlatteners[2];
    BTransparencyFlattenerVector fPageFlatteners;
};
