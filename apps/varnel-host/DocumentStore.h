// The open documents, the current one, and their files.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "Document.h"

namespace vhost {

class DocumentStore {
public:
    // Notes about PDF options the writer ignored go to `log`.
    explicit DocumentStore(std::ostream& log) : log_(log) {}

    // The new document becomes the current one. Throws HostError for a size that is not positive.
    Document& create(double width, double height, int16_t colorModel);
    // Opens a document file (JSON, or a PDF written by the host) and makes it current; a file
    // already open just becomes current. `asCopy` opens it without its file. Throws HostError
    // (kCantOpenFileErr) naming the file and the place; nothing changes then. Anything but a
    // regular file (a FIFO, a device, a socket, a directory) is refused without reading or waiting.
    Document& open(const std::string& path, bool asCopy);
    // Writes the document to `path`, or to its own file when `path` is empty; writing to a path
    // makes it the document's file, as JSON. Throws HostError.
    void save(Document& doc, const std::string& path = std::string());
    void close(uint64_t id);

    Document* current();
    Document* find(uint64_t id);
    void makeCurrent(uint64_t id) { current_ = id; }
    const std::vector<std::unique_ptr<Document>>& all() const { return docs_; }

private:
    Document& add(Document doc);

    std::ostream& log_;
    std::vector<std::unique_ptr<Document>> docs_;
    uint64_t current_ = 0;
    int untitled_ = 0;
};

// `path` made absolute against the working folder.
std::string absolutePath(const std::string& path);

}  // namespace vhost
