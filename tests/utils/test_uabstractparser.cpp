#include "UAbstractParser.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

// Raw bytes given by value, then plain text.
std::string bytes(std::initializer_list<int> raw, const char* text = "") {
    std::string out;
    for (int b : raw) out += static_cast<char>(b);
    return out + text;
}

std::string readAll(UAbstractParserBase& parser) {
    std::string text;
    char c;
    while (parser.nextChar(c)) text += c;
    return text;
}

// The tokens as "type:text" separated by spaces; a thrown error ends the list as "!message".
std::string tokens(const std::string& input, const char* name = "") {
    std::istringstream in(input);
    Tokenizer tokenizer(in, ustring(name));
    std::string out;
    Tokenizer::Token token;
    try {
        while (tokenizer.nextToken(token)) {
            if (!out.empty()) out += ' ';
            out += std::to_string(token.type) + ":" + token.text.str();
        }
    } catch (const std::runtime_error& e) {
        out += std::string(out.empty() ? "" : " ") + "!" + e.what();
    }
    return out;
}

}  // namespace

TEST(UAbstractParserEncoding, DetectionTable) {
    using E = UAbstractParserBase::Encoding;
    struct {
        std::string bytes;
        E encoding;
        std::string text;
    } cases[] = {{bytes({0xEF, 0xBB, 0xBF}, "ab"), E::eEncoding_8Bit, "ab"},
                 {bytes({0xEF, 0xBB}, "Ab"), E::eEncoding_8Bit, bytes({0xEF, 0xBB}, "Ab")},
                 {bytes({0xEF}, "Ab"), E::eEncoding_8Bit, bytes({0xEF}, "Ab")},
                 {bytes({0xFE, 0xFF, 0, 'a', 0, 'b'}), E::eEncoding_UTF16BE, "ab"},
                 {bytes({0xFE, 0, 'a', 0}), E::eEncoding_UTF16LE, "a"},
                 {bytes({0xFE}, "ab"), E::eEncoding_8Bit, bytes({0xFE}, "ab")},
                 {bytes({0xFF, 0xFE, 'a', 0, 'b', 0}), E::eEncoding_UTF16LE, "ab"},
                 {bytes({0xFF, 0, 'a', 0}), E::eEncoding_UTF16LE, "a"},
                 {bytes({0xFF}, "ab"), E::eEncoding_8Bit, bytes({0xFF}, "ab")},
                 {bytes({0, 'a', 0, 'b'}), E::eEncoding_UTF16BE, "ab"},
                 {bytes({0, 0xE9, 0, 'b'}), E::eEncoding_UTF16BE, bytes({0xC3, 0xA9}, "b")},
                 {bytes({0, 0, 0, 'a'}), E::eEncoding_UTF16BE, "a"},
                 {bytes({'a', 0, 'b', 0}), E::eEncoding_UTF16LE, "ab"},
                 {bytes({0xE9, 0, 'b', 0}), E::eEncoding_UTF16LE, bytes({0xC3, 0xA9}, "b")},
                 {"ab", E::eEncoding_8Bit, "ab"},
                 {"a", E::eEncoding_UTF16LE, "a"},  // the missing second byte reads as zero
                 {"", E::eEncoding_UTF16BE, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        std::istringstream in(c.bytes);
        Tokenizer parser(in, ustring());
        EXPECT_EQ(parser.encoding(), c.encoding);
        EXPECT_EQ(readAll(parser), c.text);
    }
}

TEST(UAbstractParserEncoding, Utf16UnitsOneAtATime) {
    struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {bytes({0xFE, 0xFF, 0, 0xFC, 0x65, 0xE5}), bytes({0xC3, 0xBC, 0xE6, 0x97, 0xA5})},
        // A character outside the Basic Multilingual Plane ends the text, for good.
        {bytes({0xFF, 0xFE, 'A', 0, 0x3D, 0xD8, 0x00, 0xDE, 'B', 0}), "A"},
        {bytes({0xFE, 0xFF, 0, 'A', 0, 0, 0, 'B'}), std::string("A\0B", 3)},  // a zero unit is a character
        {bytes({0xFF, 0xFE, 'A', 0, 'B'}), "A"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        std::istringstream in(c.bytes);
        Tokenizer parser(in, ustring());
        EXPECT_EQ(readAll(parser), c.text);
        char ch;
        EXPECT_FALSE(parser.nextChar(ch));
    }
}

TEST(UAbstractParserEncoding, RejectsAFailedOrFinishedStream) {
    std::istringstream failed("abc");
    failed.setstate(std::ios::failbit);
    std::istringstream finished("a");
    finished.get();
    finished.peek();  // sets only the end flag
    for (std::istringstream* in : {&failed, &finished}) {
        try {
            Tokenizer parser(*in, ustring());
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "invalid stream");
        }
    }
}

TEST(UAbstractParserChars, LineCounting) {
    struct {
        std::string text;
        unsigned lines;
    } cases[] = {
        {"ab\r\ncd", 2},
        {"ab\rcd", 2},
        {"ab\ncd", 2},
        {"ab\r\n\r\ncd", 3},
        {"ab\n\rcd", 3},
        {"ab\r\rcd", 3},
        {"ab\n\ncd", 3},
        {"ab\r\n", 2},
        {bytes({0xFF, 0xFE, 'a', 0, '\r', 0, '\n', 0, 0xFC, 0, '\n', 0}), 3},
        {"\n\nab", 1},  // the two bytes read for the encoding come back uncounted
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.text));
        std::istringstream in(c.text);
        Tokenizer parser(in, ustring());
        readAll(parser);
        EXPECT_EQ(parser.line(), c.lines);
    }
}

TEST(UAbstractParserChars, ReadLineAndPutBack) {
    std::istringstream in("ab\r\ncd\nef");
    Tokenizer parser(in, ustring());
    EXPECT_EQ(parser.readLine(), ustring("ab"));
    char c = 0;
    ASSERT_TRUE(parser.nextChar(c));
    EXPECT_EQ(c, '\r');  // the line end stays unread
    EXPECT_EQ(parser.line(), 2u);
    ASSERT_TRUE(parser.nextChar(c));
    EXPECT_EQ(c, '\n');
    EXPECT_EQ(parser.line(), 2u);  // a line feed after a carriage return is not another line

    parser.putBackChar('y');
    parser.putBackChar('\0');  // ignored
    parser.putBackChar('x');
    EXPECT_EQ(parser.readLine(), ustring("xycd"));

    parser.skipToNextLine();
    EXPECT_EQ(parser.line(), 3u);
    EXPECT_TRUE(parser.nextNonSpaceChar(c));
    EXPECT_EQ(c, 'e');
    EXPECT_EQ(parser.readLine(), ustring("f"));
    EXPECT_FALSE(parser.nextChar(c));
}

TEST(UAbstractParserChars, DoubleQuotedStrings) {
    struct {
        std::string input;
        bool ok;
        std::string value;
        std::string rest;
    } cases[] = {{R"("a\"b\'c\/d\be\ff\ng\th\ri\qj")", true,
                  "a\"b'c/d\be\ff\ng\th\ni"
                  "qj",
                  ""},
                 {"  \"x\"  \n \"y\" ;", true, "xy", ";"},
                 {R"("x""y""z")", true, "xyz", ""},
                 {R"("x" = )", true, "x", "= "},
                 {"\"ab\\", true, "ab", ""},
                 {"\"abc", true, "abc", ""},
                 {"\"\xC3\xBC\\\xC3\xBC\"", true, "\xC3\xBC\xC3\xBC", ""},
                 {"  x\"", false, "", "x\""},
                 {"    ", false, "", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        std::istringstream in(c.input);
        Tokenizer parser(in, ustring());
        ustring out("previous");
        EXPECT_EQ(parser.readDoubleQuotedString(out), c.ok);
        EXPECT_EQ(out.str(), c.value);
        EXPECT_EQ(readAll(parser), c.rest);
    }
}

TEST(Tokenizer, StringFileTokens) {
    struct {
        std::string input;
        std::string expected;
    } cases[] = {{"key = \"v\";", "1:key 2:= 1:v 3:;"},
                 {"\"a\" = \"x\" \"y\";", "1:a 2:= 1:xy 3:;"},
                 {"// one\n\"a\" /* two\nthree */ = b_2; /* open", "1:a 2:= 1:b_2 3:;"},
                 {"a / b", "1:a 1:b"},
                 {"a/", "1:a"},
                 {"\"\xD0\xBA\"=\xD0\xB7\xD0\xBD;", "1:\xD0\xBA 2:= 1:\xD0\xB7\xD0\xBD 3:;"},
                 {"ab\n# b", "1:ab !unexpected element in stream at line 2"},
                 {"", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(tokens(c.input), c.expected);
    }
    EXPECT_EQ(tokens("ab\r\n\r\n{", "Menus.strings"), "1:ab !unexpected element in Menus.strings at line 3");
}

TEST(Tokenizer, ForcedTokenStaysUnreadOnMismatch) {
    std::istringstream in("a ;");
    Tokenizer tokenizer(in, ustring());
    Tokenizer::Token token;
    ASSERT_TRUE(tokenizer.nextToken(token));
    EXPECT_TRUE(token.isValid);
    EXPECT_THROW(tokenizer.nextTokenForced(token, eStringFileTokenType_Equals), std::runtime_error);
    tokenizer.nextTokenForced(token, eStringFileTokenType_Semicolon);
    EXPECT_EQ(token.text, ustring(";"));
    try {
        tokenizer.nextTokenForced(token, eStringFileTokenType_String);
        ADD_FAILURE() << "no token left, yet none was reported missing";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "unexpected element in stream at line 1");
    }
}
