#include "job/BGroup.h"

#include <algorithm>
#include <memory>

#include "keystream/UKeyStream.h"

namespace {

// A record of one empty field reads as a group or a destination of hundreds of bytes: each is
// charged to the input's budget, with its place in its list, which may double.
constexpr std::uint64_t kGroupCost = vnu::HeapBlockCost(sizeof(BGroup)) + 2 * sizeof(BGroup*);
constexpr std::uint64_t kDestinationCost =
    vnu::HeapBlockCost(sizeof(BDestination)) + 2 * sizeof(BDestination*);

}  // namespace

BDestination* BGroup::InsertNewDestination() {
    BDestination* destination = BDestination::Make(*GetJob());
    destination->SetGroup(*this);
    try {
        Insert(destination);
    } catch (...) {
        BDestination::Release(destination);
        throw;
    }
    return destination;
}

void BGroup::GroupKeyStreamOut(UKeyOutStream& out, long flags) const {
    out << UKey('G', 'A') << fActive;
    out << UKey('G', 'd') << fGd;
    out << UKeyOutStream::StartRecord(UKey('L', 'L'));
    const bool onlyUnexported = (flags & 32) != 0;
    for (BDestination* destination : fDestinations) {
        if (onlyUnexported) {
            if (destination->IsExported()) continue;
            // Marked before writing so the stream says what this write exported.
            destination->SetExported(true);
        }
        destination->DestinationKeyStreamOut(out);
    }
    out.Pop();
}

void BGroup::GroupKeyStreamIn(UKeyInStream& in) {
    in >> UKey('G', 'A') >> fActive;
    in >> UKey('G', 'd') >> fGd;
    in >> UKeyInStream::StartRecord(UKey('L', 'L'));
    while (in.Next()) {
        in.Charge(kDestinationCost, "destinations");
        InsertNewDestination()->DestinationKeyStreamIn(in);
    }
    in.Pop();
    ComputeGroupSize();
}

void BGroup::ComputeGroupSize() {
    fMinimumWidth = 0;
    fMinimumHeight = 0;
    for (const BDestination* destination : fDestinations) {
        if (destination->HasBleed() || destination->GetUnstoredInt() != 0) {
            fMinimumWidth = 0;
            fMinimumHeight = 0;
            fGroupWidth = destination->GetPageWidth();
            fGroupHeight = destination->GetPageHeight();
            return;
        }
        if (destination->IsNarrowerThanGroupMinimum()) fMinimumWidth = destination->GetPageWidth();
        if (destination->IsShorterThanGroupMinimum()) fMinimumHeight = destination->GetPageHeight();
    }
    fGroupWidth = fMinimumWidth;
    fGroupHeight = fMinimumHeight;
}

BGroupList::~BGroupList() {
    RemoveAll();
}

void BGroupList::RemoveAll() {
    for (BGroup* group : fGroups) delete group;
    fGroups.clear();
}

void BGroupList::SetActiveGroup(BGroup* group) {
    for (BGroup* each : fGroups) each->SetActive(each == group);
}

BGroup* BGroupList::GetActiveGroup() const {
    auto it = std::find_if(fGroups.begin(), fGroups.end(), [](const BGroup* g) { return g->IsActive(); });
    return it == fGroups.end() ? nullptr : *it;
}

BGroup* BGroupList::FindFirstUnexportedGroup() const {
    auto it =
        std::find_if(fGroups.begin(), fGroups.end(), [](const BGroup* g) { return !g->IsAllExported(); });
    return it == fGroups.end() ? nullptr : *it;
}

void BGroupList::GroupListKeyStreamOut(UKeyOutStream& out, int flags) const {
    out << UKeyOutStream::StartRecord(UKey('G', 'G'));
    for (const BGroup* group : fGroups) {
        if ((flags & 16) != 0 && !group->IsActive()) continue;
        group->GroupKeyStreamOut(out, flags);
    }
    out.Pop();
}

void BGroupList::GroupListKeyStreamIn(UKeyInStream& in, int /*flags*/) {
    RemoveAll();
    in >> UKeyInStream::StartRecord(UKey('G', 'G'));
    while (in.Next()) {
        in.Charge(kGroupCost, "groups");
        auto group = std::make_unique<BGroup>(fJob);
        Insert(group.get());
        group.release()->GroupKeyStreamIn(in);
    }
    in.Pop();
}
