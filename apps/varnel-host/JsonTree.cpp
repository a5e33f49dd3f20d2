// parseJson: a JSON text as nlohmann's tree, built as the library's own parser builds it but
// charged to a budget of the text's size as it grows.
#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "DocumentJson.h"
#include "support/ReadBudget.h"

namespace vhost {

using nlohmann::json;

namespace {

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

}  // namespace vhost
