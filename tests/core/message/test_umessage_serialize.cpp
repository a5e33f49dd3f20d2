#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <limits>
#include <numeric>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ByteText.h"
#include "TestFolders.h"
#include "TicketBuilder.h"
#include "message/umessage.h"
#include "message/umessage_image.h"
#include "support/ReadBudget.h"

namespace {

using testing_support::bytes;
using testing_support::spacedHex;
using ticket_builder::Msg;

struct Decoded {
    bool ok;
    umessage msg;
    std::string log;
    // The same bytes read into an image, which must agree: the same verdict, the same message,
    // and the same reason logged.
    bool imageOk = false;
    umessage imageMsg;
    std::string imageLog;
};

Decoded decode(const std::string& data, bool seekable = true) {
    Decoded d{false, Msg().ints("stale", {1}).get(), {}};
    {
        testing_support::CapturedLog log;
        std::istringstream seekableIn(data);
        testing_support::OneWayBuffer buf(data);
        std::istream oneWayIn(&buf);
        d.ok = d.msg.unflatten(seekable ? static_cast<std::istream&>(seekableIn) : oneWayIn);
        d.log = log.text();
    }
    testing_support::CapturedLog log;
    umessage_image image;
    vnu::ReadBudget budget(data.size());
    d.imageOk = image.read(std::string_view(data), budget);
    d.imageMsg = image.root().toMessage();
    d.imageLog = log.text();
    return d;
}

// The reason a failed read logged: the end of its one line.
std::string reason(const std::string& log) {
    const std::size_t at = log.rfind("] ");
    return at == std::string::npos ? log : log.substr(at + 2);
}

void expectImageAgrees(const Decoded& d) {
    EXPECT_EQ(d.imageOk, d.ok);
    EXPECT_TRUE(d.imageMsg == d.msg);
    EXPECT_EQ(reason(d.imageLog), reason(d.log));
}

std::string encode(const umessage& m, int version) {
    std::ostringstream out;
    m.flatten(out, version);
    return out.str();
}

struct Example {
    const char* label;
    int version;
    const char* hex;
    umessage want;
};

// Byte examples that read to the message and that the writer produces byte for byte.
const std::vector<Example>& bothWays() {
    static const std::vector<Example> examples = {
        {"empty", 4, "04 00 00", umessage()},
        {"int array flag 1", 4, "04 01 01 'a' 01 01 01 01 01 05", Msg().ints("a", {5}, true).get()},
        {"int array flag 0", 4, "04 01 01 'a' 01 01 01 00 01 05", Msg().ints("a", {5}).get()},
        {"int 0, -1, 256, 127, max", 4,
         "04 01 01 'a' 01 01 01 01 05 00 F0 FF FF FF FF 81 00 7F F0 7F FF FF FF",
         Msg().ints("a", {0, -1, 256, 127, INT_MAX}).get()},
        {"double 1.5", 4, "04 01 01 'd' 01 01 03 00 01 00 00 00 00 00 00 F8 3F", Msg().num("d", {1.5}).get()},
        {"long long min, -1, 2^56-1", 4,
         "04 01 01 'l' 01 01 06 01 03 FF 80 00 00 00 00 00 00 00 FF FF FF FF FF FF FF FF FF FE FF FF FF FF "
         "FF FF FF",
         Msg().longs("l", {LLONG_MIN, -1, (1LL << 56) - 1}).get()},
        {"bools", 3, "03 01 01 'b' 01 01 02 02 01 00", Msg().flag("b", {true, false}).get()},
        {"strings share the table", 3, "03 02 01 's' 02 'hi' 01 01 04 02 02 02",
         Msg().str("s", {"hi", "hi"}).get()},
        {"type names", 2, "02 02 01 'n' 03 'int' 01 01 02 01 07", Msg().ints("n", {7}).get()},
        {"what in the head", 1, "01 03 05 'hello' 01 'n' 03 'int' 01 01 02 03 01 07",
         Msg().str("what", {"hello"}).ints("n", {7}).get()},
        {"empty what", 1, "01 01 00 01 00", umessage()},
        {"nested", 4, "04 01 01 'm' 01 01 05 00 01 01 01 01 00 01 07",
         Msg().msg("m", {Msg().ints("m", {7})}).get()},
    };
    return examples;
}

// Byte examples written in forms the writer does not choose, or with reader-side rules.
const std::vector<Example>& readOnly() {
    static const std::vector<Example> examples = {
        {"three-byte varint", 4, "04 01 01 'a' 01 01 01 00 01 C0 01 00", Msg().ints("a", {256}).get()},
        {"bool any non-zero", 4, "04 01 01 'b' 01 01 02 00 02 05 00", Msg().flag("b", {true, false}).get()},
        {"largest 64-bit value", 4, "04 01 01 'l' 01 01 06 00 01 FF FF FF FF FF FF FF FF FF",
         Msg().longs("l", {-1}).get()},
        {"empty entries are dropped", 4, "04 02 01 'a' 03 'a/b' 02 01 01 01 00 02 01 00 00", umessage()},
        {"name repeated after a nested body used it", 4,
         "04 02 01 'a' 01 'm' 03 01 01 00 01 01 02 05 00 01 01 01 01 00 01 05 01 01 00 01 02",
         Msg().ints("a", {1, 2}).msg("m", {Msg().ints("a", {5})}).get()},
        {"one text under two indices accumulates in stream order", 4,
         "04 02 01 'a' 01 'a' 03 01 01 00 01 01 02 01 00 01 02 01 01 00 01 03", Msg().ints("a", {1, 2, 3}).get()},
        {"what then entry what", 1, "01 03 01 'x' 04 'what' 06 'string' 01 01 02 03 01 01",
         Msg().str("what", {"x", "x"}).get()},
    };
    return examples;
}

TEST(Unflatten, ByteExamples) {
    for (const auto* table : {&bothWays(), &readOnly()}) {
        for (const auto& ex : *table) {
            SCOPED_TRACE(ex.label);
            const std::string data = bytes(ex.hex);
            Decoded d = decode(data);
            EXPECT_TRUE(d.ok && d.msg == ex.want);
            expectImageAgrees(d);
            if (ex.version == 4) {
                EXPECT_EQ(encode(d.msg, 4), encode(ex.want, 4));  // the array flags too
            }
            EXPECT_EQ(d.log, "");
            if (table == &bothWays()) {
                EXPECT_EQ(spacedHex(encode(ex.want, ex.version)), spacedHex(data));
            }
        }
    }
}

std::string nestedChain(int levels) {
    std::string body = bytes("04 01 01 'm'");
    for (int i = 0; i < levels; ++i) body += bytes("01 01 05 00 01");
    return body + bytes("00");
}

TEST(Unflatten, ShuffledBodiesComeOutInNameOrder) {
    // Bodies large enough to be ordered by rank digits, the largest ranks 14 and 15 bits wide.
    const auto varint = [](unsigned v) {
        if (v < 0x80) return std::string{char(v)};
        return std::string{char(0xC0 | (v >> 16)), char(v >> 8), char(v)};
    };
    for (unsigned n : {5000u, 9000u}) {
        std::vector<unsigned> order(n);
        std::iota(order.begin(), order.end(), 1u);
        std::shuffle(order.begin(), order.end(), std::mt19937(n));
        std::string data = bytes("04") + varint(n);
        Msg want;
        for (unsigned i = 1; i <= n; ++i) {
            const std::string name = "k" + std::to_string(10000 + i);
            data += varint(static_cast<unsigned>(name.size())) + name;
            want.ints(ustring(name), {static_cast<int>(i & 0x7F)});
        }
        data += varint(n);
        for (unsigned i : order) data += varint(i) + bytes("01 00 01") + varint(i & 0x7F);
        const Decoded d = decode(data);
        EXPECT_TRUE(d.ok && d.msg == want.get()) << n << " entries";
        expectImageAgrees(d);
    }
}

TEST(Unflatten, BadInputFailsWithOneErrorLine) {
    const std::string end = "umessage::unflatten() : unexpected end of data";
    const struct {
        const char* label;
        std::string data;
        std::string log;
    } cases[] = {
        {"unknown type name", bytes("02 02 01 'n' 03 'dbl' 01 01 02 01 00"), "unknown type!"},
        {"type id 7", bytes("04 01 01 'a' 01 01 07 00 01 05"), "unknown type!"},
        {"name index 0", bytes("04 01 01 'a' 01 00 01 00 01 05"), "string not found"},
        {"string value index", bytes("04 01 01 's' 01 01 04 00 01 09"), "string not found"},
        {"what index", bytes("01 00 00"), "string not found"},
        {"type id 0, no values", bytes("03 01 01 'a' 01 01 00 00"), "unknown type!"},
        {"second type", bytes("04 01 01 'a' 02 01 01 00 01 05 01 03 00 01 00 00 00 00 00 00 F8 3F"),
         "incompatible type"},
        {"slash in name", bytes("04 01 03 'a/b' 01 01 01 00 01 05"), "empty or invalid name"},
        {"131073 entries", bytes("04 00 C2 00 01"), "umessage::unflatten() : too many entry"},
        {"32-bit field in six bytes", bytes("04 01 01 'a' 01 01 F8 00 00 00 00 01 00 01 05"),
         "umessage::unflatten() : 32-bit field too long"},
        {"65 nested levels", nestedChain(65), "umessage::unflatten() : messages nested too deeply"},
        {"string of 2^40 bytes", bytes("04 01 F9 00 00 00 00 00"), "ustring"},
        {"largest string count", bytes("04 FF FF FF FF FF FF FF FF FF"), end},
        {"131072 entries, ten bytes left", bytes("04 01 01 'a' C2 00 00 01 01 00 00 01 01 00 00 01 01"), end},
        {"largest value count", bytes("04 01 01 'b' 01 01 02 00 FF FF FF FF FF FF FF FF FF 01"),
         "umessage::unflatten() : too many values"},
    };
    for (const auto& c : cases) {
        for (bool seekable : {true, false}) {
            SCOPED_TRACE(std::string(c.label) + (seekable ? " (seekable)" : " (one way)"));
            Decoded d = decode(c.data, seekable);
            EXPECT_FALSE(d.ok);
            EXPECT_TRUE(d.msg.empty());
            const std::size_t at = d.log.find("[umessage_serialize.cpp:unflatten:");
            EXPECT_TRUE(at != std::string::npos && d.log.find("[ERROR]") < at) << d.log;
            EXPECT_TRUE(d.log.ends_with("] " + c.log + "\n")) << d.log;
            EXPECT_EQ(d.log.find('\n'), d.log.size() - 1) << "one line";
            expectImageAgrees(d);
        }
    }
}

TEST(Unflatten, BadVersionFailsSilently) {
    for (const char* hex : {"05 00 00", "00 00 00", "", "F8 00 00 00 00 01 00 00", "F0 00 00 01"}) {
        Decoded d = decode(bytes(hex));
        EXPECT_FALSE(d.ok) << hex;
        EXPECT_TRUE(d.msg.empty() && d.log.empty()) << hex;
        expectImageAgrees(d);
    }
    // Four following bytes hold a 32-bit field; the first byte's bits are beyond it.
    EXPECT_TRUE(decode(bytes("F7 00 00 00 04 00 00")).ok);
}

TEST(Unflatten, EveryTruncationFailsCleanly) {
    std::vector<std::string> inputs{nestedChain(3)};
    for (const auto* table : {&bothWays(), &readOnly()})
        for (const auto& ex : *table) inputs.push_back(bytes(ex.hex));
    for (const auto& data : inputs) {
        for (std::size_t n = 0; n < data.size(); ++n) {
            for (bool seekable : {true, false}) {
                SCOPED_TRACE(spacedHex(data.substr(0, n)));
                Decoded d = decode(data.substr(0, n), seekable);
                EXPECT_FALSE(d.ok);
                EXPECT_TRUE(d.msg.empty());
                EXPECT_EQ(d.log.empty(), n == 0);  // only an input too short to hold its version is silent
                expectImageAgrees(d);
            }
        }
    }
}

// A message takes at most a fixed multiple of its input's size: nested messages the bytes could
// hold but memory could not are refused before they are made. A budget shared with an enclosing
// input keeps what a whole message took, and all of it when the message failed.
TEST(Unflatten, MemoryBoundedByTheInput) {
    const std::string many = bytes("04 01 01 'm' 01 01 05 00 C6 1A 80") + std::string(400000, '\0');
    for (bool seekable : {true, false}) {
        const Decoded d = decode(many, seekable);
        EXPECT_FALSE(d.ok);
        EXPECT_NE(d.log.find("] umessage::unflatten() : too many nested messages for an input of "),
                  std::string::npos);
    }
    EXPECT_TRUE(decode(many).log.ends_with(" of " + std::to_string(many.size()) + " bytes\n"));

    const std::string small = encode(Msg().msg("m", {Msg().ints("a", {1, 2})}).get(), 4);
    vnu::ReadBudget budget(0);
    const auto read = [&](const std::string& data) {
        testing_support::CapturedLog log;
        std::istringstream in(data);
        umessage m;
        return m.unflatten(in, budget);
    };
    ASSERT_TRUE(read(small));
    const std::uint64_t left = budget.left();
    EXPECT_LT(left, vnu::ReadBudget::kAllowance);
    EXPECT_FALSE(read(small.substr(0, small.size() - 1)));
    EXPECT_EQ(budget.left(), left);
    // The same message takes the same again: not a byte less.
    const std::uint64_t taken = vnu::ReadBudget::kAllowance - left;
    budget.setLeft(taken - 1);
    EXPECT_FALSE(read(small));
    budget.setLeft(taken);
    EXPECT_TRUE(read(small));
}

TEST(Unflatten, ReadsExactlyOneMessageFromTheStream) {
    std::istringstream in(bytes("04 01 01 'a' 01 01 01 00 01 05 04 00 00 7A"));
    umessage first, second;
    EXPECT_TRUE(first.unflatten(in) && second.unflatten(in));
    EXPECT_EQ(first.get<int>("a", 0, 0), 5);
    EXPECT_TRUE(second.empty());
    EXPECT_EQ(in.get(), 0x7A);
}

TEST(Flatten, RoundTripsInEveryVersion) {
    const double inf = std::numeric_limits<double>::infinity();
    const Msg leaf = Msg().str("name", {"leaf", ""}).num("inf", {inf, -0.0, 5e-324, -1e308});
    Msg rich = Msg().msg("mid", {Msg().msg("leaf", {leaf}, true).str("what", {"inner what"}), Msg()});
    rich.ints("ints", {INT_MIN, -1, 0, 1, INT_MAX}).ints("one", {1}, true).flag("flags", {true, false, true});
    rich.str("\xc3\xa9t\xc3\xa9", {std::string(300, 'x'), std::string(2000, 'y')})
        .str("what", {"top", "second"});
    // Every shape of a "what" entry, which the oldest format keeps apart.
    std::vector<umessage> messages = {Msg().str("what", {""}).get(), Msg().str("what", {"", "x"}).get(),
                                      Msg().ints("what", {3}).get(), Msg().str("what", {"a", "b", "c"}).get(),
                                      rich.get()};
    for (int version = 1; version <= 4; ++version) {
        if (version == 3)
            messages.back() = Msg(rich.get()).longs("ll", {LLONG_MIN, LLONG_MAX, 0, 1LL << 40}).get();
        for (const umessage& m : messages) {
            Decoded d = decode(encode(m, version));
            EXPECT_TRUE(d.ok && d.msg == m) << version << d.log;
            expectImageAgrees(d);
            if (version == 4) {
                EXPECT_EQ(encode(d.msg, 4), encode(m, 4));
                EXPECT_EQ(encode(d.imageMsg, 4), encode(m, 4));  // the array flags too
            }
        }
    }
    // What a format cannot carry is refused.
    std::ostringstream sink;
    for (int version : {2, 0, 5})
        EXPECT_THROW(Msg().longs("l", {1}).get().flatten(sink, version), std::invalid_argument);
}

}  // namespace
