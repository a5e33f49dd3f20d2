// Page ranges (document sections and absolute page lists) and the items attached to pages.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "text/ustring.h"

class UKeyOutStream;
class UKeyInStream;

class BPageRange {
public:
    BPageRange() = default;
    virtual ~BPageRange() = default;

    // Fields go into the current record: a range is one run of keys, never a record of its own.
    void PageRangeKeyStreamOut(UKeyOutStream& out, bool withSections) const;
    void PageRangeKeyStreamIn(UKeyInStream& in, bool withSections);

    const ustring& GetSectionName() const { return fSectionName; }
    void SetSectionName(const ustring& name) { fSectionName = name; }
    int GetFirstPage() const { return fFirstPage; }
    void SetFirstPage(int page) { fFirstPage = page; }
    int GetPageCount() const { return fPageCount; }
    void SetPageCount(int count) { fPageCount = count; }
    int GetStyle() const { return fStyle; }
    void SetStyle(int style) { fStyle = style; }
    int GetAbsoluteFirstPage() const { return fAbsoluteFirstPage; }
    void SetAbsoluteFirstPage(int page) { fAbsoluteFirstPage = page; }

private:
    ustring fSectionName;
    int fFirstPage = 0;
    int fPageCount = 0;
    int fStyle = 'N';
    int fAbsoluteFirstPage = 0;
};

// What both range lists share: an ordered list of ranges, deleted with the list.
class BOwnedPageRanges {
public:
    BOwnedPageRanges() = default;
    BOwnedPageRanges(const BOwnedPageRanges&) = delete;
    BOwnedPageRanges& operator=(const BOwnedPageRanges&) = delete;
    virtual ~BOwnedPageRanges() { RemoveAll(); }

    void RemoveAll();
    void Insert(BPageRange* range) { fRanges.push_back(range); }

    size_t size() const { return fRanges.size(); }
    bool empty() const { return fRanges.empty(); }
    const BPageRange& operator[](size_t i) const { return *fRanges[i]; }
    BPageRange& operator[](size_t i) { return *fRanges[i]; }

protected:
    std::vector<BPageRange*> fRanges;
};

// The document's page sections.
class BPageRangeList : public BOwnedPageRanges {
public:
    // Record 'LX', one run per range with its section fields.
    void PageRangeListKeyStreamOutSections(UKeyOutStream& out) const;
    // Appends; absolute first pages number the sections' pages consecutively from 1.
    void PageRangeListKeyStreamInSections(UKeyInStream& in);
};

// Ranges in absolute page numbers.
class BPageRangeAbsoluteList : public BOwnedPageRanges {
public:
    // Record 'PR', one run of 'sS' and 'sN' per range.
    void PageRangeListKeyStreamOut(UKeyOutStream& out) const;
    void PageRangeListKeyStreamIn(UKeyInStream& in);

    int64_t GetAbsolutePageCount() const;
};

// Something attached to a page and written into the plug-in information file.
class BPageItem {
public:
    explicit BPageItem(int page = 0) : fPage(page) {}
    virtual ~BPageItem() = default;
    virtual void PageItemKeyStreamOut(UKeyOutStream& out) const = 0;

    int GetPage() const { return fPage; }
    void SetPage(int page) { fPage = page; }

private:
    int fPage;
};

class BPageItemList {
public:
    BPageItemList() = default;
    virtual ~BPageItemList() = default;

    // Record 140 holding, in list order, the items of that page.
    void PageItemListKeyStreamOut(UKeyOutStream& out, long page) const;

    void Insert(std::shared_ptr<BPageItem> item) { fItems.push_back(std::move(item)); }
    size_t size() const { return fItems.size(); }
    bool empty() const { return fItems.empty(); }

private:
    std::vector<std::shared_ptr<BPageItem>> fItems;
};
