#include "support/UAbstractParser.h"

#include <stdexcept>
#include <string>

#include "text/ConvertUTF.h"

UAbstractParserBase::UAbstractParserBase(std::istream& stream, const ustring& name)
    : m_stream(stream), m_name(name) {
    // "At end" means the stream has already reported its end. An empty file that was just opened
    // has not, so it reads as an empty text rather than as an error: an empty string table is a
    // table without entries, not a broken one.
    if (!m_stream || m_stream.eof()) throw std::runtime_error("invalid stream");
    detectEncoding();
}

UAbstractParserBase::~UAbstractParserBase() = default;

bool UAbstractParserBase::isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool UAbstractParserBase::isWordChar(char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_' ||
           b >= 0x80;
}

void UAbstractParserBase::putBackChar(char c) {
    if (c != 0) m_putBack.push_back(c);
}

int UAbstractParserBase::toUtf8(std::uint16_t unit, char (&bytes)[4]) {
    const UTF16* source = &unit;
    UTF8 converted[4];
    UTF8* target = converted;
    ConvertUTF16toUTF8(&source, &unit + 1, &target, converted + sizeof converted, strictConversion);
    const int count = static_cast<int>(target - converted);
    for (int i = 0; i < count; ++i) bytes[i] = static_cast<char>(converted[i]);
    return count;
}

void UAbstractParserBase::putBackUnit(std::uint16_t unit) {
    char bytes[4];
    for (int i = toUtf8(unit, bytes); i > 0; --i) putBackChar(bytes[i - 1]);
}

void UAbstractParserBase::detectEncoding() {
    auto readByte = [this]() {
        const int byte = m_stream.get();
        if (byte == std::char_traits<char>::eof()) return 0;
        ++m_bytesRead;
        return byte;
    };
    const int b0 = readByte();
    const int b1 = readByte();
    auto keepBoth = [&]() {
        putBackChar(static_cast<char>(b1));
        putBackChar(static_cast<char>(b0));
    };
    switch (b0) {
        case 0xEF:
            m_encoding = eEncoding_8Bit;
            if (b1 == 0xBB) {
                const int b2 = readByte();
                if (b2 != 0xBF) {
                    putBackChar(static_cast<char>(b2));
                    keepBoth();
                }
            } else {
                keepBoth();
            }
            return;
        case 0xFE:
            if (b1 == 0xFF) {
                m_encoding = eEncoding_UTF16BE;
            } else if (b1 == 0x00) {
                m_encoding = eEncoding_UTF16LE;
            } else {
                m_encoding = eEncoding_8Bit;
                keepBoth();
            }
            return;
        case 0xFF:
            if (b1 == 0xFE || b1 == 0x00) {
                m_encoding = eEncoding_UTF16LE;
            } else {
                m_encoding = eEncoding_8Bit;
                keepBoth();
            }
            return;
        case 0x00:
            m_encoding = eEncoding_UTF16BE;
            putBackUnit(static_cast<std::uint16_t>(b1));
            return;
        default:
            if (b1 == 0x00) {
                m_encoding = eEncoding_UTF16LE;
                putBackUnit(static_cast<std::uint16_t>(b0));
            } else {
                m_encoding = eEncoding_8Bit;
                keepBoth();
            }
            return;
    }
}

bool UAbstractParserBase::nextChar(char& c) {
    if (!m_putBack.empty()) {
        c = m_putBack.back();
        m_putBack.pop_back();
        return true;
    }
    if (m_ended || !m_stream) return false;
    char fresh;
    if (m_encoding == eEncoding_8Bit) {
        if (!m_stream.get(fresh)) return false;
        ++m_bytesRead;
    } else {
        const int first = m_stream.get();
        const int second = m_stream.get();
        if (first == std::char_traits<char>::eof() || second == std::char_traits<char>::eof()) return false;
        m_bytesRead += 2;
        const auto unit = static_cast<std::uint16_t>(m_encoding == eEncoding_UTF16BE ? (first << 8) | second
                                                                                     : (second << 8) | first);
        // Units are converted one at a time: a surrogate has no form of its own and ends the text.
        char bytes[4];
        const int count = toUtf8(unit, bytes);
        if (count == 0) {
            m_ended = true;
            return false;
        }
        fresh = bytes[0];
        for (int i = count - 1; i > 0; --i) putBackChar(bytes[i]);
    }
    if (fresh == '\r' || (fresh == '\n' && m_previous != '\r')) ++m_line;
    m_previous = fresh;
    c = fresh;
    return true;
}

bool UAbstractParserBase::nextNonSpaceChar(char& c) {
    while (nextChar(c)) {
        if (!isSpace(c)) return true;
    }
    return false;
}

ustring UAbstractParserBase::readLine() {
    ustring line;
    char c;
    while (nextChar(c)) {
        if (c == '\n' || c == '\r') {
            putBackChar(c);
            break;
        }
        line += c;
    }
    return line;
}

void UAbstractParserBase::skipToNextLine() {
    readLine();
    char c;
    if (nextNonSpaceChar(c)) putBackChar(c);
}

bool UAbstractParserBase::readDoubleQuotedString(ustring& out) {
    out.clear();
    char c;
    if (!nextNonSpaceChar(c)) return false;
    if (c != '"') {
        putBackChar(c);
        return false;
    }
    while (nextChar(c)) {
        if (c == '\\') {
            if (!nextChar(c)) break;
            switch (c) {
                case 'b': c = 8; break;
                case 'f': c = 12; break;
                case 'n': c = 10; break;
                case 't': c = 9; break;
                case 'r': c = 10; break;  // a line feed, as the tables have always been read
                default: break;           // \" \' \/ and any other character stand for themselves
            }
            out += c;
        } else if (c == '"') {
            if (!nextNonSpaceChar(c)) break;
            if (c != '"') {
                putBackChar(c);
                break;
            }
        } else {
            out += c;
        }
    }
    return true;
}

void UAbstractParserBase::throwTokenizerException() const {
    throw std::runtime_error("unexpected element in " +
                             (m_name.empty() ? std::string("stream") : m_name.str()) + " at line " +
                             std::to_string(m_line));
}

void UAbstractParserBase::throwTooMany(const char* what, std::uint64_t inputBytes) const {
    throw std::runtime_error(std::string("too many ") + what + " in " +
                             (m_name.empty() ? std::string("stream") : m_name.str()) + " for an input of " +
                             std::to_string(inputBytes) + " bytes at line " + std::to_string(m_line));
}

bool Tokenizer::parseAToken(Token& token) {
    char c;
    while (nextNonSpaceChar(c)) {
        switch (c) {
            case '"':
                putBackChar(c);
                if (!readDoubleQuotedString(token.text)) throwTokenizerException();
                token.type = eStringFileTokenType_String;
                token.isValid = true;
                return true;
            case '=':
                token.type = eStringFileTokenType_Equals;
                token.text = "=";
                token.isValid = true;
                return true;
            case ';':
                token.type = eStringFileTokenType_Semicolon;
                token.text = ";";
                token.isValid = true;
                return true;
            case '/': {
                char next;
                if (!nextChar(next)) return false;
                if (next == '/')
                    skipToNextLine();
                else if (next == '*')
                    skipBlockComment();
                else
                    putBackChar(next);  // the lone slash is dropped
                continue;
            }
            default: break;
        }
        if (!isWordChar(c)) throwTokenizerException();
        token.text.clear();
        token.text += c;
        while (nextChar(c)) {
            if (!isWordChar(c)) {
                putBackChar(c);
                break;
            }
            token.text += c;
        }
        token.type = eStringFileTokenType_String;
        token.isValid = true;
        return true;
    }
    return false;
}

void Tokenizer::skipBlockComment() {
    char previous = 0;
    char c;
    while (nextChar(c)) {
        if (previous == '*' && c == '/') return;
        previous = c;
    }
}
