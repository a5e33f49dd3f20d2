#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

#include "ulogger.h"
#include "umessage.h"

namespace {

using umessage_details::dyn_array_impl;
using Msg = std::shared_ptr<umessage>;

// Hex bytes separated by spaces; 'text' stands for the bytes of text.
std::string bytes(const std::string& spec) {
    std::string out;
    std::istringstream in(spec);
    std::string token;
    while (in >> token) {
        if (token.front() == '\'')
            out += token.substr(1, token.size() - 2);
        else
            out.push_back(static_cast<char>(std::stoi(token, nullptr, 16)));
    }
    return out;
}

// A stream that cannot seek and hands out one byte per refill, as a pipe would.
class OneWayBuf : public std::streambuf {
public:
    explicit OneWayBuf(std::string data) : data_(std::move(data)) {}

protected:
    int_type underflow() override {
        if (pos_ >= data_.size()) return traits_type::eof();
        char* p = data_.data() + pos_;
        setg(p, p, p + 1);
        ++pos_;
        return traits_type::to_int_type(*p);
    }

private:
    std::string data_;
    std::size_t pos_ = 0;
};

struct Decoded {
    bool ok;
    umessage msg;
    std::string log;
};

Decoded decode(const std::string& data, bool seekable = true) {
    std::ostringstream log;
    std::ostream* saved = vnu::logger.stream();
    vnu::logger.setStream(&log);
    Decoded d{false, {}, {}};
    d.msg.addData_priv<int>("stale", umessage_type_int, 1, false);
    if (seekable) {
        std::istringstream in(data);
        d.ok = d.msg.unflatten(in);
    } else {
        OneWayBuf buf(data);
        std::istream in(&buf);
        d.ok = d.msg.unflatten(in);
    }
    vnu::logger.setStream(saved);
    d.log = log.str();
    return d;
}

std::string encode(const umessage& m, int version) {
    std::ostringstream out;
    m.flatten(out, version);
    return out.str();
}

std::string hexOf(const std::string& data) {
    std::string out;
    char buf[4];
    for (unsigned char c : data) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        out += buf;
    }
    return out;
}

template <class T>
void add(umessage& m, const char* name, umessage_type_id type, std::initializer_list<T> values,
         bool asArray = false) {
    for (const T& v : values) m.addData_priv<T>(name, type, v, asArray);
}

bool isArrayOf(const umessage& m, const char* name) {
    return umessage_details::is_array(*m.entries().find(name)->second);
}

// Equality ignores the array flag; the newest format carries it, so compare it too.
bool sameFlags(const umessage& a, const umessage& b) {
    if (a.entries().size() != b.entries().size()) return false;
    for (auto i = a.entries().begin(), j = b.entries().begin(); i != a.entries().end(); ++i, ++j) {
        if (umessage_details::is_array(*i->second) != umessage_details::is_array(*j->second)) return false;
        if (i->second->type() != umessage_type_message) continue;
        auto& x = dynamic_cast<const dyn_array_impl<Msg>&>(*i->second).values;
        auto& y = dynamic_cast<const dyn_array_impl<Msg>&>(*j->second).values;
        for (std::size_t k = 0; k < x.size(); ++k)
            if (!sameFlags(*x[k], *y[k])) return false;
    }
    return true;
}

struct Example {
    const char* label;
    int version;
    const char* hex;
    std::function<umessage()> build;
};

umessage nestedInt(int v) {
    auto inner = std::make_shared<umessage>();
    add<int>(*inner, "m", umessage_type_int, {v});
    umessage m;
    m.addData_priv<Msg>("m", umessage_type_message, inner, false);
    return m;
}

// Byte examples that read to the message and that the writer produces byte for byte.
const Example kBothWays[] = {
    {"empty", 4, "04 00 00", [] { return umessage(); }},
    {"int array flag 1", 4, "04 01 01 'a' 01 01 01 01 01 05",
     [] {
         umessage m;
         add<int>(m, "a", umessage_type_int, {5}, true);
         return m;
     }},
    {"int array flag 0", 4, "04 01 01 'a' 01 01 01 00 01 05",
     [] {
         umessage m;
         add<int>(m, "a", umessage_type_int, {5});
         return m;
     }},
    {"int 0, -1, 256, 127, max", 4, "04 01 01 'a' 01 01 01 01 05 00 F0 FF FF FF FF 81 00 7F F0 7F FF FF FF",
     [] {
         umessage m;
         add<int>(m, "a", umessage_type_int, {0, -1, 256, 127, INT_MAX});
         return m;
     }},
    {"double 1.5", 4, "04 01 01 'd' 01 01 03 00 01 00 00 00 00 00 00 F8 3F",
     [] {
         umessage m;
         add<double>(m, "d", umessage_type_double, {1.5});
         return m;
     }},
    {"long long min, -1, 2^56-1", 4,
     "04 01 01 'l' 01 01 06 01 03 FF 80 00 00 00 00 00 00 00 FF FF FF FF FF FF FF FF FF FE FF FF FF FF FF FF "
     "FF",
     [] {
         umessage m;
         add<long long>(m, "l", umessage_type_longlong, {LLONG_MIN, -1, (1LL << 56) - 1});
         return m;
     }},
    {"bools", 3, "03 01 01 'b' 01 01 02 02 01 00",
     [] {
         umessage m;
         add<bool>(m, "b", umessage_type_bool, {true, false});
         return m;
     }},
    {"strings share the table", 3, "03 02 01 's' 02 'hi' 01 01 04 02 02 02",
     [] {
         umessage m;
         add<ustring>(m, "s", umessage_type_string, {"hi", "hi"});
         return m;
     }},
    {"type names", 2, "02 02 01 'n' 03 'int' 01 01 02 01 07",
     [] {
         umessage m;
         add<int>(m, "n", umessage_type_int, {7});
         return m;
     }},
    {"what in the head", 1, "01 03 05 'hello' 01 'n' 03 'int' 01 01 02 03 01 07",
     [] {
         umessage m;
         add<ustring>(m, "what", umessage_type_string, {"hello"});
         add<int>(m, "n", umessage_type_int, {7});
         return m;
     }},
    {"empty what", 1, "01 01 00 01 00", [] { return umessage(); }},
    {"nested", 4, "04 01 01 'm' 01 01 05 00 01 01 01 01 00 01 07", [] { return nestedInt(7); }},
};

// Byte examples written in forms the writer does not choose, or with reader-side rules.
const Example kReadOnly[] = {
    {"three-byte varint", 4, "04 01 01 'a' 01 01 01 00 01 C0 01 00",
     [] {
         umessage m;
         add<int>(m, "a", umessage_type_int, {256});
         return m;
     }},
    {"long forms of small counts", 4, "04 80 01 01 'a' 80 01 01 F0 00 00 00 01 00 80 01 05",
     [] {
         umessage m;
         add<int>(m, "a", umessage_type_int, {5});
         return m;
     }},
    {"bool any non-zero", 4, "04 01 01 'b' 01 01 02 00 02 05 00",
     [] {
         umessage m;
         add<bool>(m, "b", umessage_type_bool, {true, false});
         return m;
     }},
    {"largest 64-bit value", 4, "04 01 01 'l' 01 01 06 00 01 FF FF FF FF FF FF FF FF FF",
     [] {
         umessage m;
         add<long long>(m, "l", umessage_type_longlong, {-1});
         return m;
     }},
    {"repeated names accumulate", 4, "04 01 01 'a' 02 01 01 00 01 01 01 01 00 02 02 03",
     [] {
         umessage m;
         add<int>(m, "a", umessage_type_int, {1, 2, 3});
         return m;
     }},
    {"empty entries are dropped", 4, "04 02 01 'a' 03 'a/b' 02 01 01 01 00 02 01 00 00",
     [] { return umessage(); }},
    {"names out of order", 4, "04 02 01 'b' 01 'a' 02 01 01 00 01 01 02 01 00 01 02",
     [] {
         umessage m;
         add<int>(m, "a", umessage_type_int, {2});
         add<int>(m, "b", umessage_type_int, {1});
         return m;
     }},
    {"one name under two indices", 4, "04 02 01 'a' 01 'a' 02 02 01 00 01 01 01 01 00 01 02",
     [] {
         umessage m;
         add<int>(m, "a", umessage_type_int, {1, 2});
         return m;
     }},
    {"name repeated after a nested body used it", 4,
     "04 02 01 'a' 01 'm' 03 01 01 00 01 01 02 05 00 01 01 01 01 00 01 05 01 01 00 01 02",
     [] {
         umessage m;
         add<int>(m, "a", umessage_type_int, {1, 2});
         auto inner = std::make_shared<umessage>();
         add<int>(*inner, "a", umessage_type_int, {5});
         m.addData_priv<Msg>("m", umessage_type_message, inner, false);
         return m;
     }},
    {"what then entry what", 1, "01 03 01 'x' 04 'what' 06 'string' 01 01 02 03 01 01",
     [] {
         umessage m;
         add<ustring>(m, "what", umessage_type_string, {"x", "x"});
         return m;
     }},
};

TEST(Unflatten, ByteExamplesBothWays) {
    for (const auto& ex : kBothWays) {
        SCOPED_TRACE(ex.label);
        const std::string data = bytes(ex.hex);
        const umessage want = ex.build();
        Decoded d = decode(data);
        EXPECT_TRUE(d.ok);
        EXPECT_TRUE(d.msg == want);
        EXPECT_TRUE(sameFlags(d.msg, want) || ex.version < 4);
        EXPECT_EQ(d.log, "");
        EXPECT_EQ(hexOf(encode(want, ex.version)), hexOf(data));
    }
}

TEST(Unflatten, ByteExamplesReadOnly) {
    for (const auto& ex : kReadOnly) {
        SCOPED_TRACE(ex.label);
        Decoded d = decode(bytes(ex.hex));
        EXPECT_TRUE(d.ok);
        EXPECT_TRUE(d.msg == ex.build());
        EXPECT_EQ(d.log, "");
    }
}

TEST(Unflatten, ArrayFlagAndAccumulation) {
    Decoded d = decode(bytes("04 01 01 'a' 01 01 01 01 01 05"));
    EXPECT_TRUE(isArrayOf(d.msg, "a"));
    d = decode(bytes("04 01 01 'a' 01 01 01 00 01 05"));
    EXPECT_FALSE(isArrayOf(d.msg, "a"));
    // The flag on a later single-value occurrence marks the accumulated entry.
    d = decode(bytes("04 01 01 'a' 02 01 01 00 01 01 01 01 01 01 02"));
    EXPECT_TRUE(isArrayOf(d.msg, "a"));
}

TEST(Unflatten, AllVersionTwoTypeNames) {
    Decoded d = decode(
        bytes("02 07 01 'b' 04 'bool' 05 'float' 06 'string' 08 'umessage' 03 'int' 01 'n' 05 01 02 01 01 "
              "03 03 01 00 00 00 00 00 00 F8 3F 07 04 01 02 04 05 01 00 06 06 01 07"));
    ASSERT_TRUE(d.ok) << d.log;
    EXPECT_TRUE(d.msg.hasData("b", umessage_type_bool, 0));
    EXPECT_TRUE(d.msg.hasData("float", umessage_type_double, 0));
    EXPECT_EQ(d.msg.get<double>("float", 0, 0), 1.5);
    EXPECT_EQ(d.msg.get<ustring>("n", 0, ""), "bool");
    EXPECT_TRUE(d.msg.hasData("string", umessage_type_message, 0));
    EXPECT_EQ(d.msg.get<int>("int", 0, 0), 7);
}

struct Failure {
    const char* label;
    std::string data;
    const char* log;
};

std::string nestedChain(int levels) {
    std::string body;
    for (int i = 0; i < levels; ++i) body += bytes("01 01 05 00 01");
    body += bytes("00");
    return bytes("04 01 01 'm'") + body;
}

TEST(Unflatten, BadInputFailsWithOneErrorLine) {
    const Failure cases[] = {
        {"unknown type name", bytes("02 02 01 'n' 03 'dbl' 01 01 02 01 00"), "unknown type!"},
        {"type id 7", bytes("04 01 01 'a' 01 01 07 00 01 05"), "unknown type!"},
        {"type id 0, no values", bytes("03 01 01 'a' 01 01 00 00"), "unknown type!"},
        {"type id -1", bytes("03 01 01 'a' 01 01 F0 FF FF FF FF 00"), "unknown type!"},
        {"name index 0", bytes("04 01 01 'a' 01 00 01 00 01 05"), "string not found"},
        {"name index past the table", bytes("04 01 01 'a' 01 02 01 00 01 05"), "string not found"},
        {"string value index", bytes("04 01 01 's' 01 01 04 00 01 09"), "string not found"},
        {"what index", bytes("01 00 00"), "string not found"},
        {"second type", bytes("04 01 01 'a' 02 01 01 00 01 05 01 03 00 01 00 00 00 00 00 00 F8 3F"),
         "incompatible type"},
        {"second type under another index",
         bytes("04 02 01 'a' 01 'a' 02 01 01 00 01 05 02 03 00 01 00 00 00 00 00 00 F8 3F"),
         "incompatible type"},
        {"slash in name", bytes("04 01 03 'a/b' 01 01 01 00 01 05"), "empty or invalid name"},
        {"empty name", bytes("04 01 00 01 01 01 00 01 05"), "empty or invalid name"},
        {"131073 entries", bytes("04 00 C2 00 01"), "umessage::unflatten() : too many entry"},
        {"32-bit field in six bytes", bytes("04 01 01 'a' 01 01 F8 00 00 00 00 01 00 01 05"),
         "umessage::unflatten() : 32-bit field too long"},
        {"65 nested levels", nestedChain(65), "umessage::unflatten() : messages nested too deeply"},
        {"string of 2^40 bytes", bytes("04 01 F9 00 00 00 00 00"), "ustring"},
        {"string one past the end", bytes("04 01 05 'abcd'"),
         "umessage::unflatten() : unexpected end of data"},
        {"largest string count", bytes("04 FF FF FF FF FF FF FF FF FF"),
         "umessage::unflatten() : unexpected end of data"},
        {"string count one past", bytes("04 03 00 00"), "umessage::unflatten() : unexpected end of data"},
        {"131072 entries, ten bytes left", bytes("04 01 01 'a' C2 00 00 01 01 00 00 01 01 00 00 01 01"),
         "umessage::unflatten() : unexpected end of data"},
        {"value count one past", bytes("04 01 01 'b' 01 01 02 00 03 01 01"),
         "umessage::unflatten() : unexpected end of data"},
        {"double count one past", bytes("04 01 01 'd' 01 01 03 00 02 00 00 00 00 00 00 F8 3F 00"),
         "umessage::unflatten() : unexpected end of data"},
        {"largest value count", bytes("04 01 01 'b' 01 01 02 00 FF FF FF FF FF FF FF FF FF 01"),
         "umessage::unflatten() : too many values"},
    };
    for (const auto& c : cases) {
        for (bool seekable : {true, false}) {
            SCOPED_TRACE(std::string(c.label) + (seekable ? " (seekable)" : " (one way)"));
            Decoded d = decode(c.data, seekable);
            EXPECT_FALSE(d.ok);
            EXPECT_TRUE(d.msg.empty());
            EXPECT_NE(d.log.find("[ERROR]"), std::string::npos) << d.log;
            EXPECT_NE(d.log.find("[umessage_serialize.cpp:unflatten:"), std::string::npos) << d.log;
            EXPECT_NE(d.log.find(std::string("] ") + c.log + "\n"), std::string::npos) << d.log;
            EXPECT_EQ(d.log.find('\n'), d.log.size() - 1) << "one line";
        }
    }
    EXPECT_TRUE(decode(nestedChain(64)).ok);
}

TEST(Unflatten, BadVersionFailsSilently) {
    for (const char* hex : {"05 00 00", "00 00 00", "", "F8 00 00 00 00 01 00 00", "F0 00 00 01"}) {
        SCOPED_TRACE(hex);
        Decoded d = decode(bytes(hex));
        EXPECT_FALSE(d.ok);
        EXPECT_TRUE(d.msg.empty());
        EXPECT_EQ(d.log, "");
    }
    // Four following bytes hold a 32-bit field; the first byte's bits are beyond it.
    EXPECT_TRUE(decode(bytes("F7 00 00 00 04 00 00")).ok);
}

TEST(Unflatten, EntryCountLimitIsInclusive) {
    std::string data = bytes("04 01 01 'a' C2 00 00");
    for (int i = 0; i < 0x20000; ++i) data += bytes("01 01 00 00");
    Decoded d = decode(data);
    EXPECT_TRUE(d.ok) << d.log;
    EXPECT_TRUE(d.msg.empty());
}

TEST(Unflatten, EveryTruncationFailsCleanly) {
    std::vector<std::string> inputs;
    for (const auto& ex : kBothWays) inputs.push_back(bytes(ex.hex));
    for (const auto& ex : kReadOnly) inputs.push_back(bytes(ex.hex));
    inputs.push_back(nestedChain(3));
    for (const auto& data : inputs) {
        for (std::size_t n = 0; n < data.size(); ++n) {
            for (bool seekable : {true, false}) {
                SCOPED_TRACE(hexOf(data.substr(0, n)));
                Decoded d = decode(data.substr(0, n), seekable);
                EXPECT_FALSE(d.ok);
                EXPECT_TRUE(d.msg.empty());
                // Only an input too short to hold its version is silent.
                EXPECT_EQ(d.log.empty(), n == 0);
            }
        }
    }
}

TEST(Unflatten, ReadsExactlyOneMessageFromTheStream) {
    std::istringstream in(bytes("04 01 01 'a' 01 01 01 00 01 05 04 00 00 7A"));
    umessage first, second;
    EXPECT_TRUE(first.unflatten(in));
    EXPECT_EQ(first.get<int>("a", 0, 0), 5);
    EXPECT_TRUE(second.unflatten(in));
    EXPECT_TRUE(second.empty());
    EXPECT_EQ(in.get(), 0x7A);
}

TEST(Unflatten, BodyAppendsToExistingEntries) {
    umessage m;
    add<int>(m, "a", umessage_type_int, {1});
    add<int>(m, "c", umessage_type_int, {9});
    std::istringstream body(bytes("02 01 01 00 01 02 02 01 00 01 03"));
    m.unflatten_priv(body, 4, {"a", "b"});
    umessage want;
    add<int>(want, "a", umessage_type_int, {1, 2});
    add<int>(want, "b", umessage_type_int, {3});
    add<int>(want, "c", umessage_type_int, {9});
    EXPECT_TRUE(m == want);
    EXPECT_TRUE(isArrayOf(m, "a"));

    std::istringstream clash(bytes("01 01 03 00 01 00 00 00 00 00 00 F8 3F"));
    EXPECT_THROW(m.unflatten_priv(clash, 4, {"c"}), std::logic_error);
    EXPECT_TRUE(m == want);
}

umessage richMessage(bool withLongLong) {
    auto leaf = std::make_shared<umessage>();
    add<ustring>(*leaf, "name", umessage_type_string, {"leaf", ""});
    add<double>(*leaf, "inf", umessage_type_double,
                {std::numeric_limits<double>::infinity(), -0.0, 5e-324, -1e308});
    auto mid = std::make_shared<umessage>();
    mid->addData_priv<Msg>("leaf", umessage_type_message, leaf, true);
    add<ustring>(*mid, "what", umessage_type_string, {"inner what"});
    umessage m;
    m.addData_priv<Msg>("mid", umessage_type_message, mid, false);
    m.addData_priv<Msg>("mid", umessage_type_message, std::make_shared<umessage>(), false);
    add<int>(m, "ints", umessage_type_int, {INT_MIN, -1, 0, 1, INT_MAX});
    add<int>(m, "one", umessage_type_int, {1}, true);
    add<bool>(m, "flags", umessage_type_bool, {true, false, true});
    add<ustring>(m, "\xc3\xa9t\xc3\xa9", umessage_type_string,
                 {std::string(300, 'x'), std::string(2000, 'y')});
    add<ustring>(m, "what", umessage_type_string, {"top", "second"});
    if (withLongLong) add<long long>(m, "ll", umessage_type_longlong, {LLONG_MIN, LLONG_MAX, 0, 1LL << 40});
    return m;
}

TEST(Flatten, RoundTripsInEveryVersion) {
    for (int version = 1; version <= 4; ++version) {
        SCOPED_TRACE(version);
        const umessage m = richMessage(version >= 3);
        Decoded d = decode(encode(m, version));
        EXPECT_TRUE(d.ok) << d.log;
        EXPECT_TRUE(d.msg == m);
        if (version == 4) {
            EXPECT_TRUE(sameFlags(d.msg, m));
        }
    }
}

TEST(Flatten, WhatEntriesOfEveryShapeSurviveVersionOne) {
    const std::function<void(umessage&)> shapes[] = {
        [](umessage& m) { add<ustring>(m, "what", umessage_type_string, {""}); },
        [](umessage& m) {
            add<ustring>(m, "what", umessage_type_string, {"", "x"});
        },
        [](umessage& m) { add<int>(m, "what", umessage_type_int, {3}); },
        [](umessage& m) {
            add<ustring>(m, "what", umessage_type_string, {"a", "b", "c"});
        },
    };
    for (const auto& shape : shapes) {
        umessage m;
        shape(m);
        Decoded d = decode(encode(m, 1));
        EXPECT_TRUE(d.ok) << d.log;
        EXPECT_TRUE(d.msg == m);
    }
}

TEST(Flatten, NaNKeepsItsBits) {
    const double nan = std::bit_cast<double>(0x7FF8000000000123ULL);
    umessage m;
    add<double>(m, "d", umessage_type_double, {nan});
    Decoded d = decode(encode(m, 4));
    ASSERT_TRUE(d.ok);
    double out = 0;
    ASSERT_TRUE(d.msg.find<double>("d", 0, out));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(out), 0x7FF8000000000123ULL);
}

TEST(Flatten, RefusesWhatTheFormatCannotCarry) {
    umessage m;
    add<long long>(m, "l", umessage_type_longlong, {1});
    std::ostringstream out;
    EXPECT_THROW(m.flatten(out, 2), std::invalid_argument);
    EXPECT_THROW(m.flatten(out, 0), std::invalid_argument);
    EXPECT_THROW(m.flatten(out, 5), std::invalid_argument);
}

}  // namespace
