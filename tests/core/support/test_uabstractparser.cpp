#include "support/UAbstractParser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <stdexcept>
#include <string>

#include "ByteText.h"

namespace {

using E = UAbstractParserBase::Encoding;
using testing_support::bytes;

std::string readAll(UAbstractParserBase& parser) {
    std::string text;
    for (char c; parser.nextChar(c);) text += c;
    return text;
}

// The tokens as "type:text" separated by spaces; a thrown error ends the list as "!message".
std::string tokens(const std::string& input, const char* name = "") {
    std::istringstream in(input);
    Tokenizer tokenizer(in, ustring(name));
    std::string out;
    try {
        for (Tokenizer::Token token; tokenizer.nextToken(token);)
            out += (out.empty() ? "" : " ") + std::to_string(token.type) + ":" + token.text.str();
    } catch (const std::runtime_error& e) {
        out += std::string(out.empty() ? "" : " ") + "!" + e.what();
    }
    return out;
}

TEST(UAbstractParserEncoding, DetectionAndUnits) {
    // Input bytes | encoding | the text read, all as byte text. A missing second byte reads as
    // zero; a zero unit is a character.
    std::istringstream rows(
        "EF BB BF 'ab'|8|'ab',EF BB 'Ab'|8|EF BB 'Ab',FE FF 00 61 00 62|BE|'ab',FE 00 61 00|LE|'a',"
        "FE 'ab'|8|FE 'ab',FF FE 61 00 62 00|LE|'ab',FF 00 61 00|LE|'a',FF 'ab'|8|FF 'ab',"
        "00 61 00 62|BE|'ab',61 00 62 00|LE|'ab',00 E9 00 62|BE|C3 A9 'b',00 00 00 61|BE|'a',"
        "E9 00 62 00|LE|C3 A9 'b','ab'|8|'ab','a'|LE|'a',|BE|,FE FF 00 FC 65 E5|BE|C3 BC E6 97 A5,"
        "FE FF 00 41 00 00 00 42|BE|41 00 42");
    const std::map<std::string, E> encodings{
        {"8", E::eEncoding_8Bit}, {"BE", E::eEncoding_UTF16BE}, {"LE", E::eEncoding_UTF16LE}};
    for (std::string row; std::getline(rows, row, ',');) {
        SCOPED_TRACE(row);
        const size_t bar = row.find('|'), bar2 = row.rfind('|');
        std::istringstream in(bytes(row.substr(0, bar)));
        Tokenizer parser(in, ustring());
        EXPECT_EQ(parser.encoding(), encodings.at(row.substr(bar + 1, bar2 - bar - 1)));
        EXPECT_EQ(readAll(parser), bytes(row.substr(bar2 + 1)));
        char ch;
        EXPECT_FALSE(parser.nextChar(ch));
    }

    std::istringstream failed("abc"), finished("a");
    failed.setstate(std::ios::failbit);
    finished.get();
    finished.peek();  // sets only the end flag
    for (std::istringstream* in : {&failed, &finished})
        EXPECT_THAT([&] { Tokenizer parser(*in, ustring()); },
                    ::testing::ThrowsMessage<std::runtime_error>(::testing::StrEq("invalid stream")));
}

TEST(UAbstractParserChars, LineCounting) {
    const std::pair<std::string, unsigned> cases[] = {
        {"ab\rcd", 2},   {"ab\r\n\r\ncd", 3}, {"ab\n\rcd", 3},
        {"ab\r\rcd", 3}, {"ab\r\n", 2},       {bytes("FF FE 61 00 0D 00 0A 00 FC 00 0A 00"), 3},
        {"\n\nab", 1},  // the two bytes read for the encoding come back uncounted
    };
    for (const auto& [text, lines] : cases) {
        std::istringstream in(text);
        Tokenizer parser(in, ustring());
        readAll(parser);
        EXPECT_EQ(parser.line(), lines) << ::testing::PrintToString(text);
    }
}

TEST(UAbstractParserChars, DoubleQuotedStrings) {
    const struct {
        std::string input;
        bool ok;
        std::string value, rest;
    } cases[] = {
        {R"("a\"b\'c\/d\be\ff\ng\th\ri\qj")", true, "a\"b'c/d\be\ff\ng\th\niqj", ""},
        {"\"abc", true, "abc", ""},
        {"\"\xC3\xBC\\\xC3\xBC\"", true, "\xC3\xBC\xC3\xBC", ""},
        {"  x\"", false, "", "x\""},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.input);
        Tokenizer parser(in, ustring());
        ustring out("previous");
        EXPECT_EQ(parser.readDoubleQuotedString(out), c.ok) << c.input;
        EXPECT_EQ(out.str() + "|" + readAll(parser), c.value + "|" + c.rest) << c.input;
    }
}

TEST(Tokenizer, StringFileTokens) {
    const std::pair<std::string, std::string> cases[] = {
        {"key = \"v\";", "1:key 2:= 1:v 3:;"},
        {"// one\n\"a\" /* two\nthree */ = b_2; /* open", "1:a 2:= 1:b_2 3:;"},
        {"a / b", "1:a 1:b"},
        {"a/", "1:a"},
        {"ab\n# b", "1:ab !unexpected element in stream at line 2"},
        {"", ""},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(tokens(input), expected) << input;
    EXPECT_EQ(tokens("ab\r\n\r\n{", "Menus.strings"), "1:ab !unexpected element in Menus.strings at line 3");
}

}  // namespace
