// The host's document model: what a drawing host keeps per document, as far as plug-ins see it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ActionParams.h"
#include "sdk/AITypes.h"

namespace vhost {

struct DictEntry {
    enum class Type { Binary, Boolean };
    Type type = Type::Binary;
    std::string bytes;  // Binary
    bool flag = false;  // Boolean
};
// Sorted by key, so a saved document is the same bytes whatever order entries were set in.
using Dictionary = std::map<std::string, DictEntry>;

// The first page of a PDF placed in a document. The file's bytes are kept whole, so the document
// draws the page wherever it goes, even once the file has moved or changed.
struct Placement {
    std::string file;                        // where it was placed from, absolute
    std::shared_ptr<const std::string> pdf;  // the file as it was placed
    AIRealRect bounds;                       // where the page sits, points, y upwards
};

struct Art {
    uint64_t id = 0;
    int16_t type = kPathArt;
    int32_t attributes = 0;  // kArtSelected, kArtLocked, kArtHidden, kArtIsGuide
    std::vector<AIPathSegment> segments;
    bool closed = false;
    Dictionary dictionary;
    std::optional<Placement> placement;  // placed art only

    bool has(int32_t attribute) const { return (attributes & attribute) != 0; }
};

// An ICC profile as the host holds it: the bytes it was made from.
using Profile = std::shared_ptr<const std::string>;

struct Document {
    uint64_t id = 0;
    std::string file;  // absolute path; empty until saved or when opened as a copy
    int untitled = 0;  // the N of "Untitled-N" for a document made here
    double width = 0;  // the page size given at creation, points
    double height = 0;
    std::vector<AIRealRect> artboards;
    std::vector<Art> art;  // paint order, bottom first
    Dictionary dictionary;
    std::array<Profile, 3> profiles;  // working spaces: RGB, CMYK, grey
    int16_t colorModel = 0;
    bool modified = false;
    // Set while the document's own file is a PDF: the options it was written with, so saving
    // writes a PDF again.
    std::optional<ActionParams> pdfOptions;

    // The file's name, or "Untitled-N".
    std::string title() const;
    Art* findArt(uint64_t artId);
};

// Colour models of a document.
enum : int16_t { kColorModelGray = 0, kColorModelRGB = 1, kColorModelCMYK = 2 };
const char* colorModelName(int16_t model);
const char* artTypeName(int16_t type);
// The art type for a name from artTypeName; nullopt for anything else.
std::optional<int16_t> artTypeFromName(const std::string& name);

// The bounds of a path's anchors (left, top, right, bottom); all zero for no segments.
AIRealRect anchorBounds(const std::vector<AIPathSegment>& segments);

// A new document of width x height points whose one artboard is the page.
Document makeDocument(double width, double height, int16_t colorModel);

}  // namespace vhost
