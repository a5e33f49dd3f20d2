#include "DocumentJson.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "ActionJson.h"
#include "Icc.h"
#include "JsonReader.h"
#include "JsonText.h"
#include "PlacedArt.h"
#include "support/ReadBudget.h"

namespace vhost {

using nlohmann::json;

namespace {

constexpr const char* kFormat = "varnel-host document 1";
constexpr const char* kProfileSlots[3] = {"rgb", "cmyk", "gray"};
constexpr size_t kMaxSegments = 32767;  // a path's segment count is a 16-bit number
constexpr size_t kMaxArtboards = 1000;

// --- Writing ---

void appendBoolean(std::string& out, bool value) {
    out += value ? "true" : "false";
}

void appendHex(std::string& out, const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    out += '"';
    const size_t at = out.size();
    out.resize(at + 2 * bytes.size());
    char* to = out.data() + at;
    for (const char c : bytes) {
        *to++ = kDigits[static_cast<unsigned char>(c) >> 4];
        *to++ = kDigits[static_cast<unsigned char>(c) & 15];
    }
    out += '"';
}

void appendPoint(std::string& out, const AIRealPoint& p) {
    out += '[';
    appendJsonNumber(out, p.h);
    out += ',';
    appendJsonNumber(out, p.v);
    out += ']';
}

void appendRect(std::string& out, const AIRealRect& r) {
    out += "{\"left\":";
    appendJsonNumber(out, r.left);
    out += ",\"top\":";
    appendJsonNumber(out, r.top);
    out += ",\"right\":";
    appendJsonNumber(out, r.right);
    out += ",\"bottom\":";
    appendJsonNumber(out, r.bottom);
    out += '}';
}

void appendDictionary(std::string& out, const Dictionary& dict) {
    out += '{';
    const char* separator = "";
    for (const auto& [key, entry] : dict) {
        out += separator;
        separator = ",";
        appendJsonString(out, key);
        if (entry.type == DictEntry::Type::Binary) {
            out += ":{\"binary\":";
            appendHex(out, entry.bytes);
            out += '}';
        } else {
            out += entry.flag ? ":{\"boolean\":true}" : ":{\"boolean\":false}";
        }
    }
    out += '}';
}

// The same bits: a handle at -0 where its anchor is at 0 is written out.
bool same(const AIRealPoint& a, const AIRealPoint& b) {
    return std::memcmp(&a.h, &b.h, sizeof a.h) == 0 && std::memcmp(&a.v, &b.v, sizeof a.v) == 0;
}

void appendArt(std::string& out, const Art& art) {
    out += "{\"type\":";
    appendJsonString(out, artTypeName(art.type));
    constexpr std::pair<const char*, int32_t> kAttributes[] = {{",\"selected\":", kArtSelected},
                                                               {",\"locked\":", kArtLocked},
                                                               {",\"hidden\":", kArtHidden},
                                                               {",\"guide\":", kArtIsGuide}};
    for (const auto& [name, bit] : kAttributes) {
        out += name;
        appendBoolean(out, art.has(bit));
    }
    out += ",\"closed\":";
    appendBoolean(out, art.closed);
    out += ",\"dictionary\":";
    appendDictionary(out, art.dictionary);
    if (const auto& p = art.placement) {
        out += ",\"placed\":{\"file\":";
        appendJsonString(out, p->file);
        out += ",\"bounds\":";
        appendRect(out, p->bounds);
        out += ",\"pdf\":";
        appendHex(out, *p->pdf);
        out += '}';
    }
    out += ",\"segments\":[";
    const char* separator = "\n";
    for (const AIPathSegment& s : art.segments) {
        out += separator;
        separator = ",\n";
        out += "{\"p\":";
        appendPoint(out, s.p);
        if (!same(s.in, s.p)) {
            out += ",\"in\":";
            appendPoint(out, s.in);
        }
        if (!same(s.out, s.p)) {
            out += ",\"out\":";
            appendPoint(out, s.out);
        }
        out += s.corner != 0 ? ",\"corner\":true}" : ",\"corner\":false}";
    }
    out += "]}";
}

// Enough for most documents at once: a segment takes some 60 to 150 bytes.
size_t expectedSize(const Document& doc) {
    size_t bytes = 1024;
    for (const Art& art : doc.art) bytes += 160 + 100 * art.segments.size();
    return bytes;
}

// --- Reading ---

// The place being read, as a chain up to the document; its JSON pointer is made only for a message.
struct Where {
    const Where* parent = nullptr;
    std::string_view key;  // a member's name, or empty for an element
    size_t index = 0;

    Where member(std::string_view name) const { return {this, name, 0}; }
    Where element(size_t i) const { return {this, {}, i}; }
    std::string pointer() const {
        if (parent == nullptr) return "/";
        std::string up = parent->parent == nullptr ? "" : parent->pointer();
        return up + "/" + (key.empty() ? std::to_string(index) : std::string(key));
    }
};

// Which of an object's required members were read.
template <size_t N>
class Seen {
public:
    template <class... Names>
    explicit Seen(Names... names) : names_{names...} {}
    void mark(std::string_view name) {
        for (size_t i = 0; i < N; ++i)
            if (name == names_[i]) seen_ |= 1u << i;
    }
    // The first required member not read, or nullptr.
    const char* missing() const {
        for (size_t i = 0; i < N; ++i)
            if ((seen_ & (1u << i)) == 0) return names_[i];
        return nullptr;
    }

private:
    std::array<const char*, N> names_;
    uint32_t seen_ = 0;
};
template <class... Names>
Seen(Names...) -> Seen<sizeof...(Names)>;

class DocumentReader {
public:
    // The document built from a text takes at most this many bytes for each of its bytes; a
    // legal document takes far less (some 2 for paths, 7 for a dictionary of one-letter flags),
    // and with the text itself and the text saved again that is within the 16 times its size a
    // process may spend on an input.
    static constexpr uint64_t kPerTextByte = 8;

    DocumentReader(std::string_view text, const std::string& source)
        : in_(text, source, kMaxJsonDepth), source_(source), budget_(text.size(), kPerTextByte) {}

    Document read() {
        const Where root;
        Document doc;
        if (in_.peek() != JsonReader::Kind::Object) notADocument(root);
        Seen seen{"format", "width", "height", "colorModel", "artboards", "art", "dictionary", "profiles"};
        std::string_view name;
        in_.beginObject();
        while (in_.member(name)) {
            seen.mark(name);
            if (name == "format") {
                if (in_.peek() != JsonReader::Kind::String || in_.stringView() != kFormat) notADocument(root);
            } else if (name == "width") {
                doc.width = number(root.member("width"));
            } else if (name == "height") {
                doc.height = number(root.member("height"));
            } else if (name == "colorModel") {
                bool integral = false;
                const double model = in_.peek() == JsonReader::Kind::Number ? in_.number(integral) : -1;
                if (!integral ||
                    std::string(colorModelName(int16_t(std::clamp(model, -1.0, 3.0)))) == "unknown")
                    fail(root.member("colorModel"), "expected 0 (grey), 1 (RGB) or 2 (CMYK)");
                doc.colorModel = int16_t(model);
            } else if (name == "artboards") {
                const Where at = root.member("artboards");
                doc.artboards.clear();
                array(at, kMaxArtboards, [&](const Where& board) {
                    grow(doc.artboards, "artboards");
                    doc.artboards.push_back(rect(board, "an artboard"));
                });
                if (doc.artboards.empty()) fail(at, "a document has at least one artboard");
            } else if (name == "art") {
                doc.art.clear();
                array(root.member("art"), SIZE_MAX, [&](const Where& item) {
                    grow(doc.art, "art objects");
                    doc.art.push_back(art(item));
                });
            } else if (name == "dictionary") {
                doc.dictionary = dictionary(root.member("dictionary"));
            } else if (name == "profiles") {
                profiles(root.member("profiles"), doc);
            } else if (name == "pdfOptions") {
                const std::string_view options = in_.skip();
                doc.pdfOptions =
                    paramsFromJson(parseJson(std::string(options), source_), source_ + ": /pdfOptions");
            } else {
                in_.skip();
            }
        }
        in_.end();
        if (const char* absent = seen.missing()) {
            if (std::strcmp(absent, "format") == 0) notADocument(root);
            fail(root, std::string("missing \"") + absent + "\"");
        }
        if (doc.width <= 0 || doc.height <= 0) fail(root, "the page size must be positive");
        return doc;
    }

private:
    [[noreturn]] void fail(const Where& where, const std::string& what) const {
        throw std::runtime_error(source_ + ": " + where.pointer() + ": " + what);
    }
    [[noreturn]] void notADocument(const Where& root) const {
        fail(root, std::string("not a varnel-host document (expected \"format\": \"") + kFormat + "\")");
    }
    void charge(uint64_t bytes, const char* what) {
        if (!budget_.take(bytes))
            throw std::runtime_error(source_ + ": too many " + what + " for a file of " +
                                     std::to_string(budget_.inputBytes()) + " bytes");
    }
    // Room for one more element, charged as the vector doubles: the smaller block goes once the
    // elements have moved.
    template <class T>
    void grow(std::vector<T>& v, const char* what) {
        if (v.size() < v.capacity()) return;
        const size_t had = v.capacity(), room = std::max<size_t>(4, 2 * had);
        charge(vnu::HeapBlockCost(room * sizeof(T)) - (had == 0 ? 0 : vnu::HeapBlockCost(had * sizeof(T))),
               what);
        v.reserve(room);
    }

    double number(const Where& at) {
        bool integral = false;
        const double value = in_.peek() == JsonReader::Kind::Number ? in_.number(integral) : NAN;
        if (!std::isfinite(value)) fail(at, "expected a finite number");
        return value;
    }
    bool boolean(const Where& at) {
        if (in_.peek() != JsonReader::Kind::Boolean) fail(at, "expected true or false");
        return in_.boolean();
    }
    std::string_view text(const Where& at) {
        if (in_.peek() != JsonReader::Kind::String) fail(at, "expected a string");
        return in_.stringView();
    }
    std::string hex(const Where& at, size_t maxBytes) {
        const std::string_view digits = text(at);
        if (digits.size() / 2 > maxBytes) fail(at, "more than " + std::to_string(maxBytes) + " bytes");
        if (digits.size() % 2 != 0 || digits.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos)
            fail(at, "expected hexadecimal digits in pairs");
        charge(vnu::TextHeapCost(digits.size() / 2), "bytes");
        std::string bytes(digits.size() / 2, '\0');
        const auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = char(nibble(digits[2 * i]) << 4 | nibble(digits[2 * i + 1]));
        return bytes;
    }
    // Each element of an array of at most `max`, read by `element` at its place.
    template <class Element>
    void array(const Where& at, size_t max, const Element& element) {
        if (in_.peek() != JsonReader::Kind::Array) fail(at, "expected an array");
        in_.beginArray();
        for (size_t i = 0; in_.element(); ++i) {
            if (i == max) fail(at, "more than " + std::to_string(max) + " entries");
            element(at.element(i));
        }
    }
    void object(const Where& at) {
        if (in_.peek() != JsonReader::Kind::Object) fail(at, "expected an object");
        in_.beginObject();
    }

    AIRealPoint point(const Where& at) {
        double xy[2];
        size_t count = 0;
        array(at, 2, [&](const Where& n) { xy[count++] = number(n); });
        if (count != 2) fail(at, "expected [x, y]");
        return {xy[0], xy[1]};
    }

    AIRealRect rect(const Where& at, const char* what) {
        AIRealRect r;
        Seen seen{"left", "top", "right", "bottom"};
        std::string_view name;
        object(at);
        while (in_.member(name)) {
            seen.mark(name);
            double* side = name == "left"     ? &r.left
                           : name == "top"    ? &r.top
                           : name == "right"  ? &r.right
                           : name == "bottom" ? &r.bottom
                                              : nullptr;
            if (side == nullptr)
                in_.skip();
            else
                *side = number(at.member(name));
        }
        if (const char* absent = seen.missing()) fail(at, std::string("missing \"") + absent + "\"");
        if (r.right <= r.left || r.top <= r.bottom)
            fail(at, std::string(what) + " has right > left and top > bottom");
        return r;
    }

    Dictionary dictionary(const Where& at) {
        // A map node: the tree's links and colour, the key and the value.
        constexpr uint64_t kEntryCost =
            vnu::HeapBlockCost(4 * sizeof(void*) + sizeof(Dictionary::value_type));
        Dictionary dict;
        std::string_view name;
        object(at);
        while (in_.member(name)) {
            std::string key(name);
            const Where entryAt = at.member(key);
            DictEntry e;
            bool binary = false, boolean = false;
            if (in_.peek() == JsonReader::Kind::Object) {
                in_.beginObject();
                std::string_view field;
                while (in_.member(field)) {
                    if (field == "binary") {
                        e.bytes = hex(entryAt.member("binary"), SIZE_MAX);
                        binary = true;
                    } else if (field == "boolean") {
                        e.flag = this->boolean(entryAt.member("boolean"));
                        boolean = true;
                    } else {
                        in_.skip();
                    }
                }
            }
            if (!binary && !boolean) fail(entryAt, "expected {\"binary\": HEX} or {\"boolean\": true|false}");
            // An entry of both is the binary one.
            if (binary) {
                e.flag = false;
            } else {
                e.type = DictEntry::Type::Boolean;
            }
            charge(kEntryCost + vnu::TextHeapCost(key.size()), "dictionary entries");
            dict[std::move(key)] = std::move(e);
        }
        return dict;
    }

    void segments(const Where& at, std::vector<AIPathSegment>& out) {
        array(at, kMaxSegments, [&](const Where& item) {
            AIPathSegment s;
            Seen seen{"p", "corner"};
            bool in = false, outHandle = false;
            std::string_view name;
            object(item);
            while (in_.member(name)) {
                seen.mark(name);
                if (name == "p") {
                    s.p = point(item.member("p"));
                } else if (name == "in") {
                    s.in = point(item.member("in"));
                    in = true;
                } else if (name == "out") {
                    s.out = point(item.member("out"));
                    outHandle = true;
                } else if (name == "corner") {
                    s.corner = boolean(item.member("corner")) ? 1 : 0;
                } else {
                    in_.skip();
                }
            }
            if (const char* absent = seen.missing()) fail(item, std::string("missing \"") + absent + "\"");
            // A handle left out sits on its anchor.
            if (!in) s.in = s.p;
            if (!outHandle) s.out = s.p;
            grow(out, "segments");
            out.push_back(s);
        });
    }

    Placement placement(const Where& at) {
        Placement p;
        Seen seen{"file", "bounds", "pdf"};
        std::string_view name;
        object(at);
        while (in_.member(name)) {
            seen.mark(name);
            if (name == "file") {
                p.file = text(at.member("file"));
                charge(vnu::TextHeapCost(p.file.size()), "strings");
            } else if (name == "bounds") {
                p.bounds = rect(at.member("bounds"), "placed art");
            } else if (name == "pdf") {
                const Where pdfAt = at.member("pdf");
                p.pdf = std::make_shared<const std::string>(hex(pdfAt, kMaxPlacedBytes));
                checkPlaceable(p.pdf, source_ + ": " + pdfAt.pointer());
            } else {
                in_.skip();
            }
        }
        if (const char* absent = seen.missing()) fail(at, std::string("missing \"") + absent + "\"");
        return p;
    }

    Art art(const Where& at) {
        Art art;
        Seen seen{"type", "selected", "locked", "hidden", "guide", "closed", "segments", "dictionary"};
        constexpr std::pair<const char*, int32_t> kAttributes[] = {{"selected", kArtSelected},
                                                                   {"locked", kArtLocked},
                                                                   {"hidden", kArtHidden},
                                                                   {"guide", kArtIsGuide}};
        std::optional<Where> segmentsAt, placedAt;
        std::string_view name;
        object(at);
        while (in_.member(name)) {
            seen.mark(name);
            if (name == "type") {
                const Where typeAt = at.member("type");
                const auto type = artTypeFromName(std::string(text(typeAt)));
                if (!type) fail(typeAt, "unknown art type");
                art.type = *type;
            } else if (name == "closed") {
                art.closed = boolean(at.member("closed"));
            } else if (name == "segments") {
                segmentsAt = at.member("segments");
                art.segments.clear();
                segments(*segmentsAt, art.segments);
            } else if (name == "dictionary") {
                art.dictionary = dictionary(at.member("dictionary"));
            } else if (name == "placed") {
                placedAt = at.member("placed");
                art.placement = placement(*placedAt);
            } else {
                bool attribute = false;
                for (const auto& [attributeName, bit] : kAttributes) {
                    if (name != attributeName) continue;
                    const bool set = boolean(at.member(attributeName));
                    art.attributes = set ? art.attributes | bit : art.attributes & ~bit;
                    attribute = true;
                }
                if (!attribute) in_.skip();
            }
        }
        if (const char* absent = seen.missing()) fail(at, std::string("missing \"") + absent + "\"");
        if (!art.segments.empty() && art.type != kPathArt) fail(*segmentsAt, "only paths have segments");
        if (art.placement && art.type != kPlacedArt) fail(*placedAt, "only placed art has a placed file");
        return art;
    }

    void profiles(const Where& at, Document& doc) {
        Seen seen{kProfileSlots[0], kProfileSlots[1], kProfileSlots[2]};
        std::string_view name;
        object(at);
        doc.profiles = {};
        while (in_.member(name)) {
            seen.mark(name);
            int slot = -1;
            for (int i = 0; i < 3; ++i)
                if (name == kProfileSlots[i]) slot = i;
            if (slot < 0) {
                in_.skip();
                continue;
            }
            const Where slotAt = at.member(kProfileSlots[slot]);
            if (in_.peek() == JsonReader::Kind::Null) {
                in_.null();
                doc.profiles[slot].reset();
                continue;
            }
            std::string data = hex(slotAt, SIZE_MAX);
            if (!isIccProfile(data)) fail(slotAt, "not an ICC profile");
            doc.profiles[slot] = std::make_shared<const std::string>(std::move(data));
        }
        if (const char* absent = seen.missing()) fail(at, std::string("missing \"") + absent + "\"");
    }

    JsonReader in_;
    const std::string& source_;
    vnu::ReadBudget budget_;
};

}  // namespace

std::string documentText(const Document& doc, const std::optional<ActionParams>& pdfOptions) {
    std::string out;
    out.reserve(expectedSize(doc));
    out += "{\"format\":";
    appendJsonString(out, kFormat);
    out += ",\n\"width\":";
    appendJsonNumber(out, doc.width);
    out += ",\n\"height\":";
    appendJsonNumber(out, doc.height);
    out += ",\n\"colorModel\":" + std::to_string(doc.colorModel);
    out += ",\n\"artboards\":[";
    const char* separator = "";
    for (const AIRealRect& r : doc.artboards) {
        out += separator;
        separator = ",";
        appendRect(out, r);
    }
    out += "],\n\"art\":[";
    separator = "\n";
    for (const Art& art : doc.art) {
        out += separator;
        separator = ",\n";
        appendArt(out, art);
    }
    out += "],\n\"dictionary\":";
    appendDictionary(out, doc.dictionary);
    out += ",\n\"profiles\":{";
    for (int i = 0; i < 3; ++i) {
        out += i == 0 ? "\"" : ",\"";
        out += kProfileSlots[i];
        out += "\":";
        if (doc.profiles[i])
            appendHex(out, *doc.profiles[i]);
        else
            out += "null";
    }
    out += '}';
    if (pdfOptions) {
        out += ",\n\"pdfOptions\":";
        out += paramsToJson(*pdfOptions).dump();
    }
    out += "}\n";
    return out;
}

std::string documentText(const Document& doc) {
    return documentText(doc, doc.pdfOptions);
}

json documentToJson(const Document& doc) {
    return json::parse(documentText(doc));
}

Document documentFromText(std::string_view text, const std::string& source) {
    return DocumentReader(text, source).read();
}

Document documentFromJson(const json& value, const std::string& source) {
    return documentFromText(value.dump(), source);
}

}  // namespace vhost
