// Groups of destinations; one of them is the active group the document is sized and exported for.
#pragma once

#include <vector>

#include "job/BDestination.h"

class BJobFile;
class UKeyOutStream;
class UKeyInStream;

class BGroup : public BDestinationList {
public:
    explicit BGroup(BJobFile* job) : BDestinationList(job) {}
    ~BGroup() override = default;

    // A destination of the group's job, belonging to this group.
    BDestination* InsertNewDestination() override;

    // 'GA', 'Gd', then record 'LL' with one run per destination. With flag 32 only the destinations
    // not yet exported are written, and each one written is marked exported.
    void GroupKeyStreamOut(UKeyOutStream& out, long flags) const;
    void GroupKeyStreamIn(UKeyInStream& in);

    bool IsActive() const { return fActive; }
    void SetActive(bool active) { fActive = active; }
    bool GetGd() const { return fGd; }
    void SetGd(bool value) { fGd = value; }

    double GetMinimumWidth() const { return fMinimumWidth; }
    double GetMinimumHeight() const { return fMinimumHeight; }
    double GetGroupWidth() const { return fGroupWidth; }
    double GetGroupHeight() const { return fGroupHeight; }
    // Recomputed after every read: with a bled destination its size, else the smallest sizes.
    void ComputeGroupSize();

private:
    bool fActive = false;
    bool fGd = false;
    double fMinimumWidth = 0;
    double fMinimumHeight = 0;
    double fGroupWidth = 0;
    double fGroupHeight = 0;
};

// Owns its groups.
class BGroupList {
public:
    explicit BGroupList(BJobFile* job) : fJob(job) {}
    BGroupList(const BGroupList&) = delete;
    BGroupList& operator=(const BGroupList&) = delete;
    ~BGroupList();

    void Insert(BGroup* group) { fGroups.push_back(group); }
    void RemoveAll();

    // A null or foreign group leaves no group active.
    void SetActiveGroup(BGroup* group);
    BGroup* GetActiveGroup() const;
    BGroup* FindFirstUnexportedGroup() const;

    // Record 'GG', one run per group. With flag 16 only active groups are written.
    void GroupListKeyStreamOut(UKeyOutStream& out, int flags) const;
    void GroupListKeyStreamIn(UKeyInStream& in, int flags);

    size_t size() const { return fGroups.size(); }
    bool empty() const { return fGroups.empty(); }
    BGroup& operator[](size_t i) const { return *fGroups[i]; }

private:
    BJobFile* fJob;
    std::vector<BGroup*> fGroups;
};
