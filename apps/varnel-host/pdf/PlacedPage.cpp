#include "PlacedPage.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFMatrix.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <cmath>
#include <stdexcept>

namespace vhost::pdf {

PlacedSource::PlacedSource(std::shared_ptr<const std::string> pdf, const std::string& source)
    : bytes_(std::move(pdf)), pdf_(std::make_unique<QPDF>()), source_(source) {
    if (bytes_->compare(0, 5, "%PDF-") != 0) throw std::runtime_error(source + ": not a PDF file");
    bool hasPages = false;
    try {
        pdf_->setSuppressWarnings(true);
        pdf_->setAttemptRecovery(false);
        pdf_->processMemoryFile(source.c_str(), bytes_->data(), bytes_->size());
        std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(*pdf_).getAllPages();
        hasPages = !pages.empty();
        if (hasPages) {
            // The form's bounding box is the page's trim box, its matrix the page's turn and unit.
            form_ = std::make_unique<QPDFObjectHandle>(pages.front().getFormXObjectForPage());
            QPDFObjectHandle::Rectangle box = form_->getDict().getKey("/BBox").getArrayAsRectangle();
            if (QPDFObjectHandle matrix = form_->getDict().getKey("/Matrix"); matrix.isMatrix())
                box = QPDFMatrix(matrix.getArrayAsMatrix()).transformRectangle(box);
            size_ = {box.urx - box.llx, box.ury - box.lly};
        }
    } catch (const QPDFExc& e) {
        throw std::runtime_error(source + ": not a readable PDF (" + e.getMessageDetail() + ")");
    } catch (const std::exception& e) {
        throw std::runtime_error(source + ": not a readable PDF (" + e.what() + ")");
    }
    if (!hasPages) throw std::runtime_error(source + ": a PDF without pages");
    if (!(std::isfinite(size_.width) && std::isfinite(size_.height) && size_.width > 0 && size_.height > 0))
        throw std::runtime_error(source + ": the first page's box is empty");
}

PlacedSource::~PlacedSource() = default;

QPDFObjectHandle PlacedSource::copyInto(QPDF& into) {
    try {
        // The source remembers what it copied: asked again, it answers with the first copy.
        return into.copyForeignObject(*form_);
    } catch (const QPDFExc& e) {
        throw std::runtime_error(source_ + ": not a readable PDF (" + e.getMessageDetail() + ")");
    } catch (const std::exception& e) {
        throw std::runtime_error(source_ + ": not a readable PDF (" + e.what() + ")");
    }
}

}  // namespace vhost::pdf
