// A destination of a job (a publication or section with its page size, bleeds and type area),
// the owning list of destinations, and the list of destinations already exported.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "job/BCheckSettingList.h"
#include "job/BPageRange.h"
#include "job/USharedDataCmt.h"
#include "text/ustring.h"

class BJobFile;
class BGroup;
class UKeyOutStream;
class UKeyInStream;

class BDestination {
public:
    explicit BDestination(BJobFile& job);
    BDestination(const BDestination&) = delete;
    BDestination& operator=(const BDestination&) = delete;
    virtual ~BDestination();

    // A job's destinations come and go a thousand at a time, each read job replacing the last:
    // those a list lets go of are kept whole (per thread, up to a bound), their texts' room too,
    // and Make hands them out again as new. Make may throw std::bad_alloc. Against new and delete:
    // 12 to 23% of a 1000-destination job read (BM_ReadJob without the ticket, CPU time).
    static BDestination* Make(BJobFile& job);
    // Keeps a destination for Make, or deletes it (a subclass's, or beyond the bound).
    static void Release(BDestination* destination) noexcept;

    virtual void SetCountryCode(const ustring& code) { fCountryCode = code; }
    // Setting a code clears the detail that belongs to it.
    virtual void SetPublisherCode(const ustring& code);
    virtual void SetPublicationCode(const ustring& code);
    virtual void SetSectionCode(const ustring& code);
    virtual void DestinationKeyStreamIn(UKeyInStream& in);
    virtual bool WantsGWGXMPMetadata() const { return false; }

    // Writes the destination as one run of keys in the current record.
    void DestinationKeyStreamOut(UKeyOutStream& out) const;

    void SetGroup(BGroup& group) { fGroup = &group; }
    BGroup* GetGroup() const { return fGroup; }
    BJobFile& GetJob() const { return *fJob; }

    double GetRequestedBleedWidth() const { return fPageWidth + fBleedLeft + fBleedRight; }
    double GetRequestedBleedDepth() const { return fPageHeight + fBleedTop + fBleedBottom; }
    // A destination outside any group compares against a minimum of 0.
    bool IsNarrowerThanGroupMinimum() const;
    bool IsShorterThanGroupMinimum() const;
    bool HasBleed() const {
        return fBleedLeft != 0 || fBleedRight != 0 || fBleedTop != 0 || fBleedBottom != 0;
    }

    const ustring& GetCountryCode() const { return fCountryCode; }
    const ustring& GetPublisherCode() const { return fPublisherCode; }
    const ustring& GetPublisherDetail() const { return fPublisherDetail; }
    void SetPublisherDetail(const ustring& text) { fPublisherDetail = text; }
    const ustring& GetPublicationCode() const { return fPublicationCode; }
    const ustring& GetPublicationDetail() const { return fPublicationDetail; }
    void SetPublicationDetail(const ustring& text) { fPublicationDetail = text; }
    const ustring& GetSectionCode() const { return fSectionCode; }
    const ustring& GetSectionDetail() const { return fSectionDetail; }
    void SetSectionDetail(const ustring& text) { fSectionDetail = text; }

    int GetSt() const { return fSt; }
    void SetSt(int value) { fSt = value; }
    const ustring& GetCN() const { return fCN; }
    void SetCN(const ustring& text) { fCN = text; }
    int GetCo() const { return fCo; }
    void SetCo(int value) { fCo = value; }
    const ustring& GetNS() const { return fNS; }
    void SetNS(const ustring& text) { fNS = text; }
    const ustring& GetMK() const { return fMK; }
    void SetMK(const ustring& text) { fMK = text; }
    bool GetRo() const { return fRo; }
    void SetRo(bool value) { fRo = value; }

    double GetPageWidth() const { return fPageWidth; }
    double GetPageHeight() const { return fPageHeight; }
    void SetPageSize(double width, double height) {
        fPageWidth = width;
        fPageHeight = height;
    }
    bool IsExported() const { return fExported; }
    void SetExported(bool exported) { fExported = exported; }

    double GetBleedLeft() const { return fBleedLeft; }
    double GetBleedRight() const { return fBleedRight; }
    double GetBleedTop() const { return fBleedTop; }
    double GetBleedBottom() const { return fBleedBottom; }
    void SetBleeds(double left, double right, double top, double bottom);
    double GetTypeAreaLeft() const { return fTypeLeft; }
    double GetTypeAreaRight() const { return fTypeRight; }
    double GetTypeAreaTop() const { return fTypeTop; }
    double GetTypeAreaBottom() const { return fTypeBottom; }
    void SetTypeAreaMargins(double left, double right, double top, double bottom);

    const ustring& GetIdentifier() const { return fIdentifier; }
    void SetIdentifier(const ustring& id) { fIdentifier = id; }

    const std::vector<USharedDataCmt>& GetComments() const { return fComments; }
    void AddComment(const USharedDataCmt& comment) { fComments.push_back(comment); }

    BCheckSettingList& GetCheckSettings() { return fCheckSettings; }
    const BCheckSettingList& GetCheckSettings() const { return fCheckSettings; }
    int GetUnstoredInt() const { return fUnstoredInt; }
    void SetUnstoredInt(int value) { fUnstoredInt = value; }

private:
    // As constructed, but for the job and the texts' room: every member below is reset here.
    void Empty() noexcept;
    // Every text member.
    std::array<ustring*, 11> Texts() noexcept;

    BJobFile* fJob;
    BGroup* fGroup = nullptr;
    ustring fCountryCode;
    ustring fPublisherCode;
    ustring fPublisherDetail;
    ustring fPublicationCode;
    ustring fPublicationDetail;
    ustring fSectionCode;
    ustring fSectionDetail;
    int fSt = 0;
    ustring fCN;
    int fCo = 0;
    ustring fNS;
    double fPageWidth = 0;
    double fPageHeight = 0;
    bool fExported = false;
    ustring fMK;
    bool fRo = false;
    double fBleedLeft = 0;
    double fBleedRight = 0;
    double fBleedTop = 0;
    double fBleedBottom = 0;
    double fTypeLeft = 0;
    double fTypeRight = 0;
    double fTypeTop = 0;
    double fTypeBottom = 0;
    ustring fIdentifier;
    std::vector<USharedDataCmt> fComments;
    BCheckSettingList fCheckSettings;
    int fUnstoredInt = 0;
};

// Owns its destinations; the subclass decides how a new one is made.
class BDestinationList {
public:
    explicit BDestinationList(BJobFile* job) : fJob(job) {}
    BDestinationList(const BDestinationList&) = delete;
    BDestinationList& operator=(const BDestinationList&) = delete;
    virtual ~BDestinationList();

    virtual BDestination* InsertNewDestination() = 0;

    void Insert(BDestination* destination) { fDestinations.push_back(destination); }
    void RemoveAll();
    // True for an empty list.
    bool IsAllExported() const;

    size_t size() const { return fDestinations.size(); }
    bool empty() const { return fDestinations.empty(); }
    BDestination& operator[](size_t i) const { return *fDestinations[i]; }
    BJobFile* GetJob() const { return fJob; }
    const ustring& GetName() const { return fName; }
    void SetName(const ustring& name) { fName = name; }

protected:
    std::vector<BDestination*> fDestinations;

private:
    BJobFile* fJob;
    ustring fName;
};

class BExportedDestination {
public:
    explicit BExportedDestination(int id = 0) : fID(id) {}
    int GetID() const { return fID; }
    void SetID(int id) { fID = id; }
    BPageRangeAbsoluteList& GetPages() { return fPages; }
    const BPageRangeAbsoluteList& GetPages() const { return fPages; }

private:
    int fID;
    BPageRangeAbsoluteList fPages;
};

// Owns its entries; reading keeps them sorted by identifier.
class BExportedDestinationList {
public:
    BExportedDestinationList() = default;
    BExportedDestinationList(const BExportedDestinationList&) = delete;
    BExportedDestinationList& operator=(const BExportedDestinationList&) = delete;
    ~BExportedDestinationList();

    void RemoveAll();
    void Append(BExportedDestination* entry) { fEntries.push_back(entry); }

    // Record 'EL', one run of 'ID' and 'PR' per entry.
    void ExportedDestinationListKeyStreamOut(UKeyOutStream& out) const;
    // Each entry read goes before the first held entry whose identifier is not smaller; the held
    // entries are expected in ascending order (an empty list, or one read before).
    void ExportedDestinationListKeyStreamIn(UKeyInStream& in);

    size_t size() const { return fEntries.size(); }
    bool empty() const { return fEntries.empty(); }
    const BExportedDestination& operator[](size_t i) const { return *fEntries[i]; }

private:
    std::vector<BExportedDestination*> fEntries;
};
