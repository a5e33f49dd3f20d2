// Inputs at and past the readers' limits: nesting at the limit, one past it and a million levels
// deep (which only a reader that never recurses per level survives), the largest bodies, and text
// that is not UTF-8 or UTF-16.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <tuple>

#include "BJobFile.h"
#include "ByteText.h"
#include "TestFolders.h"
#include "UKeyStream.h"
#include "inspect_runner.h"
#include "message_json.h"
#include "umessage.h"
#include "ustring_load.h"

namespace {

using inspect_test::inspect;
using testing_support::bytes;

constexpr int kMillion = 1000000;

std::string Repeat(const std::string& text, int times) {
    std::string out;
    while (times-- > 0) out += text;
    return out;
}

// A key stream whose root holds a record 'JJ' holding a record 'JJ' ..., `levels` in all.
std::string NestedRecords(int levels) {
    std::string out;
    for (int i = 0; i < levels; ++i) {
        const std::uint32_t content = 8u * static_cast<std::uint32_t>(levels - 1 - i);
        out += i == 0 ? "KS" : "JJ";
        out += '\xFF';
        for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(content >> shift);
        out += '\x06';
    }
    return out;
}

// A flattened message nesting `levels` messages under the name "m".
std::string NestedMessages(int levels) {
    return bytes("04 01 01 'm'") + Repeat(bytes("01 01 05 00 01"), levels) + bytes("00");
}

// JSON of `levels` nested messages; with `arrays`, each nested message and the innermost string
// sit in arrays and the string is given as {"hex"}, the deepest JSON a level can take.
std::string NestedMessageJson(int levels, bool arrays) {
    return Repeat(arrays ? R"({"a": {"message": [)" : R"({"a": {"message": )", levels) +
           (arrays ? R"({"s": {"string": [{"hex": "C328"}]}})" : "{}") +
           Repeat(arrays ? "]}}" : "}}", levels);
}

bool Unflattens(const std::string& data) {
    testing_support::CapturedLog log;
    std::istringstream in(data);
    umessage m;
    return m.unflatten(in);
}

TEST(Nesting, FlattenedMessagesFarPastTheLimitAndWrittenAtAndPastIt) {
    // At the limit and one past it the message tests decide; a reader that recursed would not end.
    EXPECT_FALSE(Unflattens(NestedMessages(kMillion)));

    // The writer refuses what the reader would.
    for (int levels : {umessage::kMaxNesting, umessage::kMaxNesting + 1}) {
        auto inner = std::make_shared<umessage>();
        for (int i = 0; i < levels; ++i) {
            auto outer = std::make_shared<umessage>();
            outer->addData_priv("m", umessage_type_message, std::shared_ptr<umessage>(inner), false);
            inner = outer;
        }
        std::ostringstream out;
        if (levels > umessage::kMaxNesting) {
            EXPECT_THROW(inner->flatten(out), std::invalid_argument);
        } else {
            inner->flatten(out);
            EXPECT_TRUE(Unflattens(out.str()));
        }
    }
}

TEST(Nesting, KeyStreamsAMillionLevelsDeep) {
    const std::string deep = NestedRecords(kMillion);
    std::istringstream is(deep);
    UKeyInStream in(is);
    for (int i = 1; i < UKeyStream::kMaxLevels; ++i) in >> UKeyInStream::StartRecord(UKey('J', 'J'));
    EXPECT_THROW(in >> UKeyInStream::StartRecord(UKey('J', 'J')), std::runtime_error);

    // The job reader opens only the records it knows, however deep the stream goes.
    std::istringstream job(deep);
    BJobFile reply;
    EXPECT_NO_THROW(reply.JobFileReadFromBuffer(job, BJobFile::kFlagFull));

    const auto dump = inspect({"keystream"}, deep);
    EXPECT_EQ(dump.status, 1);
    EXPECT_NE(dump.err.find("containers nested too deeply"), std::string::npos) << dump.err;
}

TEST(Nesting, InspectorJsonAtPastAndFarPastTheLimit) {
    const std::string tooDeep = "nested deeper than " + std::to_string(inspect::kMaxJsonDepth) + " levels";
    const std::string tooManyMessages =
        "messages nested deeper than " + std::to_string(umessage::kMaxNesting) + " levels";
    const struct {
        std::vector<std::string> args;
        std::string json;
        std::string error;  // empty: accepted
    } cases[] = {
        {{"message", "--encode"}, NestedMessageJson(umessage::kMaxNesting, true), ""},
        {{"encode"}, R"({"ticket": )" + NestedMessageJson(umessage::kMaxNesting, true) + "}", ""},
        {{"message", "--encode"}, NestedMessageJson(umessage::kMaxNesting + 1, false), tooManyMessages},
        {{"encode"},
         R"({"ticket": )" + NestedMessageJson(umessage::kMaxNesting + 1, false) + "}",
         tooManyMessages},
        {{"message", "--encode"}, NestedMessageJson(umessage::kMaxNesting + 1, true), tooDeep},
        {{"message", "--encode"}, Repeat("[", kMillion), tooDeep},
        {{"encode"}, Repeat(R"({"":)", kMillion), tooDeep},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.json.substr(0, 40));
        const auto r = inspect(c.args, c.json);
        if (c.error.empty()) {
            ASSERT_EQ(r.status, 0) << r.err;
            const auto back = inspect({c.args[0] == "encode" ? "job" : "message"}, r.out);
            EXPECT_EQ(back.status, 0) << back.err;
            continue;
        }
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(r.err.rfind("stdin: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";
    }
}

TEST(LargestBodies, EntriesInReverseOrderUpToTheLimit) {
    constexpr int kEntries = 0x20000;
    // Three-byte varints: C0 and 21 bits.
    const auto varint = [](int v) {
        return std::string{char(0xC0 | (v >> 16)), char((v >> 8) & 0xFF), char(v & 0xFF)};
    };
    std::string table = bytes("04") + varint(kEntries);
    std::string body = varint(kEntries);
    char name[8];
    for (int i = 0; i < kEntries; ++i) {
        std::snprintf(name, sizeof name, "n%05X", i);
        table += '\x06' + std::string(name, 6);
        // The last name first: int entries, no array flag, one value each.
        body += varint(kEntries - i) + bytes("01 00 01") + char(i & 0x7F);
    }
    std::istringstream in(table + body);
    umessage m;
    ASSERT_TRUE(m.unflatten(in));
    ASSERT_EQ(m.entries().size(), std::size_t(kEntries));
    EXPECT_EQ(m.get<int>("n00000", 0, -1), (kEntries - 1) & 0x7F);
    EXPECT_EQ(m.get<int>("n1FFFF", 0, -1), 0);
}

TEST(LargestBodies, RecordOfEveryKey) {
    // 65536 distinct keys, each with its own value, then the first key again: one run of the
    // whole key space, and a second run of one field.
    std::ostringstream os;
    {
        UKeyOutStream out(os, 0);
        out << UKeyOutStream::StartRecord(UKey('A', 'R'));
        for (unsigned k = 0; k < 65536; ++k) out << UKey(static_cast<unsigned short>(k)) << int(k * 3);
        out << UKey(0) << -1;
    }
    std::istringstream is(os.str());
    UKeyInStream in(is);
    in >> UKeyInStream::StartRecord(UKey('A', 'R'));
    ASSERT_TRUE(in.Next());
    EXPECT_EQ(in.IndexedFields().size(), 65536u);
    int wrong = 0;
    for (int k = 0, v = 0; k < 65536; ++k)
        wrong += (in >> UKey(static_cast<unsigned short>(k)) >> v, v != k * 3);
    EXPECT_EQ(wrong, 0);
    ASSERT_TRUE(in.Next());
    int v = 0;
    in >> UKey(0) >> v;
    EXPECT_EQ(std::tuple(in.IndexedFields().size(), v), std::tuple(1u, -1));
    EXPECT_FALSE(in.Next());
}

// The text of a string table up to where its encoding breaks: tokens before the fault stay.
std::string Tokens(const std::string& table) {
    std::istringstream in(table);
    vnu::flat_map<ustring, ustring> entries;
    std::string out;
    try {
        parseStringTable(in, entries);
    } catch (const std::runtime_error&) {
        out = "!";
    }
    for (const auto& [key, value] : entries) out += key.str() + "=" + value.str() + ";";
    return out;
}

TEST(BadText, StringTablesInBrokenUtf16) {
    // UTF-16 LE after the mark and the entry a=b; each case also runs big-endian. After it: nothing,
    // a lone low surrogate, a high one before a letter, or at the end, a pair, an odd last byte, and
    // a cut inside an entry.
    const std::pair<const char*, const char*> cases[] = {{"", "a=b;"},
                                                         {"00 DC 'c' 00", "a=b;"},
                                                         {"3D D8 'c' 00", "a=b;"},
                                                         {"3D D8", "a=b;"},
                                                         {"3D D8 00 DE", "a=b;"},
                                                         {"'c'", "a=b;"},
                                                         {"'c' 00 '=' 00 00 DC", "!a=b;"}};
    for (const auto& [tail, tokens] : cases) {
        const std::string units = bytes("'a' 00 '=' 00 'b' 00 ';' 00 ") + bytes(tail);
        std::string swapped = units;
        for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
        if (swapped.size() % 2 != 0) swapped.back() = '\0';  // an odd last byte stays odd
        EXPECT_EQ(Tokens(bytes("FF FE") + units), tokens) << tail << " (LE)";
        EXPECT_EQ(Tokens(bytes("FE FF") + swapped), tokens) << tail << " (BE)";
    }
}

TEST(BadText, MessageStringsThatAreNotUtf8KeepTheirBytes) {
    // Overlong, surrogate, beyond U+10FFFF, cut short, a stray continuation byte, never UTF-8.
    for (const char* hex : {"C080", "EDA080", "F4908080", "E282", "80", "FF", "61C3"}) {
        const std::string json = std::string(R"({"s": {"string": {"hex": ")") + hex + R"("}}})";
        const auto encoded = inspect({"message", "--encode"}, json);
        ASSERT_EQ(encoded.status, 0) << encoded.err;
        const auto decoded = inspect({"message"}, encoded.out);
        ASSERT_EQ(decoded.status, 0) << decoded.err;
        EXPECT_EQ(nlohmann::json::parse(decoded.out), nlohmann::json::parse(json)) << hex;
    }
    // Nor does the inspector read JSON that is not UTF-8 or holds half a surrogate pair.
    for (const std::string& json : {std::string("{\"s\": {\"string\": \"\xC0\x80\"}}"),
                                    std::string(R"({"s": {"string": "\ud800"}})")}) {
        const auto r = inspect({"message", "--encode"}, json);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("stdin: JSON: ", 0), 0u) << r.err;
    }
}

}  // namespace
