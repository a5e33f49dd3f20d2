// The first page of a PDF as placed art: its size, and the form XObject that draws it elsewhere.
#pragma once

#include <memory>
#include <string>

class QPDF;
class QPDFObjectHandle;

namespace vhost::pdf {

struct PageSize {
    double width = 0;
    double height = 0;
};

// A PDF opened for its first page. Its bytes and the parsed file stay alive with it: a page
// copied into another PDF is read from them when that PDF is written.
class PlacedSource {
public:
    // Throws std::runtime_error naming `source` for bytes that are not a readable PDF (a damaged
    // one is refused rather than guessed at), a PDF without pages, and a first page whose box is
    // empty or not finite.
    PlacedSource(std::shared_ptr<const std::string> pdf, const std::string& source);
    ~PlacedSource();
    PlacedSource(const PlacedSource&) = delete;
    PlacedSource& operator=(const PlacedSource&) = delete;

    // The size the page takes at its natural size: its trim box (else its crop or media box)
    // turned by its /Rotate and scaled by its /UserUnit.
    PageSize size() const { return size_; }
    // The page as a form XObject of `into`, its content and resources copied over; the same
    // object however often it is asked for.
    QPDFObjectHandle copyInto(QPDF& into);

private:
    std::shared_ptr<const std::string> bytes_;
    std::unique_ptr<QPDF> pdf_;
    std::unique_ptr<QPDFObjectHandle> form_;  // in pdf_
    std::string source_;
    PageSize size_;
};

}  // namespace vhost::pdf
