#include "Document.h"

#include <algorithm>

namespace vhost {

std::string Document::title() const {
    if (file.empty()) return "Untitled-" + std::to_string(untitled);
    const auto slash = file.rfind('/');
    return slash == std::string::npos ? file : file.substr(slash + 1);
}

Art* Document::findArt(uint64_t artId) {
    for (Art& a : art) {
        if (a.id == artId) return &a;
    }
    return nullptr;
}

const char* colorModelName(int16_t model) {
    switch (model) {
        case kColorModelGray: return "grey";
        case kColorModelRGB: return "RGB";
        case kColorModelCMYK: return "CMYK";
        default: return "unknown";
    }
}

namespace {
constexpr std::pair<int16_t, const char*> kArtTypes[] = {
    {kGroupArt, "group"},    {kPathArt, "path"},     {kCompoundPathArt, "compoundPath"},
    {kTextFrameArt, "text"}, {kPlacedArt, "placed"}, {kRasterArt, "raster"},
};
}  // namespace

const char* artTypeName(int16_t type) {
    for (const auto& [code, name] : kArtTypes) {
        if (code == type) return name;
    }
    return "unknown";
}

std::optional<int16_t> artTypeFromName(const std::string& name) {
    for (const auto& [code, typeName] : kArtTypes) {
        if (name == typeName) return code;
    }
    return std::nullopt;
}

AIRealRect anchorBounds(const std::vector<AIPathSegment>& segments) {
    AIRealRect r;
    if (segments.empty()) return r;
    r.left = r.right = segments[0].p.h;
    r.top = r.bottom = segments[0].p.v;
    for (const AIPathSegment& s : segments) {
        r.left = std::min(r.left, s.p.h);
        r.right = std::max(r.right, s.p.h);
        r.bottom = std::min(r.bottom, s.p.v);
        r.top = std::max(r.top, s.p.v);
    }
    return r;
}

Document makeDocument(double width, double height, int16_t colorModel) {
    Document doc;
    doc.width = width;
    doc.height = height;
    doc.colorModel = colorModel;
    AIRealRect page;
    page.left = 0;
    page.top = height;
    page.right = width;
    page.bottom = 0;
    doc.artboards.push_back(page);
    return doc;
}

}  // namespace vhost
