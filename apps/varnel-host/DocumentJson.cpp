#include "DocumentJson.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "ActionJson.h"
#include "Icc.h"
#include "PlacedArt.h"
#include "support/ReadBudget.h"
#include "support/hexcodec.h"

namespace vhost {

using nlohmann::json;

namespace {

constexpr const char* kFormat = "varnel-host document 1";
constexpr const char* kProfileSlots[3] = {"rgb", "cmyk", "gray"};
constexpr size_t kMaxSegments = 32767;  // a path's segment count is a 16-bit number
constexpr size_t kMaxArtboards = 1000;

json dictionaryToJson(const Dictionary& dict) {
    json out = json::object();
    for (const auto& [key, entry] : dict) {
        if (entry.type == DictEntry::Type::Binary)
            out[key] = {{"binary", vnu::HexEncode(entry.bytes)}};
        else
            out[key] = {{"boolean", entry.flag}};
    }
    return out;
}

json pointJson(const AIRealPoint& p) {
    return json::array({p.h, p.v});
}

json rectJson(const AIRealRect& r) {
    return {{"left", r.left}, {"top", r.top}, {"right", r.right}, {"bottom", r.bottom}};
}

json artToJson(const Art& art) {
    json segments = json::array();
    for (const AIPathSegment& s : art.segments) {
        segments.push_back({{"p", pointJson(s.p)},
                            {"in", pointJson(s.in)},
                            {"out", pointJson(s.out)},
                            {"corner", s.corner != 0}});
    }
    json out = {{"type", artTypeName(art.type)},   {"selected", art.has(kArtSelected)},
                {"locked", art.has(kArtLocked)},   {"hidden", art.has(kArtHidden)},
                {"guide", art.has(kArtIsGuide)},   {"closed", art.closed},
                {"segments", std::move(segments)}, {"dictionary", dictionaryToJson(art.dictionary)}};
    if (const auto& p = art.placement)
        out["placed"] = {
            {"file", p->file}, {"bounds", rectJson(p->bounds)}, {"pdf", vnu::HexEncode(*p->pdf)}};
    return out;
}

// A JSON value and the place it was found, for error messages that say where.
class Node {
public:
    Node(const json& value, std::string source, std::string where)
        : v_(value), source_(std::move(source)), where_(std::move(where)) {}

    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error(source_ + ": " + (where_.empty() ? "/" : where_) + ": " + what);
    }
    Node operator[](const char* key) const {
        if (!v_.is_object()) fail("expected an object");
        const auto it = v_.find(key);
        if (it == v_.end()) fail(std::string("missing \"") + key + "\"");
        return Node(*it, source_, where_ + "/" + key);
    }
    bool has(const char* key) const { return v_.is_object() && v_.contains(key); }
    Node operator[](size_t i) const { return Node(v_[i], source_, where_ + "/" + std::to_string(i)); }
    size_t size(size_t max) const {
        if (!v_.is_array()) fail("expected an array");
        if (v_.size() > max) fail("more than " + std::to_string(max) + " entries");
        return v_.size();
    }
    double number() const {
        if (!v_.is_number() || !std::isfinite(v_.get<double>())) fail("expected a finite number");
        return v_.get<double>();
    }
    bool boolean() const {
        if (!v_.is_boolean()) fail("expected true or false");
        return v_.get<bool>();
    }
    const std::string& text() const {
        if (!v_.is_string()) fail("expected a string");
        return v_.get_ref<const std::string&>();
    }
    std::string hex(size_t maxBytes = SIZE_MAX) const {
        const std::string& t = text();
        if (t.size() / 2 > maxBytes) fail("more than " + std::to_string(maxBytes) + " bytes");
        if (t.size() % 2 != 0 || t.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos)
            fail("expected hexadecimal digits in pairs");
        return vnu::HexDecode(t);
    }
    bool isNull() const { return v_.is_null(); }
    const json& value() const { return v_; }
    const std::string& where() const { return where_; }
    const std::string& source() const { return source_; }

private:
    const json& v_;
    std::string source_;
    std::string where_;
};

Dictionary dictionaryFromJson(const Node& node) {
    if (!node.value().is_object()) node.fail("expected an object");
    Dictionary dict;
    for (const auto& [key, value] : node.value().items()) {
        const Node entry(value, node.source(), node.where() + "/" + key);
        DictEntry e;
        if (entry.has("binary")) {
            e.bytes = entry["binary"].hex();
        } else if (entry.has("boolean")) {
            e.type = DictEntry::Type::Boolean;
            e.flag = entry["boolean"].boolean();
        } else {
            entry.fail("expected {\"binary\": HEX} or {\"boolean\": true|false}");
        }
        dict[key] = std::move(e);
    }
    return dict;
}

AIRealPoint pointFromJson(const Node& node) {
    if (node.size(2) != 2) node.fail("expected [x, y]");
    AIRealPoint p;
    p.h = node[size_t(0)].number();
    p.v = node[size_t(1)].number();
    return p;
}

AIRealRect rectFromJson(const Node& node, const char* what) {
    AIRealRect r;
    r.left = node["left"].number();
    r.top = node["top"].number();
    r.right = node["right"].number();
    r.bottom = node["bottom"].number();
    if (r.right <= r.left || r.top <= r.bottom)
        node.fail(std::string(what) + " has right > left and top > bottom");
    return r;
}

Placement placementFromJson(const Node& node) {
    Placement p;
    p.file = node["file"].text();
    p.bounds = rectFromJson(node["bounds"], "placed art");
    const Node pdf = node["pdf"];
    p.pdf = std::make_shared<const std::string>(pdf.hex(kMaxPlacedBytes));
    checkPlaceable(p.pdf, pdf.source() + ": " + pdf.where());
    return p;
}

Art artFromJson(const Node& node) {
    Art art;
    const auto type = artTypeFromName(node["type"].text());
    if (!type) node["type"].fail("unknown art type");
    art.type = *type;
    constexpr std::pair<const char*, int32_t> kAttributes[] = {
        {"selected", kArtSelected}, {"locked", kArtLocked}, {"hidden", kArtHidden}, {"guide", kArtIsGuide}};
    for (const auto& [name, bit] : kAttributes) {
        if (node[name].boolean()) art.attributes |= bit;
    }
    art.closed = node["closed"].boolean();
    const Node segments = node["segments"];
    const size_t count = segments.size(kMaxSegments);
    if (count != 0 && art.type != kPathArt) segments.fail("only paths have segments");
    for (size_t i = 0; i < count; ++i) {
        const Node s = segments[i];
        AIPathSegment seg;
        seg.p = pointFromJson(s["p"]);
        seg.in = pointFromJson(s["in"]);
        seg.out = pointFromJson(s["out"]);
        seg.corner = s["corner"].boolean() ? 1 : 0;
        art.segments.push_back(seg);
    }
    art.dictionary = dictionaryFromJson(node["dictionary"]);
    if (node.has("placed")) {
        if (art.type != kPlacedArt) node["placed"].fail("only placed art has a placed file");
        art.placement = placementFromJson(node["placed"]);
    }
    return art;
}

// The line and column of byte `offset`, for messages about a place in a file.
std::string placeOf(const std::string& text, size_t offset) {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Where nesting first goes beyond the limit, outside strings; npos when it never does.
size_t tooDeepAt(const std::string& text) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxJsonDepth) return i;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return std::string::npos;
}

// Builds the tree a document's text parses into, as json::parse does, charging it to the text's
// budget as it goes: a value of one or two bytes ("[]", "0,") costs tens of bytes in it. (The
// parser's own callbacks would do, but it then looks through the whole enclosing array at the
// end of every object.)
class TreeBuilder final : public json::json_sax_t {
public:
    // The host holds the text twice while it reads it, and the document read from the tree takes
    // at most two fifths as much again: 2 + 1.4 * 9 is within what a process may spend on an
    // input, 16 times its size, and leaves room for the heap's overhead.
    static constexpr std::uint64_t kPerTextByte = 9;

    TreeBuilder(std::size_t textBytes, const std::string& source)
        : budget_(textBytes, kPerTextByte), source_(source) {}

    json take() { return std::move(root_); }

    bool null() override { return put(json(nullptr), 0, "values"); }
    bool boolean(bool value) override { return put(json(value), 0, "values"); }
    bool number_integer(number_integer_t value) override { return put(json(value), 0, "values"); }
    bool number_unsigned(number_unsigned_t value) override { return put(json(value), 0, "values"); }
    bool number_float(number_float_t value, const string_t&) override {
        return put(json(value), 0, "values");
    }
    bool string(string_t& value) override {
        const std::uint64_t text = vnu::HeapBlockCost(sizeof(string_t)) + vnu::TextHeapCost(value.size());
        return put(json(std::move(value)), text, "values");
    }
    bool binary(binary_t& value) override { return put(json::binary(std::move(value)), 0, "values"); }
    bool start_object(std::size_t) override {
        return open(json::object(), vnu::HeapBlockCost(sizeof(json::object_t)), "objects");
    }
    bool key(string_t& name) override {
        charge(kMemberCost + vnu::TextHeapCost(name.size()), "members");
        member_ = &(*open_.back())[name];
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override {
        return open(json::array(), vnu::HeapBlockCost(sizeof(json::array_t)), "arrays");
    }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override {
        if (const auto* parse = dynamic_cast<const json::parse_error*>(&error)) throw *parse;
        throw error;
    }

private:
    // A map node: the tree's links and colour, the key and the value.
    static constexpr std::uint64_t kMemberCost =
        vnu::HeapBlockCost(4 * sizeof(void*) + sizeof(json::object_t::value_type));

    void charge(std::uint64_t bytes, const char* what) {
        if (!budget_.take(bytes))
            throw std::runtime_error(source_ + ": too many " + what + " for a file of " +
                                     std::to_string(budget_.inputBytes()) + " bytes");
    }
    // Into the open array, whose vector doubles when full, or as the value of the key just read.
    json* place(json&& value, std::uint64_t cost, const char* what) {
        if (open_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        json& parent = *open_.back();
        if (parent.is_array()) {
            auto& elements = parent.get_ref<json::array_t&>();
            if (elements.size() == elements.capacity()) {
                // The smaller block goes as soon as the elements have moved.
                const std::size_t had = elements.capacity();
                const std::size_t room = std::max<std::size_t>(1, 2 * had);
                cost += vnu::HeapBlockCost(room * sizeof(json)) -
                        (had == 0 ? 0 : vnu::HeapBlockCost(had * sizeof(json)));
                charge(cost, what);
                elements.reserve(room);
            } else {
                charge(cost, what);
            }
            elements.push_back(std::move(value));
            return &elements.back();
        }
        charge(cost, what);
        *member_ = std::move(value);
        return member_;
    }
    bool put(json&& value, std::uint64_t cost, const char* what) {
        place(std::move(value), cost, what);
        return true;
    }
    // Nothing is added to a container's parent while it is open, so its place stays put.
    bool open(json&& empty, std::uint64_t cost, const char* what) {
        open_.push_back(place(std::move(empty), cost, what));
        return true;
    }
    bool close() {
        open_.pop_back();
        return true;
    }

    vnu::ReadBudget budget_;
    const std::string& source_;
    json root_;
    std::vector<json*> open_;  // the containers being read, outermost first
    json* member_ = nullptr;   // the value of the key just read
};

}  // namespace

json documentToJson(const Document& doc) {
    json artboards = json::array();
    for (const AIRealRect& r : doc.artboards) artboards.push_back(rectJson(r));
    json art = json::array();
    for (const Art& a : doc.art) art.push_back(artToJson(a));
    json profiles = json::object();
    for (int i = 0; i < 3; ++i)
        profiles[kProfileSlots[i]] = doc.profiles[i] ? json(vnu::HexEncode(*doc.profiles[i])) : json(nullptr);
    json out = {{"format", kFormat},
                {"width", doc.width},
                {"height", doc.height},
                {"colorModel", doc.colorModel},
                {"artboards", std::move(artboards)},
                {"art", std::move(art)},
                {"dictionary", dictionaryToJson(doc.dictionary)},
                {"profiles", std::move(profiles)}};
    if (doc.pdfOptions) out["pdfOptions"] = paramsToJson(*doc.pdfOptions);
    return out;
}

std::string documentText(const Document& doc) {
    return documentToJson(doc).dump(2) + "\n";
}

json parseJson(const std::string& text, const std::string& source) {
    if (const size_t at = tooDeepAt(text); at != std::string::npos) {
        throw std::runtime_error(source + ": " + placeOf(text, at) + ": nesting deeper than " +
                                 std::to_string(kMaxJsonDepth) + " levels");
    }
    try {
        TreeBuilder builder(text.size(), source);
        json::sax_parse(text, &builder);
        return builder.take();
    } catch (const json::exception& e) {
        // "[json.exception.parse_error.101] parse error at line 1, column 2: ..." without its tag,
        // on one line whatever the input held.
        std::string message = e.what();
        if (const auto tagEnd = message.find("] ");
            message.rfind("[json.", 0) == 0 && tagEnd != std::string::npos)
            message.erase(0, tagEnd + 2);
        for (char& c : message) {
            if (uint8_t(c) < 0x20) c = ' ';
        }
        throw std::runtime_error(source + ": " + message);
    }
}

Document documentFromJson(const json& value, const std::string& source) {
    const Node root(value, source, "");
    if (!root.has("format") || !root["format"].value().is_string() || root["format"].text() != kFormat)
        root.fail(std::string("not a varnel-host document (expected \"format\": \"") + kFormat + "\")");
    Document doc;
    doc.width = root["width"].number();
    doc.height = root["height"].number();
    if (doc.width <= 0 || doc.height <= 0) root.fail("the page size must be positive");
    const Node model = root["colorModel"];
    if (!model.value().is_number_integer() ||
        std::string(colorModelName(model.value().get<int>())) == "unknown")
        model.fail("expected 0 (grey), 1 (RGB) or 2 (CMYK)");
    doc.colorModel = int16_t(model.value().get<int>());

    const Node artboards = root["artboards"];
    const size_t boards = artboards.size(kMaxArtboards);
    if (boards == 0) artboards.fail("a document has at least one artboard");
    for (size_t i = 0; i < boards; ++i) doc.artboards.push_back(rectFromJson(artboards[i], "an artboard"));
    const Node art = root["art"];
    const size_t count = art.size(SIZE_MAX);
    for (size_t i = 0; i < count; ++i) doc.art.push_back(artFromJson(art[i]));
    doc.dictionary = dictionaryFromJson(root["dictionary"]);
    const Node profiles = root["profiles"];
    for (int i = 0; i < 3; ++i) {
        const Node slot = profiles[kProfileSlots[i]];
        if (slot.isNull()) continue;
        std::string data = slot.hex();
        if (!isIccProfile(data)) slot.fail("not an ICC profile");
        doc.profiles[i] = std::make_shared<const std::string>(std::move(data));
    }
    if (root.has("pdfOptions"))
        doc.pdfOptions = paramsFromJson(root["pdfOptions"].value(), source + ": /pdfOptions");
    return doc;
}

}  // namespace vhost
