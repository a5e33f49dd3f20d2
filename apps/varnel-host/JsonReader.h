// A JSON text read value by value, straight into the reader's own structures, without a tree in
// between: the grammar of RFC 8259, strictly, with UTF-8 checked in strings and nesting limited.
// Nothing here recurses, so no input can run it out of stack; it reads each byte once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vhost {

class JsonReader {
public:
    enum class Kind { Object, Array, String, Number, Boolean, Null };

    // Errors name `source` and the line and column ("doc.json: line 3, column 7: ...").
    JsonReader(std::string_view text, std::string source, int maxDepth);

    // The kind of the next value, after white space; an error when none starts there.
    Kind peek();

    // An object: beginObject() takes its '{'; each member() then takes the next member's name
    // and its ':' and answers true, or takes the closing '}' and answers false. The name stays
    // valid until the next call.
    void beginObject();
    bool member(std::string_view& name);
    // An array: beginArray() takes its '['; element() answers true before each element and
    // false once it took the closing ']'.
    void beginArray();
    bool element();

    // A string, its escapes decoded.
    std::string string();
    // The same, valid until the next string or member is read.
    std::string_view stringView();
    // A number as the nearest double (±infinity beyond the range); `integral` tells whether it
    // was written without a fraction or an exponent.
    double number(bool& integral);
    bool boolean();
    void null();
    // Skips the next value, whatever it holds, and returns its text.
    std::string_view skip();
    // Only white space may follow the value read.
    void end();

    [[noreturn]] void fail(const std::string& what) const { failAt(at_, what); }
    [[noreturn]] void failAt(std::size_t offset, const std::string& what) const;

private:
    void whiteSpace();
    void expect(char c, const char* what);
    void open(bool object);
    void close();
    // The string at at_, decoded into buffer_ unless it has no escapes; returns its text.
    std::string_view stringText();
    void utf8(std::size_t& i) const;
    unsigned hex4(std::size_t i) const;
    void skipNumber();
    void word(std::string_view word);

    std::string_view text_;
    std::string source_;
    std::size_t at_ = 0;
    int maxDepth_;
    struct Level {
        bool object;
        bool started;  // an element or member has been read from it
    };
    std::vector<Level> levels_;  // the open containers, outermost first
    std::string buffer_;
};

}  // namespace vhost
