// JSON written as the values come: a job of millions of checks never exists as a JSON tree.
// JsonWriter writes the text nlohmann's dump(2, ' ', false, replace) would write for the same
// values, byte for byte; JsonTreeBuilder builds that tree for callers that want one. Both take the
// same calls, so one walk over a job or message feeds either.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace inspect {

// The calls of one JSON text: inside an object, key() comes before each member's value.
class JsonSink {
public:
    virtual ~JsonSink() = default;
    virtual void beginObject() = 0;
    virtual void endObject() = 0;
    virtual void beginArray() = 0;
    virtual void endArray() = 0;
    virtual void key(std::string_view name) = 0;
    // Text that is not UTF-8 is written with U+FFFD for each ill-formed part.
    virtual void string(std::string_view text) = 0;
    virtual void number(long long value) = 0;
    // Infinities and NaN are written as null, as JSON has no other way.
    virtual void number(double value) = 0;
    virtual void boolean(bool value) = 0;
    virtual void null() = 0;

    // Keeps an int from choosing between the long long and double overloads.
    void number(int value) { number(static_cast<long long>(value)); }
    // A literal would otherwise be taken as a bool.
    void member(std::string_view name, const char* text) = delete;
    void member(std::string_view name, std::string_view text) {
        key(name);
        string(text);
    }
    void member(std::string_view name, int value) {
        key(name);
        number(value);
    }
    void member(std::string_view name, double value) {
        key(name);
        number(value);
    }
    void member(std::string_view name, bool value) {
        key(name);
        boolean(value);
    }
};

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF), as the JSON writer judges them.
bool isUtf8(std::string_view text);

// Pretty-prints, two spaces a level, through a buffer of its own. `margin` spaces start every
// line, for a document shown inside another text.
class JsonWriter final : public JsonSink {
public:
    explicit JsonWriter(std::ostream& out, int margin = 0);
    // Writes what is still buffered; the caller checks the stream.
    ~JsonWriter() override;
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    void beginObject() override { open('{'); }
    void endObject() override { close('}'); }
    void beginArray() override { open('['); }
    void endArray() override { close(']'); }
    void key(std::string_view name) override;
    void string(std::string_view text) override;
    void number(long long value) override;
    void number(double value) override;
    void boolean(bool value) override;
    void null() override;
    using JsonSink::number;

    void flush();

private:
    void open(char bracket);
    void close(char bracket);
    // Starts a value: a new line inside an array, nothing after a key.
    void beforeValue();
    void newLine();
    void put(std::string_view text) {
        buffer_.append(text);
        if (buffer_.size() >= kBufferSize) flush();
    }
    void escaped(std::string_view text);

    static constexpr std::size_t kBufferSize = 64 * 1024;
    std::ostream& out_;
    std::string buffer_;
    int margin_;
    // One per open container: whether it has a member yet.
    std::vector<bool> filled_;
    bool afterKey_ = false;
};

// The same values as an nlohmann tree, members in the order given.
class JsonTreeBuilder final : public JsonSink {
public:
    void beginObject() override { open(nlohmann::ordered_json::object()); }
    void endObject() override { open_.pop_back(); }
    void beginArray() override { open(nlohmann::ordered_json::array()); }
    void endArray() override { open_.pop_back(); }
    void key(std::string_view name) override { key_ = name; }
    void string(std::string_view text) override { add(std::string(text)); }
    void number(long long value) override { add(value); }
    void number(double value) override { add(value); }
    void boolean(bool value) override { add(value); }
    void null() override { add(nullptr); }
    using JsonSink::number;

    nlohmann::ordered_json take() { return std::move(root_); }

private:
    nlohmann::ordered_json& add(nlohmann::ordered_json value);
    void open(nlohmann::ordered_json empty) { open_.push_back(&add(std::move(empty))); }

    nlohmann::ordered_json root_;
    std::vector<nlohmann::ordered_json*> open_;
    std::string key_;
};

}  // namespace inspect
