// Inputs at and past the readers' limits: nesting at the limit, one past it and a million levels
// deep (which only a reader that never recurses per level survives), and JSON that is not UTF-8.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

#include "ByteText.h"
#include "TestFolders.h"
#include "inspect_runner.h"
#include "job/BJobFile.h"
#include "jobjson/message_json.h"
#include "keystream/UKeyStream.h"
#include "message/umessage.h"

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

TEST(Nesting, FlattenedMessagesFarPastTheLimit) {
    // At the limit and one past it the message tests decide; a reader that recursed would not end.
    EXPECT_FALSE(Unflattens(NestedMessages(kMillion)));
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
        {{"message", "--encode"}, NestedMessageJson(umessage::kMaxNesting + 1, false), tooManyMessages},
        {{"message", "--encode"}, NestedMessageJson(umessage::kMaxNesting + 1, true), tooDeep},
        {{"message", "--encode"}, Repeat("[", kMillion), tooDeep},
        {{"encode"}, Repeat(R"({"":)", kMillion), tooDeep},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.json.substr(0, 40));
        const auto r = inspect(c.args, c.json);
        if (c.error.empty()) {
            ASSERT_EQ(r.status, 0) << r.err;
            const auto back = inspect({"message"}, r.out);
            EXPECT_EQ(back.status, 0) << back.err;
            continue;
        }
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(r.err.rfind("varnel-inspect: stdin: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";
    }
}

TEST(BadText, InspectorRefusesJsonThatIsNotUtf8OrHoldsHalfASurrogatePair) {
    for (const std::string& json : {std::string("{\"s\": {\"string\": \"\xC0\x80\"}}"),
                                    std::string(R"({"s": {"string": "\ud800"}})")}) {
        const auto r = inspect({"message", "--encode"}, json);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("varnel-inspect: stdin: JSON: ", 0), 0u) << r.err;
    }
}

}  // namespace
