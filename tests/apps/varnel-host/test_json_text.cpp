// JSON as the host reads and writes its documents without a tree: the reader takes what the
// standard takes and nothing else, and decodes what nlohmann's parser decodes; the writer's
// numbers and strings read back to the very values written.
#include <gmock/gmock.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "JsonReader.h"
#include "JsonText.h"

namespace {

using nlohmann::json;
using vhost::JsonReader;

// The whole text read as one value, or the reader's error.
std::string ReadAll(const std::string& text, int depth = 8) {
    try {
        JsonReader reader(text, "t", depth);
        reader.skip();
        reader.end();
        return "ok";
    } catch (const std::runtime_error& e) {
        return e.what();
    }
}

TEST(JsonReader, TakesWhatTheStandardTakesAndNothingElse) {
    const char* texts[] = {
        "0",
        "-0",
        "-0.0e-0",
        "1E+2",
        "12.5e-3",
        " \t\r\n[ ] ",
        "{}",
        R"([1,[2,{"a":[]}],null,true,false])",
        R"("\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00")",
        "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"",
        // Not JSON.
        "",
        " ",
        "01",
        "-",
        "1.",
        ".5",
        "1e",
        "+1",
        "0x10",
        "NaN",
        "Infinity",
        "tru",
        "nul",
        "[1,]",
        "[,1]",
        "{\"a\":1,}",
        "{\"a\" 1}",
        "{a:1}",
        "{\"a\":1 \"b\":2}",
        "[1] 2",
        "[1",
        "\"abc",
        "'a'",
        "\"\\x\"",
        "\"\\u12G4\"",
        "\"\\ud800\"",
        "\"\\udc00\"",
        "\"\\ud800\\u0041\"",
        "\"\t\"",
        "\"\xC0\x80\"",
        "\"\xED\xA0\x80\"",
        "\"\xF4\x90\x80\x80\"",
        "\"\xE2\x82\"",
        "\"\x80\"",
        "\"\xFF\"",
        "[1]]",
        "{\"a\":1}}",
    };
    for (const std::string text : texts) {
        SCOPED_TRACE(testing::PrintToString(text));
        EXPECT_EQ(ReadAll(text) == "ok", json::accept(text)) << ReadAll(text);
    }
}

TEST(JsonReader, DecodesStringsAndNumbersAsTheStandardParserDoes) {
    const char* strings[] = {R"("")",
                             R"("plain")",
                             R"("a\"b\\c\/d")",
                             R"("\u0000\u001f\u007F")",
                             R"("\u00e9\u20AC\uD83D\uDE00")",
                             "\"\xF0\x9F\x98\x80 \xE2\x82\xAC\""};
    for (const std::string text : strings) {
        JsonReader reader(text, "t", 8);
        EXPECT_EQ(reader.string(), json::parse(text).get<std::string>()) << text;
    }
    const std::pair<const char*, bool> numbers[] = {{"0", true},       {"-0", true},
                                                    {"-0.0", false},   {"123456789012345678", true},
                                                    {"0.1", false},    {"2.5e-3", false},
                                                    {"1E+300", false}, {"4.9406564584124654e-324", false},
                                                    {"1e-400", false}, {"1.7976931348623157e308", false}};
    for (const auto& [text, integral] : numbers) {
        JsonReader reader(text, "t", 8);
        bool isIntegral = !integral;
        const double value = reader.number(isIntegral);
        EXPECT_EQ(value, json::parse(text).get<double>()) << text;
        if (value == 0) {
            EXPECT_EQ(std::signbit(value), text[0] == '-') << text;
        }
        EXPECT_EQ(isIntegral, integral) << text;
    }
    JsonReader huge("1e400", "t", 8);
    bool integral = true;
    EXPECT_EQ(huge.number(integral), std::numeric_limits<double>::infinity());
}

TEST(JsonReader, ErrorsNameTheLineAndColumnAndNestingStopsAtItsLimit) {
    const std::pair<std::string, std::string> cases[] = {
        {"[1,\n  2,\n  x]", "t: line 3, column 3: expected a value, not 'x'"},
        {"{\"a\":\n\"b\x01\"}", "t: line 2, column 3: a control character in a string: byte 0x01"},
        {"[\"abc", "t: line 1, column 2: a string without its closing '\"'"},
        {"\"\\ud800x\"", "t: line 1, column 2: a high surrogate without its low one in a \\u escape"},
        {"[[[[[[[[]]]]]]]]", "ok"},
        {"[[[[[[[[[]]]]]]]]]", "t: line 1, column 9: nesting deeper than 8 levels"},
        {std::string(100000, '['), "t: line 1, column 9: nesting deeper than 8 levels"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ReadAll(text), expected) << text.substr(0, 20);
}

TEST(JsonReader, ReadsObjectsMemberByMemberAndSkipsWhatItIsNotAskedFor) {
    JsonReader reader(R"( {"a" : [1, {"x": [2]}], "\u0062": "t", "c": {}} )", "t", 8);
    std::string_view name;
    std::vector<std::string> names, skipped;
    reader.beginObject();
    while (reader.member(name)) {
        names.emplace_back(name);
        skipped.emplace_back(reader.skip());
    }
    reader.end();
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(skipped, (std::vector<std::string>{R"([1, {"x": [2]}])", R"("t")", "{}"}));
}

TEST(JsonText, NumbersAndStringsReadBackToWhatWasWritten) {
    const double numbers[] = {0.0,          -0.0, 1.0,  -612.0, 0.1,
                              1.0 / 3,      1e21, 1e-7, 5e-324, std::numeric_limits<double>::max(),
                              123456789.125};
    for (const double value : numbers) {
        std::string text;
        vhost::appendJsonNumber(text, value);
        const json back = json::parse(text);
        EXPECT_TRUE(back.is_number_float()) << text;
        EXPECT_EQ(back.get<double>(), value) << text;
        EXPECT_EQ(std::signbit(back.get<double>()), std::signbit(value)) << text;
    }
    std::string infinite;
    vhost::appendJsonNumber(infinite, NAN);
    EXPECT_EQ(infinite, "null");

    const std::string texts[] = {"",
                                 "plain",
                                 std::string("nul\0l", 5),
                                 "quote \" and \\ and /",
                                 "\b\f\n\r\t\x01\x1f\x7f",
                                 "\xC3\xA9\xF0\x9F\x98\x80"};
    for (const std::string& value : texts) {
        std::string text;
        vhost::appendJsonString(text, value);
        EXPECT_EQ(json::parse(text).get<std::string>(), value) << text;
    }
    for (const std::string bad : {"\xC3", "a\x80", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"}) {
        std::string text;
        EXPECT_THROW(vhost::appendJsonString(text, bad), std::runtime_error) << testing::PrintToString(bad);
    }
}

}  // namespace
