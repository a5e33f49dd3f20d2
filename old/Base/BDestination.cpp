#include "BDestination.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <stdexcept>

#include "BGroup.h"
#include "UKeyStream.h"

namespace {

// Identifiers made of digits only travel as integers. Those beyond the integer range would wrap
// on conversion (to -1, say, which reads back as four 0xFF bytes), so they travel as strings.
bool TravelsAsInteger(const ustring& id, int& value) {
    long long number = 0;
    for (char c : id) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
        if (number > INT_MAX) return false;
    }
    value = static_cast<int>(number);
    return true;
}

}  // namespace

BDestination::BDestination(BJobFile& job) : fJob(job) {}

BDestination::~BDestination() = default;

void BDestination::SetPublisherCode(const ustring& code) {
    fPublisherCode = code;
    fPublisherDetail.clear();
}

void BDestination::SetPublicationCode(const ustring& code) {
    fPublicationCode = code;
    fPublicationDetail.clear();
}

void BDestination::SetSectionCode(const ustring& code) {
    fSectionCode = code;
    fSectionDetail.clear();
}

void BDestination::SetBleeds(double left, double right, double top, double bottom) {
    fBleedLeft = left;
    fBleedRight = right;
    fBleedTop = top;
    fBleedBottom = bottom;
}

void BDestination::SetTypeAreaMargins(double left, double right, double top, double bottom) {
    fTypeLeft = left;
    fTypeRight = right;
    fTypeTop = top;
    fTypeBottom = bottom;
}

bool BDestination::IsNarrowerThanGroupMinimum() const {
    if (fPageWidth <= 0) return false;
    double minimum = fGroup ? fGroup->GetMinimumWidth() : 0;
    return minimum == 0 || minimum > fPageWidth;
}

bool BDestination::IsShorterThanGroupMinimum() const {
    if (fPageHeight <= 0) return false;
    double minimum = fGroup ? fGroup->GetMinimumHeight() : 0;
    return minimum == 0 || minimum > fPageHeight;
}

void BDestination::DestinationKeyStreamOut(UKeyOutStream& out) const {
    out << UKey('C', 'C') << fCountryCode;
    out << UKey('R', 'C') << fPublisherCode;
    out << UKey('R', '1') << fPublisherDetail;
    out << UKey('N', 'C') << fPublicationCode;
    out << UKey('N', '1') << fPublicationDetail;
    out << UKey('S', 'C') << fSectionCode;
    out << UKey('S', '1') << fSectionDetail;
    out << UKey('S', 't') << fSt;
    out << UKey('C', 'N') << fCN;
    out << UKey('C', 'o') << fCo;
    out << UKey('N', 'S') << fNS;
    out << UKey('S', 'X') << fPageWidth;
    out << UKey('S', 'Y') << fPageHeight;
    out << UKey('E', 'x') << fExported;
    out << UKey('M', 'K') << fMK;
    out << UKey('R', 'o') << fRo;

    out << UKey('B', 'l') << fBleedLeft;
    out << UKey('B', 'r') << fBleedRight;
    out << UKey('B', 't') << fBleedTop;
    out << UKey('B', 'b') << fBleedBottom;
    out << UKey('T', 'l') << fTypeLeft;
    out << UKey('T', 'r') << fTypeRight;
    out << UKey('T', 't') << fTypeTop;
    out << UKey('T', 'b') << fTypeBottom;

    int number = 0;
    if (TravelsAsInteger(fIdentifier, number))
        out << UKey('I', 'D') << number;
    else
        out << UKey('I', 'D') << fIdentifier;

    if (!fComments.empty()) {
        out << UKeyOutStream::StartRecord(UKey('U', 'F'));
        for (const USharedDataCmt& comment : fComments) comment.SharedDataCmtKeyStreamOut(out);
        out.Pop();
    }
}

void BDestination::DestinationKeyStreamIn(UKeyInStream& in) {
    fPublisherDetail.clear();
    fPublicationDetail.clear();
    fSectionDetail.clear();

    in >> UKey('C', 'C') >> fCountryCode;
    in >> UKey('R', 'C') >> fPublisherCode;
    in >> UKey('R', '1') >> fPublisherDetail;
    in >> UKey('N', 'C') >> fPublicationCode;
    in >> UKey('N', '1') >> fPublicationDetail;
    in >> UKey('S', 'C') >> fSectionCode;
    in >> UKey('S', '1') >> fSectionDetail;
    in >> UKey('S', 't') >> fSt;
    in >> UKey('C', 'N') >> fCN;
    in >> UKey('C', 'o') >> fCo;
    in >> UKey('N', 'S') >> fNS;
    in >> UKey('S', 'X') >> fPageWidth;
    in >> UKey('S', 'Y') >> fPageHeight;
    in >> UKey('E', 'x') >> fExported;
    in >> UKey('M', 'K') >> fMK;
    in >> UKey('R', 'o') >> fRo;

    if (in.Exists(UKey('B', 'X'))) {
        in >> UKey('B', 'X') >> fBleedRight;
        in >> UKey('B', 'Y') >> fBleedTop;
        fBleedLeft = fBleedRight;
        fBleedBottom = fBleedTop;
    } else {
        in >> UKey('B', 'r') >> fBleedRight;
        in >> UKey('B', 'l') >> fBleedLeft;
        in >> UKey('B', 't') >> fBleedTop;
        in >> UKey('B', 'b') >> fBleedBottom;
    }

    if (in.Exists(UKey('T', 'X'))) {
        double typeWidth = 0;
        double typeHeight = 0;
        in >> UKey('T', 'X') >> typeWidth;
        in >> UKey('T', 'Y') >> typeHeight;
        fTypeLeft = fTypeRight = (fPageWidth - typeWidth) / 2;
        fTypeTop = fTypeBottom = (fPageHeight - typeHeight) / 2;
    } else {
        in >> UKey('T', 'r') >> fTypeRight;
        in >> UKey('T', 'l') >> fTypeLeft;
        in >> UKey('T', 't') >> fTypeTop;
        in >> UKey('T', 'b') >> fTypeBottom;
    }

    int number = -1;
    try {
        in >> UKey('I', 'D') >> number;
    } catch (const std::runtime_error&) {
        number = -1;  // longer than an integer: a string identifier
    }
    if (number == -1)
        in >> UKey('I', 'D') >> fIdentifier;
    else
        fIdentifier = ustring("%0").arg(number);

    if (in.Exists(UKey('U', 'F'))) {
        in >> UKeyInStream::StartRecord(UKey('U', 'F'));
        while (in.Next()) {
            USharedDataCmt comment;
            in >> UKey('U', 'P') >> comment.fUP;
            if (comment.fUP.empty() || comment.fUP == USharedDataCmt::kDroppedUP) continue;
            comment.SharedDataCmtKeyStreamIn(in);
            fComments.push_back(comment);
        }
        in.Pop();
    }
}

BDestinationList::~BDestinationList() {
    RemoveAll();
}

void BDestinationList::RemoveAll() {
    for (BDestination* destination : fDestinations) delete destination;
    fDestinations.clear();
}

bool BDestinationList::IsAllExported() const {
    for (const BDestination* destination : fDestinations) {
        if (!destination->IsExported()) return false;
    }
    return true;
}

BExportedDestinationList::~BExportedDestinationList() {
    RemoveAll();
}

void BExportedDestinationList::RemoveAll() {
    for (BExportedDestination* entry : fEntries) delete entry;
    fEntries.clear();
}

void BExportedDestinationList::ExportedDestinationListKeyStreamOut(UKeyOutStream& out) const {
    out << UKeyOutStream::StartRecord(UKey('E', 'L'));
    for (const BExportedDestination* entry : fEntries) {
        out << UKey('I', 'D') << entry->GetID();
        entry->GetPages().PageRangeListKeyStreamOut(out);
    }
    out.Pop();
}

void BExportedDestinationList::ExportedDestinationListKeyStreamIn(UKeyInStream& in) {
    std::vector<std::unique_ptr<BExportedDestination>> read;
    in >> UKeyInStream::StartRecord(UKey('E', 'L'));
    while (in.Next()) {
        auto entry = std::make_unique<BExportedDestination>();
        int id = 0;
        in >> UKey('I', 'D') >> id;
        entry->SetID(id);
        entry->GetPages().PageRangeListKeyStreamIn(in);
        read.push_back(std::move(entry));
    }
    in.Pop();

    // The order of inserting each entry in turn before the first one whose identifier is not
    // smaller, without its quadratic cost on a long hostile list: among equal identifiers the later
    // entry comes first, and entries read go before those already held.
    std::reverse(read.begin(), read.end());
    const auto byID = [](const auto& a, const auto& b) { return a->GetID() < b->GetID(); };
    std::stable_sort(read.begin(), read.end(), byID);
    std::vector<BExportedDestination*> merged;
    merged.reserve(read.size() + fEntries.size());
    auto held = fEntries.begin();
    for (auto& entry : read) {
        while (held != fEntries.end() && (*held)->GetID() < entry->GetID()) merged.push_back(*held++);
        merged.push_back(entry.release());
    }
    merged.insert(merged.end(), held, fEntries.end());
    fEntries = std::move(merged);
}
