// Character and token readers for small text formats, with byte-order detection of UTF-8 and
// UTF-16 input.
#pragma once

#include <cstdint>
#include <istream>
#include <vector>

#include "text/ustring.h"

class UAbstractParserBase {
public:
    enum Encoding : int { eEncoding_8Bit = 0, eEncoding_UTF16BE = 1, eEncoding_UTF16LE = 2 };

    // Borrows `stream`, which must outlive the parser; `name` only appears in error messages.
    // Throws std::runtime_error("invalid stream") when the stream is already failed or at end.
    UAbstractParserBase(std::istream& stream, const ustring& name);
    UAbstractParserBase(const UAbstractParserBase&) = delete;
    UAbstractParserBase& operator=(const UAbstractParserBase&) = delete;
    virtual ~UAbstractParserBase();

    // The next UTF-8 byte of the text; false at the end of input.
    bool nextChar(char& c);
    bool nextNonSpaceChar(char& c);
    // Zero characters are never put back.
    void putBackChar(char c);

    void skipToNextLine();
    // Up to, not including, the next line end, which stays unread.
    ustring readLine();
    // A quoted string with escapes; adjacent quoted strings are joined. False when the next
    // non-space character is not a quote.
    bool readDoubleQuotedString(ustring& out);

    [[noreturn]] void throwTokenizerException() const;
    // "too many <what> in <name> for an input of <inputBytes> bytes at line <n>": for a reader
    // whose input would build more than its budget allows.
    [[noreturn]] void throwTooMany(const char* what, std::uint64_t inputBytes) const;

    Encoding encoding() const { return m_encoding; }
    unsigned line() const { return m_line; }
    // Bytes taken from the stream so far, byte-order mark included.
    std::uint64_t bytesRead() const { return m_bytesRead; }
    const ustring& name() const { return m_name; }

    static bool isSpace(char c);
    // Bytes above 127 count as word characters so that UTF-8 letters never end a bare word.
    static bool isWordChar(char c);

private:
    void detectEncoding();
    // The UTF-8 form of one UTF-16 unit: 0 bytes for a surrogate, which has no form on its own.
    static int toUtf8(std::uint16_t unit, char (&bytes)[4]);
    // Puts back the UTF-8 form of one unit so that its first byte comes next.
    void putBackUnit(std::uint16_t unit);

    std::istream& m_stream;
    ustring m_name;
    unsigned m_line = 1;
    Encoding m_encoding = eEncoding_8Bit;
    std::vector<char> m_putBack;
    char m_previous = 0;
    bool m_ended = false;
    std::uint64_t m_bytesRead = 0;
};

template <class T>
class UToken {
public:
    void clear() {
        isValid = false;
        type = T();
        text.clear();
    }

    bool isValid = false;
    T type = T();
    ustring text;
};

template <class T>
class UAbstractParser : public UAbstractParserBase {
public:
    using Token = UToken<T>;

    using UAbstractParserBase::UAbstractParserBase;

    bool nextToken(Token& token) {
        if (!m_tokens.empty()) {
            token = m_tokens.back();
            m_tokens.pop_back();
            return true;
        }
        token.clear();
        return parseAToken(token);
    }

    // The next token must exist and be of `type`; otherwise the token read stays unread and the
    // tokenizer error is thrown.
    void nextTokenForced(Token& token, T type) {
        if (!nextToken(token)) throwTokenizerException();
        if (token.type != type) {
            putBackToken(token);
            throwTokenizerException();
        }
    }

    void putBackToken(const Token& token) { m_tokens.push_back(token); }

protected:
    virtual bool parseAToken(Token& token) = 0;

private:
    std::vector<Token> m_tokens;
};

enum string_file_token_type : std::int32_t {
    eStringFileTokenType_String = 1,  // a quoted string or a bare word
    eStringFileTokenType_Equals = 2,
    eStringFileTokenType_Semicolon = 3,
};

// Tokens of a string table: "key" = "value"; with // and /* */ comments.
class Tokenizer : public UAbstractParser<string_file_token_type> {
public:
    using UAbstractParser::UAbstractParser;

protected:
    bool parseAToken(Token& token) override;

private:
    void skipBlockComment();
};
