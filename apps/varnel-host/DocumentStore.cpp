#include "DocumentStore.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "DocumentJson.h"
#include "Handles.h"
#include "HostError.h"
#include "PdfExport.h"
#include "RegularFile.h"
#include "pdf/PdfWriter.h"
#include "support/ReplaceFile.h"

namespace vhost {

namespace {

[[noreturn]] void cantOpen(const std::string& message) {
    throw HostError(kCantOpenFileErr, message);
}

}  // namespace

std::string absolutePath(const std::string& path) {
    return std::filesystem::absolute(path).lexically_normal().string();
}

Document& DocumentStore::add(Document doc) {
    doc.id = newId();
    for (Art& art : doc.art) art.id = newId();
    docs_.push_back(std::make_unique<Document>(std::move(doc)));
    current_ = docs_.back()->id;
    return *docs_.back();
}

Document& DocumentStore::create(double width, double height, int16_t colorModel) {
    if (!(width > 0 && height > 0 && std::isfinite(width) && std::isfinite(height)))
        throw HostError(kBadParameterErr, "a document's width and height must be positive numbers");
    Document doc = makeDocument(width, height, colorModel);
    doc.untitled = ++untitled_;
    return add(std::move(doc));
}

Document& DocumentStore::open(const std::string& path, bool asCopy) {
    const std::string file = absolutePath(path);
    if (!asCopy) {
        for (auto& doc : docs_) {
            if (doc->file == file) {
                current_ = doc->id;
                return *doc;
            }
        }
    }
    Document doc;
    try {
        std::string text = readRegularFile(file);
        const bool isPdf = text.compare(0, 5, "%PDF-") == 0;
        if (isPdf) {
            text = pdf::ReadHostData(file);
            if (text.empty()) cantOpen(file + ": a PDF without a host document inside");
        }
        doc = documentFromText(text, file);
        // A JSON file is the document's own form; only a PDF keeps the options it was written with.
        if (!isPdf) doc.pdfOptions.reset();
    } catch (const HostError&) {
        throw;
    } catch (const std::exception& e) {
        const std::string message = e.what();
        cantOpen(message.find(file) == std::string::npos ? file + ": " + message : message);
    }
    if (asCopy) {
        doc.pdfOptions.reset();
        doc.untitled = ++untitled_;
    } else {
        doc.file = file;
    }
    return add(std::move(doc));
}

void DocumentStore::save(Document& doc, const std::string& path) {
    if (path.empty() && doc.file.empty())
        throw HostError(kCantOpenFileErr, "\"" + doc.title() + "\" has no file yet: save it to a path first");
    try {
        if (!path.empty()) {
            const std::string file = absolutePath(path);
            vnu::ReplaceFileContentsOrThrow(file, documentText(doc, std::nullopt));
            doc.file = file;
            doc.pdfOptions.reset();
        } else if (doc.pdfOptions) {
            doc.pdfOptions = withTarget(*doc.pdfOptions, doc.file);
            writeDocumentPdf(doc, *doc.pdfOptions, log_, "save");
        } else {
            vnu::ReplaceFileContentsOrThrow(doc.file, documentText(doc));
        }
    } catch (const std::exception& e) {
        const std::string message = e.what();
        const std::string& target = path.empty() ? doc.file : path;
        throw HostError(kCantOpenFileErr,
                        message.find(target) == std::string::npos ? target + ": " + message : message);
    }
    doc.modified = false;
}

void DocumentStore::close(uint64_t id) {
    const auto it = std::find_if(docs_.begin(), docs_.end(), [&](const auto& d) { return d->id == id; });
    if (it == docs_.end()) throw HostError(kNoDocumentErr, "no such document");
    docs_.erase(it);
    if (current_ == id) current_ = docs_.empty() ? 0 : docs_.back()->id;
}

Document* DocumentStore::current() {
    return find(current_);
}

Document* DocumentStore::find(uint64_t id) {
    for (auto& doc : docs_) {
        if (doc->id == id) return doc.get();
    }
    return nullptr;
}

}  // namespace vhost
