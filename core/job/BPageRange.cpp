#include "job/BPageRange.h"

#include <memory>

#include "keystream/UKeyStream.h"

namespace {

// A run of one empty field is a page range: charged to the input's budget with its place in the
// list, which may double.
constexpr std::uint64_t kRangeCost = vnu::HeapBlockCost(sizeof(BPageRange)) + 2 * sizeof(BPageRange*);

}  // namespace

void BPageRange::PageRangeKeyStreamOut(UKeyOutStream& out, bool withSections) const {
    out << UKey('s', 'S') << fFirstPage;
    out << UKey('s', 'N') << fPageCount;
    if (withSections) {
        out << UKey('s', 'P') << fSectionName;
        out << UKey('s', 'F') << fStyle;
    }
}

void BPageRange::PageRangeKeyStreamIn(UKeyInStream& in, bool withSections) {
    in >> UKey('s', 'S') >> fFirstPage;
    in >> UKey('s', 'N') >> fPageCount;
    if (withSections) {
        in >> UKey('s', 'P') >> fSectionName;
        int style = 0;
        in >> UKey('s', 'F') >> style;
        fStyle = style;
    }
}

void BOwnedPageRanges::RemoveAll() {
    for (BPageRange* range : fRanges) delete range;
    fRanges.clear();
}

void BPageRangeList::PageRangeListKeyStreamOutSections(UKeyOutStream& out) const {
    out << UKeyOutStream::StartRecord(UKey('L', 'X'));
    for (const BPageRange* range : fRanges) range->PageRangeKeyStreamOut(out, true);
    out.Pop();
}

void BPageRangeList::PageRangeListKeyStreamInSections(UKeyInStream& in) {
    in >> UKeyInStream::StartRecord(UKey('L', 'X'));
    int64_t total = 0;
    while (in.Next()) {
        in.Charge(kRangeCost, "page ranges");
        auto range = std::make_unique<BPageRange>();
        range->SetStyle(0);
        range->PageRangeKeyStreamIn(in, true);
        range->SetAbsoluteFirstPage(static_cast<int>(total + 1));
        total += range->GetPageCount();
        Insert(range.get());  // owned by the list only once it holds it
        range.release();
    }
    in.Pop();
}

void BPageRangeAbsoluteList::PageRangeListKeyStreamOut(UKeyOutStream& out) const {
    out << UKeyOutStream::StartRecord(UKey('P', 'R'));
    for (const BPageRange* range : fRanges) range->PageRangeKeyStreamOut(out, false);
    out.Pop();
}

void BPageRangeAbsoluteList::PageRangeListKeyStreamIn(UKeyInStream& in) {
    in >> UKeyInStream::StartRecord(UKey('P', 'R'));
    while (in.Next()) {
        in.Charge(kRangeCost, "page ranges");
        auto range = std::make_unique<BPageRange>();
        range->SetStyle('+');
        range->PageRangeKeyStreamIn(in, false);
        range->SetAbsoluteFirstPage(range->GetFirstPage());
        Insert(range.get());  // owned by the list only once it holds it
        range.release();
    }
    in.Pop();
}

int64_t BPageRangeAbsoluteList::GetAbsolutePageCount() const {
    int64_t count = 0;
    for (const BPageRange* range : fRanges) count += range->GetPageCount();
    return count;
}

void BPageItemList::PageItemListKeyStreamOut(UKeyOutStream& out, long page) const {
    out << UKeyOutStream::StartRecord(UKey(140));
    for (const auto& item : fItems) {
        if (item && item->GetPage() == page) item->PageItemKeyStreamOut(out);
    }
    out.Pop();
}
