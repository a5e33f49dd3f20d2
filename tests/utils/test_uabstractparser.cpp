#include "UAbstractParser.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

namespace {

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
    } cases[] = {
        {"\xEF\xBB\xBF"
         "ab",
         E::eEncoding_8Bit, "ab"},
        {"\xEF\xBB"
         "Ab",
         E::eEncoding_8Bit,
         "\xEF\xBB"
         "Ab"},
        {"\xEF"
         "Ab",
         E::eEncoding_8Bit,
         "\xEF"
         "Ab"},
        {std::string("\xFE\xFF\0a\0b", 6), E::eEncoding_UTF16BE, "ab"},
        {std::string("\xFE\0a\0", 4), E::eEncoding_UTF16LE, "a"},
        {"\xFE"
         "ab",
         E::eEncoding_8Bit,
         "\xFE"
         "ab"},
        {std::string("\xFF\xFE"
                     "a\0b\0",
                     6),
         E::eEncoding_UTF16LE, "ab"},
        {std::string("\xFF\0a\0", 4), E::eEncoding_UTF16LE, "a"},
        {"\xFF"
         "ab",
         E::eEncoding_8Bit,
         "\xFF"
         "ab"},
        {std::string("\0a\0b", 4), E::eEncoding_UTF16BE, "ab"},
        {std::string("\0\xE9\0b", 4), E::eEncoding_UTF16BE,
         "\xC3\xA9"
         "b"},
        {std::string("\0\0\0a", 4), E::eEncoding_UTF16BE, "a"},
        {std::string("a\0b\0", 4), E::eEncoding_UTF16LE, "ab"},
        {std::string("\xE9\0b\0", 4), E::eEncoding_UTF16LE,
         "\xC3\xA9"
         "b"},
        {"ab", E::eEncoding_8Bit, "ab"},
        {"a", E::eEncoding_UTF16LE, "a"},  // the missing second byte reads as zero
        {"", E::eEncoding_UTF16BE, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        std::istringstream in(c.bytes);
        Tokenizer parser(in, ustring());
        EXPECT_EQ(parser.encoding(), c.encoding);
        EXPECT_EQ(readAll(parser), c.text);
    }
}

TEST(UAbstractParserEncoding, Utf16UnitsOneAtATime) {
    std::istringstream bmp(std::string("\xFE\xFF\0\xFC\x65\xE5\0\n", 8));
    Tokenizer a(bmp, ustring());
    EXPECT_EQ(readAll(a), "\xC3\xBC\xE6\x97\xA5\n");
    EXPECT_EQ(a.line(), 2u);

    // A character outside the Basic Multilingual Plane ends the text, for good.
    std::istringstream astral(
        std::string("\xFF\xFE"
                    "A\0\x3D\xD8\x00\xDE"
                    "B\0",
                    10));
    Tokenizer b(astral, ustring());
    EXPECT_EQ(readAll(b), "A");
    char c;
    EXPECT_FALSE(b.nextChar(c));

    // A zero unit is a character like any other.
    std::istringstream zero(std::string("\xFE\xFF\0A\0\0\0B", 8));
    Tokenizer z(zero, ustring());
    EXPECT_EQ(readAll(z), std::string("A\0B", 3));

    std::istringstream odd(
        std::string("\xFF\xFE"
                    "A\0B",
                    5));
    Tokenizer d(odd, ustring());
    EXPECT_EQ(readAll(d), "A");
}

TEST(UAbstractParserEncoding, RejectsAFailedOrFinishedStream) {
    std::istringstream failed("abc");
    failed.setstate(std::ios::failbit);
    EXPECT_THROW(
        {
            try {
                Tokenizer parser(failed, ustring());
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "invalid stream");
                throw;
            }
        },
        std::runtime_error);
    std::istringstream finished("a");
    finished.get();
    finished.peek();  // sets only the end flag
    EXPECT_THROW(Tokenizer(finished, ustring()), std::runtime_error);
}

TEST(UAbstractParserChars, LineCounting) {
    struct {
        std::string text;
        unsigned lines;
    } cases[] = {
        {"ab\r\ncd", 2}, {"ab\rcd", 2},   {"ab\ncd", 2}, {"ab\r\n\r\ncd", 3}, {"ab\n\rcd", 3},
        {"ab\r\rcd", 3}, {"ab\n\ncd", 3}, {"ab\r\n", 2}, {"\n\nab", 1},  // the two bytes read for the
                                                                         // encoding come back uncounted
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
    } cases[] = {
        {R"("a\"b\'c\/d\be\ff\ng\th\ri\qj")", true,
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
        {"    ", false, "", ""},
    };
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
    } cases[] = {
        {"key = \"v\";", "1:key 2:= 1:v 3:;"},
        {"\"a\" = \"x\" \"y\";", "1:a 2:= 1:xy 3:;"},
        {"// one\n\"a\" /* two\nthree */ = b_2; /* open", "1:a 2:= 1:b_2 3:;"},
        {"a / b", "1:a 1:b"},
        {"a/", "1:a"},
        {"\"\xD0\xBA\"=\xD0\xB7\xD0\xBD;", "1:\xD0\xBA 2:= 1:\xD0\xB7\xD0\xBD 3:;"},
        {"ab\n# b", "1:ab !unexpected element in stream at line 2"},
        {"", ""},
    };
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
