#include "UKeyStream.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "umessage.h"

namespace {

using Bytes = std::string;
using Writer = std::function<void(UKeyOutStream&)>;
using Reader = std::function<void(UKeyInStream&)>;
using ::testing::AnyOf;
using ::testing::IsEmpty;
using ::testing::StartsWith;

const UKey kSt('S', 't'), kRT('R', 'T'), kBr('B', 'r'), kLH('L', 'H'), kPv('P', 'v'), kSS('S', 'S'),
    kDp('D', 'p'), kJJ('J', 'J'), kAR('A', 'R');
constexpr int kJob5 = 0x4A4F4235;

// Hex bytes separated by spaces; 'text' stands for the bytes of text.
Bytes H(const std::string& spec) {
    Bytes out, token;
    for (std::istringstream in(spec); in >> token;)
        out += token.front() == '\'' ? token.substr(1, token.size() - 2)
                                     : Bytes(1, static_cast<char>(std::stoi(token, nullptr, 16)));
    return out;
}

Bytes BE32(std::uint32_t v) {
    return Bytes{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

Bytes Patch(Bytes bytes, std::size_t at, const Bytes& with) {
    return bytes.replace(at, with.size(), with);
}

// A root record holding exactly `body`.
Bytes Root(const Bytes& body) {
    return H("'KS' FF") + BE32(std::uint32_t(body.size())) + H("06") + body;
}

// A root record as the writer lays it out: the version field first.
Bytes Stream(const Bytes& content) {
    return Root(H("C0 DE 01 02 01") + content);
}

void Nothing(UKeyOutStream&) {}
void Ignore(UKeyInStream&) {}

Bytes Written(int identifier, const Writer& write) {
    std::ostringstream os;
    UKeyOutStream out(os, identifier);
    write(out);
    out.Flush();
    return os.str();
}

// Reads the stream with `read`; the text of the runtime error it threw, "" when none.
std::string ErrorOf(std::istream& is, const Reader& read = Ignore) {
    try {
        UKeyInStream in(is);
        read(in);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

std::string ErrorOf(const Bytes& bytes, const Reader& read = Ignore) {
    std::istringstream is(bytes);
    return ErrorOf(is, read);
}

void Read(const Bytes& bytes, const Reader& read) {
    EXPECT_EQ(ErrorOf(bytes, read), "");
}

// Writes `value` under `key`.
template <class T>
Writer W(UKey key, T value) {
    return [=](UKeyOutStream& o) { o << key << value; };
}

// Writes a record holding what `inner` writes.
Writer Rec(UKey key, const Writer& inner) {
    return [=](UKeyOutStream& o) {
        o << UKeyOutStream::StartRecord(key);
        inner(o);
        o.Pop();
    };
}

// Runs the readers in turn.
Reader All(std::initializer_list<Reader> readers) {
    return [=, list = std::vector<Reader>(readers)](UKeyInStream& in) {
        for (const Reader& read : list) read(in);
    };
}

// Opens the record under `key` for `inner`.
Reader In(UKey key, const Reader& inner) {
    return [=](UKeyInStream& in) {
        in >> UKeyInStream::StartRecord(key);
        inner(in);
        in.Pop();
    };
}

// Reads the field under `key` into a target that starts out different from `expected`;
// std::string targets take the raw bytes, doubles compare bit for bit (-0 is not +0).
template <class T>
Reader R(UKey key, T expected) {
    return [=](UKeyInStream& in) {
        T v = [&] {
            if constexpr (std::is_same_v<T, bool>)
                return !expected;
            else if constexpr (std::is_arithmetic_v<T>)
                return T(expected + 1);
            else
                return T(expected + "?");
        }();
        if constexpr (std::is_same_v<T, std::string>) {
            in >> key;
            in.Read8BitStringWithUnknownEncoding(v);
        } else {
            in >> key >> v;
        }
        if constexpr (std::is_same_v<T, double>) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(v), std::bit_cast<std::uint64_t>(expected)) << v;
        } else {
            EXPECT_EQ(v, expected);
        }
    };
}

struct Example {
    const char* name;
    Writer write;
    Bytes content;  // what follows the version field
    Reader check;
};

const std::vector<Example>& Examples() {
    static const std::vector<Example> examples = {
        {"nothing", Nothing, H(""),
         [](UKeyInStream& in) {
             EXPECT_EQ(in.GetVersion(), 1);
             EXPECT_FALSE(in.Exists(kSt));
         }},
        {"int 0", W(kSt, 0), H("'St' 00 02"), R(kSt, 0)},
        {"int 1", W(kSt, 1), H("'St' 01 02 01"), R(kSt, 1)},
        {"int -1", W(kSt, -1), H("'St' 04 02 FF FF FF FF"), R(kSt, -1)},
        {"int 256", W(kSt, 256), H("'St' 02 02 01 00"), R(kSt, 256)},
        {"int min", W(kSt, std::numeric_limits<int>::min()), H("'St' 04 02 80 00 00 00"),
         R(kSt, std::numeric_limits<int>::min())},
        {"bool false", W(kBr, false), H("'Br' 00 01"), R(kBr, false)},
        {"bool true", W(kBr, true), H("'Br' 01 01 01"), R(kBr, true)},
        {"double 0", W(kLH, 0.0), H("'LH' 00 04"), R(kLH, 0.0)},
        {"double 1.5", W(kLH, 1.5), H("'LH' 08 04 3F F8 00 00 00 00 00 00"), R(kLH, 1.5)},
        {"double -0", W(kLH, -0.0), H("'LH' 08 04 80 00 00 00 00 00 00 00"), R(kLH, -0.0)},
        {"string", W(kPv, "748"), H("'Pv' 03 05 '748'"), R(kPv, ustring("748"))},
        {"string keeps leading zero bytes", W(kPv, ustring(H("00 00 'a'"))), H("'Pv' 03 05 00 00 'a'"),
         R(kPv, H("00 00 'a'"))},
        {"string of 254 bytes", W(kSS, ustring(254, 'x')), H("'SS' FE 05") + Bytes(254, 'x'),
         R(kSS, ustring(254, 'x'))},
        {"string of 255 bytes", W(kSS, ustring(255, 'y')), H("'SS' FF 00 00 00 FF 05") + Bytes(255, 'y'),
         R(kSS, ustring(255, 'y'))},
        {"opaque bytes keep their zeros",
         [](UKeyOutStream& o) {
             o << kDp;
             o.WriteField("\0\0\1", 3, UKeyStream::eType_Bytes);
         },
         H("'Dp' 03 08 00 00 01"), R(kDp, H("00 00 01"))},
        {"empty record", Rec(kJJ, Nothing), H("'JJ' FF 00 00 00 00 06"),
         In(kJJ, [](UKeyInStream& in) { EXPECT_FALSE(in.Next()); })},
        {"field without a key carries key 0", [](UKeyOutStream& o) { o << 5; }, H("00 00 01 02 05"),
         R(UKey(0), 5)},
        {"opening a container keeps the pending key",
         [](UKeyOutStream& o) { Rec(kJJ, [](UKeyOutStream& r) { r << 5; })(o << kPv); },
         H("'JJ' FF 00 00 00 05 06 'Pv' 01 02 05"), In(kJJ, R(kPv, 5))},
        // Keys are any 16-bit values, and each level has its own.
        {"numeric keys",
         Rec(UKey(10),
             [](UKeyOutStream& o) {
                 W(UKey(120), -2)(o);
                 Rec(UKey(140), [](UKeyOutStream& r) { r << UKey(3201) << 3 << UKey(120) << 4; })(o);
             }),
         H("00 0A FF 00 00 00 1A 06 00 78 04 02 FF FF FF FE 00 8C FF 00 00 00 0A 06 0C 81 01 02 03 00 78 01 "
           "02 04"),
         In(UKey(10), All({R(UKey(120), -2), In(UKey(140), All({R(UKey(3201), 3), R(UKey(120), 4)}))}))},
    };
    return examples;
}

// The 50-byte example: an int, then an array of four doubles.
const Bytes k50 =
    H("4B 53 FF 00 00 00 2A 06 C0 DE 01 02 01 53 74 01 02 05 52 54 FF 00 00 00 18 07 00 04 00 04 08 04 40 6A "
      "40 00 00 00 00 00 08 04 40 72 90 00 00 00 00 00");

void Write50(UKeyOutStream& out) {
    out << kSt << 5 << UKeyOutStream::StartArray(kRT) << 0.0 << 0.0 << 210.0 << 297.0;
    out.Pop();
}

void Check50(UKeyInStream& in) {
    R(kSt, 5)(in);
    std::vector<double> values;
    in >> UKeyInStream::StartArray(kRT);
    for (double v = -1; in.Next(); values.push_back(v)) in >> v;
    in.Pop();
    EXPECT_EQ(values, (std::vector<double>{0, 0, 210, 297}));
}

TEST(KeyStreamExamples, WrittenAndReadBack) {
    EXPECT_EQ(Written(0, Nothing), H("4B 53 FF 00 00 00 05 06 C0 DE 01 02 01"));
    const Bytes withId = Written(kJob5, Nothing);
    EXPECT_EQ(withId, Root(H("'ID' 04 02 'JOB5' C0 DE 01 02 01")));
    // The header fields are ordinary fields of the root too.
    Read(withId, All({Examples()[0].check, R(UKey('I', 'D'), kJob5), R(UKey(0xC0DE), 1)}));
    EXPECT_EQ(Written(0, Write50), k50);
    Read(k50, Check50);
    for (const auto& ex : Examples()) {
        SCOPED_TRACE(ex.name);
        EXPECT_EQ(Written(0, ex.write), Stream(ex.content));
        Read(Stream(ex.content), ex.check);
    }
}

// Reads everything a stream holds, every field as every type, as a caller that trusts nothing
// would; returns normally or throws.
void Walk(UKeyInStream& in) {
    if (!in.IsKeyed()) {
        std::string raw;
        for (UKeyInStream::FieldInfo info; in.PeekField(info);) in.Read8BitStringWithUnknownEncoding(raw);
        return;
    }
    while (in.Next()) {
        for (const auto& field : in.IndexedFields()) {
            int i = 0;
            bool b = false;
            double d = 0;
            ustring s;
            std::string raw;
            if (field.length <= 4) in >> field.key >> i;
            if (field.length <= 1) in >> field.key >> b;
            if (field.length <= 8) in >> field.key >> d;
            in >> field.key >> s >> field.key;
            in.Read8BitStringWithUnknownEncoding(raw);
            const bool record = field.type == UKeyStream::eType_Record;
            if (in.Depth() == UKeyStream::kMaxLevels || (!record && field.type != UKeyStream::eType_Array))
                continue;
            record ? in >> UKeyInStream::StartRecord(field.key) : in >> UKeyInStream::StartArray(field.key);
            Walk(in);
            in.Pop();
        }
    }
}

TEST(KeyStreamHardening, EveryTruncationFailsCleanly) {
    std::vector<Bytes> streams = {k50, Written(kJob5, Write50)};
    for (const auto& ex : Examples()) streams.push_back(Stream(ex.content));
    int innerFailures = 0;
    for (const Bytes& full : streams) {
        for (std::size_t n = 0; n < full.size(); ++n) {
            // The root claims more than there is.
            EXPECT_THAT(ErrorOf(full.substr(0, n)), StartsWith("UKeyInStream: ")) << n;
            // The root's length fitted to the cut: the bytes end inside a nested field or
            // container, or between fields, which reads.
            const std::string error = n < 8 ? "" : ErrorOf(Root(full.substr(8, n - 8)), Walk);
            innerFailures += !error.empty();
            EXPECT_THAT(error, AnyOf(IsEmpty(), StartsWith("UKeyInStream: ")));
        }
    }
    EXPECT_GT(innerFailures, 0);
}

TEST(KeyStreamHardening, BadHeadersAndLengthsFailCleanly) {
    const std::vector<std::pair<Bytes, const char*>> cases = {
        {Bytes(), "UKeyInStream: meta key mismatch"},
        {H("'K'"), "UKeyInStream: meta key mismatch"},
        {H("'KT' 00 06"), "UKeyInStream: meta key mismatch"},
        {H("'KS' 00 07"), "UKeyInStream: expecting record"},
        {H("'KS' FF 00 00 00 00 05"), "UKeyInStream: expecting record"},
        {H("'KS' FF 00 00"), "UKeyInStream: input ends inside the root record header"},
        {Root(H("C0 DE 05 02 01 00 00 00 00")), "UKeyInStream: version field is 5 bytes"},
        // Lengths of remaining + 1 and the largest values.
        {Patch(k50, 6, H("2B")), "UKeyInStream: root record length"},
        {Patch(k50, 3, H("FF FF FF FF")), "UKeyInStream: root record length"},
        {Patch(k50, 24, H("19")), "UKeyInStream: field at offset 18"},
        {Patch(k50, 21, H("FF FF FF FF")), "UKeyInStream: field at offset 18 is 4294967295 bytes long"},
        {Patch(k50, 15, H("22")), "UKeyInStream: field at offset 13"},
        {Patch(k50, 40, H("09")), "UKeyInStream: field at offset 40"},
        {Stream(H("'SS' FF 80 00 00 00 05 'a'")),
         "UKeyInStream: field at offset 13 is 2147483648 bytes long"},
        {Stream(H("'JJ' FF 00 00 00 06 06 'St' 04 02 01 02")), "UKeyInStream: field at offset 21"},
        {Stream(H("'JJ' FF 00 00 00 01 06 'S'")), "UKeyInStream: record ends inside a field key"},
        {Stream(H("'SS' FF 00")), "UKeyInStream: record ends inside a field header"},
        {Stream(H("'RT' FF 00 00 00 01 07 FF")), "UKeyInStream: array ends inside a field header"},
    };
    for (const auto& [bytes, error] : cases) EXPECT_THAT(ErrorOf(bytes, Walk), StartsWith(error));
    std::istringstream failed(k50);
    failed.setstate(std::ios::failbit);
    EXPECT_THROW(UKeyInStream{failed}, std::runtime_error);
}

TEST(KeyStreamHardening, InputsThatCannotBeTrusted) {
    struct OneWay : std::streambuf {
        explicit OneWay(std::string s) : text(std::move(s)) {
            setg(text.data(), text.data(), text.data() + text.size());
        }
        std::string text;
    } oneWay(k50);
    // Claims one more byte than it delivers: the end reported by seeking lies.
    struct Liar : std::stringbuf {
        using std::stringbuf::stringbuf;
        pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override {
            const pos_type pos = std::stringbuf::seekoff(off, dir, which);
            return dir == std::ios_base::end ? pos_type(off_type(str().size() + 1)) : pos;
        }
    };
    const Bytes text = Stream(H("'SS' 03 05 'abc'"));
    Liar liar(text.substr(0, text.size() - 1), std::ios::in);
    const std::vector<std::pair<std::streambuf*, const char*>> cases = {
        {&oneWay, "UKeyInStream: input stream is not seekable"},
        {&liar, "UKeyInStream: input ended early"},
    };
    for (const auto& [buffer, error] : cases) {
        std::istream is(buffer);
        EXPECT_THAT(ErrorOf(is, Walk), StartsWith(error));
    }
}

TEST(KeyStreamReader, FieldLongerThanItsTarget) {
    const std::vector<std::pair<Bytes, Reader>> cases = {
        {Stream(H("'LH' 09 04 01 02 03 04 05 06 07 08 09")), R(kLH, 0.0)},
        {Stream(H("'St' 05 02 01 02 03 04 05")), R(kSt, 0)},
        {Stream(H("'Br' 02 01 00 01")), R(kBr, false)},
        {Stream(H("'RT' FF 00 00 00 0B 07 09 04 01 02 03 04 05 06 07 08 09")),
         [](UKeyInStream& in) {
             double d = 0;
             in >> UKeyInStream::StartArray(kRT) >> d;
         }},
    };
    for (const auto& [bytes, read] : cases)
        EXPECT_EQ(ErrorOf(bytes, read), "UKeyInStream: reading field longer than expected");
}

TEST(KeyStreamReader, AbsentFields) {
    Read(Stream(H("'Pv' 00 05")), [](UKeyInStream& in) {
        const UKey no('N', 'o');
        int i = 42;
        bool b = true;
        double d = 2.5;
        ustring s = "keep?";
        std::string raw = "kept";
        umessage m;
        m.addData_priv<int>("x", umessage_type_int, 1, false);
        in >> no >> i >> no >> b >> no >> d >> no >> s >> no >> m >> no;
        in.Read8BitStringWithUnknownEncoding(raw);
        EXPECT_EQ(std::tuple(i, b, d, s, raw), std::tuple(42, true, 2.5, ustring(), std::string("kept")));
        EXPECT_TRUE(m.empty());
        R(kPv, Bytes())(in);                      // present with no data: the raw bytes are cleared
        In(UKey('G', 'G'), [](UKeyInStream& g) {  // a missing record opens empty
            EXPECT_FALSE(g.Next());
            int kept = 42;
            g >> kPv >> kept;
            EXPECT_EQ(kept, 42);
        })(in);
    });
}

TEST(KeyStreamReader, VersionDecidesStrings) {
    // A string, an int, a bool and an array of a string and an int.
    const Bytes fields =
        H("'SS' 05 05 'ok' 00 'noSt' 01 02 07 'Br' 01 01 01 'AR' FF 00 00 00 06 07 01 05 's' 01 02 08");
    const std::vector<std::pair<Bytes, int>> cases = {
        {Root(fields), 0},
        {Root(H("'ID' 00 02 C0 DE 01 02 02") + fields), 2},
        {Root(H("'XX' 00 02 C0 DE 01 02 01") + fields), 0},  // not first
        {Root(H("C0 DE 04 02 FF FF FF FF") + fields), -1},
        {Stream(fields), 1},
    };
    for (const auto& [bytes, version] : cases) {
        SCOPED_TRACE(version);
        Read(bytes, [version](UKeyInStream& in) {
            EXPECT_EQ(in.GetVersion(), version);
            // Strings are cut at a zero byte; the raw bytes are not.
            R(kSS, ustring(version >= 1 ? "ok" : ""))(in);
            R(kSS, H("'ok' 00 'no'"))(in);
            R(kSt, 7)(in);
            R(kBr, true)(in);
            ustring s = "x";
            int i = 0;
            in >> UKeyInStream::StartArray(kAR) >> s >> i;
            in.Pop();
            EXPECT_EQ(s, version >= 1 ? "s" : "");
            EXPECT_EQ(i, 8);
        });
    }
}

TEST(KeyStreamReader, RunsAndNext) {
    const Bytes runs =
        Stream(H("'LX' FF 00 00 00 14 06 'AA' 01 02 01 'BB' 01 02 02 'AA' 01 02 03 'BB' 01 02 04"));
    Read(runs, In(UKey('L', 'X'), [](UKeyInStream& in) {
             R(UKey('A', 'A'), 1)(in);  // before any Next: the first run
             EXPECT_TRUE(in.Next());
             R(UKey('A', 'A'), 3)(in);
             R(UKey('B', 'B'), 4)(in);
             EXPECT_FALSE(in.Next());
             EXPECT_FALSE(in.Exists(UKey('A', 'A')));
         }));
    // A, B, A, C: the run is (A, B); C belongs to the next run. Next may come first.
    Read(Stream(H("'AA' 01 02 01 'BB' 01 02 02 'AA' 01 02 03 'CC' 01 02 04")), [](UKeyInStream& in) {
        EXPECT_TRUE(in.Next());
        R(UKey('A', 'A'), 1)(in);
        EXPECT_FALSE(in.Exists(UKey('C', 'C')));
        EXPECT_EQ(in.IndexedFields().size(), 3u);  // the version field, A and B
        EXPECT_TRUE(in.Next());
        R(UKey('A', 'A'), 3)(in);
        R(UKey('C', 'C'), 4)(in);
    });
}

TEST(KeyStreamReader, TenLevelsAndNoMore) {
    const auto level = [](int i) { return UKey('L', char('0' + i)); };
    const Bytes bytes = Written(0, [&](UKeyOutStream& o) {
        for (int i = 1; i < UKeyStream::kMaxLevels; ++i) o << UKeyOutStream::StartRecord(level(i));
        o << UKey('Z', 'Z') << 9;
        EXPECT_THROW(o << UKeyOutStream::StartRecord(UKey('X', 'X')), std::logic_error);
        EXPECT_EQ(o.Depth(), UKeyStream::kMaxLevels);
    });
    const Reader deep = [&](UKeyInStream& in) {
        EXPECT_THROW(in.Pop(), std::logic_error);  // the root stays open
        for (int i = 1; i < UKeyStream::kMaxLevels; ++i) in >> UKeyInStream::StartRecord(level(i));
        EXPECT_EQ(in.Depth(), UKeyStream::kMaxLevels);
        R(UKey('Z', 'Z'), 9)(in);
        in >> UKeyInStream::StartRecord(UKey('Z', 'Z'));
    };
    EXPECT_EQ(ErrorOf(bytes, deep), "UKeyInStream: exceeded depth");
}

TEST(KeyStreamReader, ArraysReadInOrder) {
    Read(Written(0,
                 [](UKeyOutStream& o) {
                     o << UKeyOutStream::StartArray(kAR) << 1 << ustring(300, 's') << "short" << true << -7.5;
                 }),
         [](UKeyInStream& in) {
             int i = 0;
             ustring longText, shortText;
             bool b = false;
             double d = 0, untouched = 11;
             in >> UKeyInStream::StartArray(kAR);
             EXPECT_FALSE(in.Exists(kAR));  // arrays have no keys
             in >> i >> longText >> shortText >> b >> d;
             EXPECT_FALSE(in.Next());
             in >> untouched;
             in.Pop();
             EXPECT_EQ(std::tuple(i, longText, shortText, b, d, untouched),
                       std::tuple(1, ustring(300, 's'), ustring("short"), true, -7.5, 11.0));
         });
}

TEST(KeyStreamReader, LongFieldsBeyondTheReadWindow) {
    // Long data is read apart from the scan, so fields after it are still found.
    const ustring big(200000, 'q');
    Bytes large(70000, 'r');
    large[1234] = 0;
    const Bytes bytes = Written(0, [&](UKeyOutStream& o) {
        o << UKey('B', 'G') << big << kDp;
        o.WriteField(large.data(), int(large.size()), UKeyStream::eType_Bytes);
        o << kSt << 77;
    });
    Read(bytes, All({R(kSt, 77), R(UKey('B', 'G'), big), R(kDp, large)}));
    // Nor does the reader assume its input starts at offset 0.
    std::istringstream is("prefix" + k50);
    is.seekg(6);
    EXPECT_EQ(ErrorOf(is, Check50), "");
}

TEST(KeyStreamReader, MessagesThroughTheFlattenedForm) {
    umessage sent;
    sent.addData_priv<ustring>("name", umessage_type_string, ustring("ticket"), false);
    sent.addData_priv<double>("w", umessage_type_double, 1.5, false);
    std::ostringstream flat;
    sent.flatten(flat);
    const Bytes bytes = Written(0, [&](UKeyOutStream& o) {
        o << kDp;
        o.WriteField(flat.str().data(), int(flat.str().size()), UKeyStream::eType_Bytes);
        o << UKey('S', 'R');  // version 4, no strings, no entries: short enough for the index
        o.WriteField("\4\0\0", 3, UKeyStream::eType_Bytes);
        o << UKey('X', 'X') << "garbage!!" << UKey('E', 'E') << "";
    });
    Read(bytes, [&](UKeyInStream& in) {
        for (const UKey key : {kDp, UKey('S', 'R'), UKey('X', 'X'), UKey('E', 'E')}) {
            umessage got;
            got.addData_priv<int>("old", umessage_type_int, 1, false);
            in >> key >> got;
            EXPECT_TRUE(key == kDp ? got == sent : got.empty()) << key;
        }
    });
}

TEST(KeyStreamReader, RecordOfEveryKey) {
    // 65536 distinct keys, each holding its own value: a single run covering the whole key space.
    const Bytes bytes = Written(0, [](UKeyOutStream& o) {
        o << UKeyOutStream::StartRecord(kAR);
        for (unsigned k = 0; k < 65536; ++k) o << UKey(static_cast<unsigned short>(k)) << int(k * 3);
    });
    Read(bytes, In(kAR, [](UKeyInStream& in) {
             EXPECT_TRUE(in.Next());
             EXPECT_EQ(in.IndexedFields().size(), 65536u);
             int wrong = 0;
             for (int k = 0, v = 0; k < 65536; ++k) wrong += (in >> UKey(k) >> v, v != k * 3);
             EXPECT_EQ(wrong, 0);
             EXPECT_FALSE(in.Next());
         }));
}

TEST(KeyStreamReader, PrimitivesRestoreLeadingZeros) {
    Read(Stream(H("'St' 02 02 01 00 'RT' FF 00 00 00 05 07 00 04 01 02 7F")), [](UKeyInStream& in) {
        UKeyInStream::FieldInfo info;
        unsigned char four[4] = {9, 9, 9, 9}, two[2] = {9, 9}, one = 0;
        bool found = false;
        EXPECT_FALSE(in.ReadField(four, 4));  // nothing looked up yet
        EXPECT_FALSE(in.PeekField(info));
        in >> kSt;
        ASSERT_TRUE(in.PeekField(info));
        EXPECT_EQ(std::tuple(info.key.value(), info.type, info.length),
                  std::tuple(kSt.value(), static_cast<unsigned char>(UKeyStream::eType_Int32), 2));
        ASSERT_TRUE(in.ReadField(four, 4));
        EXPECT_EQ(Bytes(four, four + 4), H("00 00 01 00"));
        EXPECT_THROW(in.ReadField(&one, 1), std::runtime_error);
        in >> UKeyInStream::StartArray(kRT);
        ASSERT_TRUE(in.PeekField(info) && in.PeekField(info));  // peeking does not consume
        EXPECT_EQ(info.length, 0);
        EXPECT_EQ(in.GetLength(found), 0);
        EXPECT_TRUE(found);
        ASSERT_TRUE(in.ReadField(two, 2));
        EXPECT_EQ(Bytes(two, two + 2), H("00 7F"));
        EXPECT_EQ(in.GetLength(found), 0);
        EXPECT_FALSE(found);
        in.Pop();
    });
}

TEST(KeyStreamWriter, DestructorClosesEverything) {
    std::ostringstream os;
    UKeyOutStream(os, 0) << kSt << 5 << UKeyOutStream::StartArray(kRT) << 0.0 << 0.0 << 210.0 << 297.0;
    EXPECT_EQ(os.str(), k50);
}

TEST(KeyStreamWriter, MisuseAndFailedOutput) {
    std::ostringstream os;
    UKeyOutStream out(os, 0);
    EXPECT_THROW(out.WriteField("x", -1, UKeyStream::eType_String), std::invalid_argument);
    out.Flush();
    EXPECT_EQ(out.Depth(), 0);
    EXPECT_THROW(out << kSt << 1, std::logic_error);
    EXPECT_THROW(out.Pop(), std::logic_error);
    EXPECT_EQ(os.str().size(), 13u);

    std::ostringstream bad;
    bad.setstate(std::ios::badbit);
    {
        UKeyOutStream failed(bad, kJob5);
        Write50(failed);
    }
    EXPECT_TRUE(bad.bad());
    EXPECT_TRUE(bad.str().empty());
}

}  // namespace
