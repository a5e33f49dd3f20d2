#include "job/BDestination.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <memory>
#include <new>
#include <typeinfo>
#include <utility>

#include "job/BGroup.h"
#include "keystream/UKeyStream.h"

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

// Integers come back as their digits; -1, like a field too long for an integer, means the
// identifier travelled as a string.
void ReadIdentifier(UKeyInStream& in, ustring& identifier) {
    UKeyInStream::FieldInfo field;
    int number = -1;
    if (in.PeekField(field) && field.length <= 4) in >> number;
    if (number == -1) {
        in >> identifier;
        return;
    }
    char digits[16];
    const std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, number);
    identifier.assign(digits, static_cast<ustring::size_type>(written.ptr - digits));
}

// Runs of one small field each, charged to the input's budget with their places in their lists;
// a comment's vector and the exported destinations' two lists may double.
constexpr std::uint64_t kCommentCost = 2 * sizeof(USharedDataCmt);
constexpr std::uint64_t kExportedCost =
    vnu::HeapBlockCost(sizeof(BExportedDestination)) + 4 * sizeof(BExportedDestination*);

// Destinations lists have let go of, for the next ones this thread makes.
class Recycled {
public:
    ~Recycled() {
        while (count_ > 0) delete kept_[--count_];
        kept_.reset();
        // A destination released later in the thread's end is deleted.
        closed_ = true;
    }
    BDestination* Take() { return count_ == 0 ? nullptr : kept_[--count_]; }
    bool Keep(BDestination* destination) {
        if (closed_ || count_ == kMost) return false;
        if (kept_ == nullptr) {
            kept_.reset(new (std::nothrow) BDestination*[kMost]);
            if (kept_ == nullptr) return false;
        }
        kept_[count_++] = destination;
        return true;
    }

private:
    // A few thousand destinations' worth; a larger job's extra ones are deleted.
    static constexpr std::size_t kMost = 4096;
    std::unique_ptr<BDestination*[]> kept_;
    std::size_t count_ = 0;
    bool closed_ = false;
};

thread_local Recycled recycled;

}  // namespace

BDestination* BDestination::Make(BJobFile& job) {
    BDestination* destination = recycled.Take();
    if (destination == nullptr) return new BDestination(job);
    destination->fJob = &job;
    return destination;
}

void BDestination::Release(BDestination* destination) noexcept {
    if (destination == nullptr) return;
    if (typeid(*destination) != typeid(BDestination) || !recycled.Keep(destination)) {
        delete destination;
        return;
    }
    destination->Empty();
}

BDestination::BDestination(BJobFile& job) : fJob(&job) {}

BDestination::~BDestination() = default;

std::array<ustring*, 11> BDestination::Texts() noexcept {
    return {&fCountryCode, &fPublisherCode, &fPublisherDetail, &fPublicationCode, &fPublicationDetail,
            &fSectionCode, &fSectionDetail, &fCN, &fNS, &fMK, &fIdentifier};
}

void BDestination::Empty() noexcept {
    // Room a job's usual texts need is kept; a hostile job's long texts are not.
    constexpr ustring::size_type kRoomKept = 64;
    fGroup = nullptr;
    for (ustring* text : Texts()) {
        // Moving the text out takes its room along; assigning an empty one would keep it.
        if (text->capacity() > kRoomKept) ustring gone = std::move(*text);
        text->clear();
    }
    fSt = 0;
    fCo = 0;
    SetPageSize(0, 0);
    fExported = false;
    fRo = false;
    SetBleeds(0, 0, 0, 0);
    SetTypeAreaMargins(0, 0, 0, 0);
    std::vector<USharedDataCmt>().swap(fComments);
    fCheckSettings.Clear();
    fUnstoredInt = 0;
}

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
    // Absent strings read as empty, absent numbers keep their value.
    for (ustring* text : Texts()) text->clear();
    // Older streams give bleeds and type area as a width and a height: those win over the
    // margins, and the type area needs the page size, which may come after it.
    bool bleedAsSize = false;
    bool typeAsSize = false;
    double bleedWidth = fBleedRight;
    double bleedHeight = fBleedTop;
    double typeWidth = 0;
    double typeHeight = 0;
    double margins[8] = {fBleedLeft, fBleedRight, fBleedTop, fBleedBottom,
                         fTypeLeft,  fTypeRight,  fTypeTop,  fTypeBottom};
    UKey key;
    while (in.NextInRun(key)) {
        switch (key) {
            case UKey('C', 'C'): in >> fCountryCode; break;
            case UKey('R', 'C'): in >> fPublisherCode; break;
            case UKey('R', '1'): in >> fPublisherDetail; break;
            case UKey('N', 'C'): in >> fPublicationCode; break;
            case UKey('N', '1'): in >> fPublicationDetail; break;
            case UKey('S', 'C'): in >> fSectionCode; break;
            case UKey('S', '1'): in >> fSectionDetail; break;
            case UKey('S', 't'): in >> fSt; break;
            case UKey('C', 'N'): in >> fCN; break;
            case UKey('C', 'o'): in >> fCo; break;
            case UKey('N', 'S'): in >> fNS; break;
            case UKey('S', 'X'): in >> fPageWidth; break;
            case UKey('S', 'Y'): in >> fPageHeight; break;
            case UKey('E', 'x'): in >> fExported; break;
            case UKey('M', 'K'): in >> fMK; break;
            case UKey('R', 'o'): in >> fRo; break;
            case UKey('B', 'l'): in >> margins[0]; break;
            case UKey('B', 'r'): in >> margins[1]; break;
            case UKey('B', 't'): in >> margins[2]; break;
            case UKey('B', 'b'): in >> margins[3]; break;
            case UKey('T', 'l'): in >> margins[4]; break;
            case UKey('T', 'r'): in >> margins[5]; break;
            case UKey('T', 't'): in >> margins[6]; break;
            case UKey('T', 'b'): in >> margins[7]; break;
            case UKey('B', 'X'):
                bleedAsSize = true;
                in >> bleedWidth;
                break;
            case UKey('B', 'Y'): in >> bleedHeight; break;
            case UKey('T', 'X'):
                typeAsSize = true;
                in >> typeWidth;
                break;
            case UKey('T', 'Y'): in >> typeHeight; break;
            case UKey('I', 'D'): ReadIdentifier(in, fIdentifier); break;
            default: break;
        }
    }
    if (bleedAsSize) {
        fBleedLeft = fBleedRight = bleedWidth;
        fBleedTop = fBleedBottom = bleedHeight;
    } else {
        SetBleeds(margins[0], margins[1], margins[2], margins[3]);
    }
    if (typeAsSize) {
        fTypeLeft = fTypeRight = (fPageWidth - typeWidth) / 2;
        fTypeTop = fTypeBottom = (fPageHeight - typeHeight) / 2;
    } else {
        SetTypeAreaMargins(margins[4], margins[5], margins[6], margins[7]);
    }

    if (in.Exists(UKey('U', 'F'))) {
        in >> UKeyInStream::StartRecord(UKey('U', 'F'));
        while (in.Next()) {
            in.Charge(kCommentCost, "comments");
            USharedDataCmt comment;
            in >> UKey('U', 'P') >> comment.fUP;
            if (comment.fUP.empty() || comment.fUP == USharedDataCmt::kDroppedUP) continue;
            comment.SharedDataCmtKeyStreamIn(in);
            fComments.push_back(std::move(comment));
        }
        in.Pop();
    }
}

BDestinationList::~BDestinationList() {
    RemoveAll();
}

void BDestinationList::RemoveAll() {
    for (BDestination* destination : fDestinations) BDestination::Release(destination);
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
        in.Charge(kExportedCost, "exported destinations");
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
