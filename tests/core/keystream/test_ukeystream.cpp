#include "keystream/UKeyStream.h"

#include "keystream/UKeyStreamUtils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "ByteText.h"
#include "message/umessage.h"
#include "support/UFileSpecCore.h"

namespace {

using testing_support::bytes;
using Bytes = std::string;
using Writer = std::function<void(UKeyOutStream&)>;
using Reader = std::function<void(UKeyInStream&)>;
using ::testing::StartsWith;

const UKey kSt('S', 't'), kRT('R', 'T'), kBr('B', 'r'), kLH('L', 'H'), kPv('P', 'v'), kSS('S', 'S'),
    kDp('D', 'p'), kJJ('J', 'J'), kAR('A', 'R');
constexpr int kJob5 = 0x4A4F4235;

// A root record holding exactly `body`.
Bytes Root(const Bytes& body) {
    const auto n = static_cast<std::uint32_t>(body.size());
    return bytes("'KS' FF") + Bytes{char(n >> 24), char(n >> 16), char(n >> 8), char(n)} + bytes("06") + body;
}

// A root record as the writer lays it out: the version field first.
Bytes Stream(const std::string& content) {
    return Root(bytes("C0 DE 01 02 01 " + content));
}

Bytes Patch(Bytes b, std::size_t at, const char* with) {
    return b.replace(at, bytes(with).size(), bytes(with));
}

Bytes Written(int identifier, const Writer& write) {
    std::ostringstream os;
    UKeyOutStream out(os, identifier);
    write(out);
    out.Flush();
    return os.str();
}

// Reads the stream with `read`; the text of the runtime error it threw, "" when none.
std::string ErrorOf(std::istream& is, const Reader& read) {
    try {
        UKeyInStream in(is);
        read(in);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

std::string ErrorOf(
    const Bytes& b, const Reader& read = [](UKeyInStream&) {}) {
    std::istringstream is(b);
    return ErrorOf(is, read);
}

void Read(const Bytes& b, const Reader& read) {
    EXPECT_EQ(ErrorOf(b, read), "");
}

template <class T>
Writer W(UKey key, T value) {
    return [=](UKeyOutStream& o) { o << key << value; };
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
        T v{};
        if constexpr (std::is_same_v<T, bool>)
            v = !expected;
        else if constexpr (std::is_arithmetic_v<T>)
            v = T(expected + 1);
        else
            v = T(expected + "?");
        if constexpr (std::is_same_v<T, std::string>)
            (in >> key).Read8BitStringWithUnknownEncoding(v);
        else
            in >> key >> v;
        if constexpr (std::is_same_v<T, double>)
            EXPECT_EQ(std::bit_cast<std::uint64_t>(v), std::bit_cast<std::uint64_t>(expected)) << v;
        else
            EXPECT_EQ(v, expected);
    };
}

struct Example {
    Writer write;
    std::string content;  // what follows the version field
    Reader check;
};

const std::vector<Example>& Examples() {
    static const std::vector<Example> examples = {
        {[](UKeyOutStream&) {}, "", [](UKeyInStream& in) { EXPECT_FALSE(in.Exists(kSt)); }},
        {W(kSt, 0), "'St' 00 02", R(kSt, 0)},
        {W(kSt, -1), "'St' 04 02 FF FF FF FF", R(kSt, -1)},
        {W(kSt, 256), "'St' 02 02 01 00", R(kSt, 256)},
        {W(kSt, std::numeric_limits<int>::min()), "'St' 04 02 80 00 00 00",
         R(kSt, std::numeric_limits<int>::min())},
        {W(kBr, false), "'Br' 00 01", R(kBr, false)},
        {W(kBr, true), "'Br' 01 01 01", R(kBr, true)},
        {W(kLH, 1.5), "'LH' 08 04 3F F8 00 00 00 00 00 00", R(kLH, 1.5)},
        {W(kLH, -0.0), "'LH' 08 04 80 00 00 00 00 00 00 00", R(kLH, -0.0)},
        {W(kPv, ustring(bytes("00 00 'a'"))), "'Pv' 03 05 00 00 'a'", R(kPv, bytes("00 00 'a'"))},
        {W(kSS, ustring(254, 'x')), "'SS' FE 05 '" + std::string(254, 'x') + "'", R(kSS, ustring(254, 'x'))},
        {W(kSS, ustring(255, 'y')), "'SS' FF 00 00 00 FF 05 '" + std::string(255, 'y') + "'",
         R(kSS, ustring(255, 'y'))},
        {[](UKeyOutStream& o) { (o << kDp).WriteField("\0\0\1", 3, UKeyStream::eType_Bytes); },
         "'Dp' 03 08 00 00 01", R(kDp, bytes("00 00 01"))},
        {[](UKeyOutStream& o) { (o << kJJ << UKeyOutStream::StartRecord(kJJ)).Pop(); },
         "'JJ' FF 00 00 00 00 06", In(kJJ, [](UKeyInStream& in) { EXPECT_FALSE(in.Next()); })},
        // Opening a container keeps a pending key.
        {[](UKeyOutStream& o) { (o << kPv << UKeyOutStream::StartRecord(kJJ) << 5).Pop(); },
         "'JJ' FF 00 00 00 05 06 'Pv' 01 02 05", In(kJJ, R(kPv, 5))},
    };
    return examples;
}

// The 50-byte example: an int, then an array of four doubles.
const Bytes k50 = bytes(
    "4B 53 FF 00 00 00 2A 06 C0 DE 01 02 01 53 74 01 02 05 52 54 FF 00 00 00 18 07 00 04 00 04 08 04 40 6A "
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
    EXPECT_EQ(values, (std::vector<double>{0, 0, 210, 297}));
}

TEST(KeyStreamExamples, WrittenAndReadBack) {
    EXPECT_EQ(Written(0, [](UKeyOutStream&) {}), bytes("4B 53 FF 00 00 00 05 06 C0 DE 01 02 01"));
    const Bytes withId = Written(kJob5, [](UKeyOutStream&) {});
    EXPECT_EQ(withId, Root(bytes("'ID' 04 02 'JOB5' C0 DE 01 02 01")));
    // The header fields are ordinary fields of the root too.
    Read(withId, [](UKeyInStream& in) {
        EXPECT_EQ(in.GetVersion(), 1);
        R(UKey('I', 'D'), kJob5)(in), R(UKey(0xC0DE), 1)(in);
    });
    EXPECT_EQ(Written(0, Write50), k50);
    Read(k50, Check50);
    for (const auto& ex : Examples()) {
        SCOPED_TRACE(ex.content);
        EXPECT_EQ(Written(0, ex.write), Stream(ex.content));
        Read(Stream(ex.content), ex.check);
    }
}

// Records nested as deep as the writer goes, the innermost holding a field under the same key.
Bytes Nested() {
    return Written(0, [](UKeyOutStream& o) {
        for (int i = 1; i < UKeyStream::kMaxLevels; ++i) o << UKeyOutStream::StartRecord(kJJ);
        o << kJJ << 9;
        EXPECT_THROW(o << UKeyOutStream::StartRecord(kJJ), std::logic_error);
    });
}

// Opens every container a stream holds and reads every field's bytes; returns normally or throws.
void Walk(UKeyInStream& in) {
    std::string raw;
    if (!in.IsKeyed()) {
        for (UKeyInStream::FieldInfo info; in.PeekField(info);) in.Read8BitStringWithUnknownEncoding(raw);
        return;
    }
    while (in.Next()) {
        for (const auto& field : in.IndexedFields()) {
            (in >> field.key).Read8BitStringWithUnknownEncoding(raw);
            if (field.type == UKeyStream::eType_Record)
                in >> UKeyInStream::StartRecord(field.key);
            else if (field.type == UKeyStream::eType_Array)
                in >> UKeyInStream::StartArray(field.key);
            else
                continue;
            Walk(in);
            in.Pop();
        }
    }
}

TEST(KeyStreamHardening, BadHeadersLengthsAndInputsFailCleanly) {
    const struct {
        Bytes bytes;
        const char* error;
        Reader read = Walk;
    } cases[] = {
        {Bytes(), "meta key mismatch"},
        {bytes("'KT' 00 06"), "meta key mismatch"},
        {bytes("'KS' 00 07"), "expecting record"},
        {bytes("'KS' FF 00 00"), "input ends inside the root record header"},
        {Root(bytes("C0 DE 05 02 01 00 00 00 00")), "version field is 5 bytes"},
        // Lengths of remaining + 1 and the largest values.
        {Patch(k50, 6, "2B"), "root record length"},
        {Patch(k50, 24, "19"), "field at offset 18"},
        {Patch(k50, 21, "FF FF FF FF"), "field at offset 18 is 4294967295 bytes long"},
        {Patch(k50, 40, "09"), "field at offset 40"},
        {Stream("'SS' FF 80 00 00 00 05 'a'"), "field at offset 13 is 2147483648 bytes long"},
        {Stream("'JJ' FF 00 00 00 01 06 'S'"), "record ends inside a field key"},
        {Stream("'SS' FF 00"), "record ends inside a field header"},
        {Stream("'RT' FF 00 00 00 01 07 FF"), "array ends inside a field header"},
        {Nested(), "exceeded depth",
         [](UKeyInStream& in) {
             for (int i = 1; i <= UKeyStream::kMaxLevels; ++i) in >> UKeyInStream::StartRecord(kJJ);
         }},
        // A field longer than the target it is read into.
        {Stream("'LH' 09 04 01 02 03 04 05 06 07 08 09"), "reading field longer than expected", R(kLH, 0.0)},
        {Stream("'St' 05 02 01 02 03 04 05"), "reading field longer than expected", R(kSt, 0)},
    };
    for (const auto& c : cases)
        EXPECT_THAT(ErrorOf(c.bytes, c.read), StartsWith(std::string("UKeyInStream: ") + c.error));
    std::istringstream failed(k50);
    failed.setstate(std::ios::failbit);
    EXPECT_THROW(UKeyInStream{failed}, std::runtime_error);

    testing_support::OneWayBuffer oneWay(k50);
    // Claims one more byte than it delivers: the end reported by seeking lies.
    struct Liar : std::stringbuf {
        using std::stringbuf::stringbuf;
        pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override {
            const pos_type pos = std::stringbuf::seekoff(off, dir, which);
            return dir == std::ios_base::end ? pos_type(off_type(str().size() + 1)) : pos;
        }
    } liar(Stream("'SS' 03 05 'abc'").substr(0, 19), std::ios::in);
    for (const auto& [buffer, error] :
         {std::pair<std::streambuf*, const char*>{&oneWay, "input stream is not seekable"},
          {&liar, "input ended early"}}) {
        std::istream is(buffer);
        EXPECT_THAT(ErrorOf(is, Walk), StartsWith(std::string("UKeyInStream: ") + error));
    }
}

// The bytes after a container are there to be read, but its end bounds its fields: a field
// claiming more is refused, whether looked up or walked, at the start of the input and where the
// window was refilled.
TEST(KeyStreamHardening, FieldsStayInsideTheirContainer) {
    const Reader raw = [](UKeyInStream& in) {
        std::string bytes;
        (in >> kSt).Read8BitStringWithUnknownEncoding(bytes);
    };
    const struct {
        const char* fields;
        int at, length, end;  // offsets from the first of `fields`
        const char* container;
        Reader lookUp;
    } cases[] = {
        {"'JJ' FF 00 00 00 05 06 'St' 02 02 01 'St' 01 02 05", 8, 2, 13, "record", In(kJJ, raw)},
        {"'RT' FF 00 00 00 02 07 01 02 'St' 01 02 05", 8, 1, 10, "array",
         [](UKeyInStream& in) {
             int value = 0;
             in >> UKeyInStream::StartArray(kRT) >> value;
         }},
        {"'JJ' FF 00 00 00 08 06 'KK' FF 00 00 00 02 06 'St' 00 02", 8, 2, 16, "record",
         In(kJJ, In(UKey('K', 'K'), raw))},
    };
    for (const Bytes& before : {Bytes(), bytes("'Dp' FF 00 01 11 70 08") + Bytes(0x11170, 'r')}) {
        for (const auto& c : cases) {
            const auto offset = [&](int rel) { return std::to_string(13 + before.size() + rel); };
            const std::string error = "UKeyInStream: field at offset " + offset(c.at) + " is " +
                                      std::to_string(c.length) + " bytes long, past the end of its " +
                                      c.container + " at offset " + offset(c.end);
            for (const Reader& read : {Reader(Walk), c.lookUp})
                EXPECT_EQ(ErrorOf(Root(bytes("C0 DE 01 02 01") + before + bytes(c.fields)), read), error);
        }
    }
}

TEST(KeyStreamReader, VersionDecidesStrings) {
    // A string, an int, and an array of a string and an int.
    const std::string fields = "'SS' 05 05 'ok' 00 'noSt' 01 02 07 'AR' FF 00 00 00 06 07 01 05 's' 01 02 08";
    const std::pair<Bytes, int> cases[] = {
        {Root(bytes(fields)), 0},
        {Root(bytes("'ID' 00 02 C0 DE 01 02 02 " + fields)), 2},
        {Root(bytes("C0 DE 04 02 FF FF FF FF " + fields)), -1},
        {Stream(fields), 1},
    };
    for (const auto& [b, version] : cases) {
        Read(b, [version = version](UKeyInStream& in) {
            EXPECT_EQ(in.GetVersion(), version);
            // Strings are cut at a zero byte; the raw bytes are not.
            R(kSS, ustring(version >= 1 ? "ok" : ""))(in);
            R(kSS, bytes("'ok' 00 'no'"))(in);
            R(kSt, 7)(in);
            ustring s = "x";
            int i = 0;
            in >> UKeyInStream::StartArray(kAR) >> s >> i;
            EXPECT_EQ(std::tuple(s, i), std::tuple(ustring(version >= 1 ? "s" : ""), 8));
        });
    }
}

TEST(KeyStreamReader, TextsEndAtTheirFirstZeroByte) {
    // Lengths short and long, around word sizes, with the zero byte at each place, none, and a
    // second zero after the first.
    for (std::size_t length : {0, 1, 3, 4, 5, 7, 8, 9, 15, 16, 17, 24, 200}) {
        for (std::size_t zero = 0; zero <= length; ++zero) {
            std::string text(length, 'x');
            for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>('A' + i % 26);
            if (zero < length) text[zero] = '\0';
            if (zero + 2 < length) text[zero + 2] = '\0';
            const Bytes b = Written(0, [&](UKeyOutStream& out) {
                out << kSS;
                out.WriteField(text.data(), static_cast<int>(text.size()), UKeyStream::eType_String);
                out << kSt << 1;
            });
            const ustring expected(text.data(), std::min(zero, length));
            Read(b, [&](UKeyInStream& in) {
                ustring s = "old";
                UKey key;
                ASSERT_TRUE(in.Next() && in.NextInRun(key) && in.NextInRun(key));
                in >> s;
                EXPECT_EQ(s, expected) << length << " bytes, zero at " << zero;
            });
        }
    }
}

TEST(KeyStreamReader, RunsAndNext) {
    // A, B, A, C: the run is (A, B); C belongs to the next run. Next may come first.
    Read(Stream("'AA' 01 02 01 'BB' 01 02 02 'AA' 01 02 03 'CC' 01 02 04"), [](UKeyInStream& in) {
        EXPECT_TRUE(in.Next());
        R(UKey('A', 'A'), 1)(in);
        EXPECT_FALSE(in.Exists(UKey('C', 'C')));
        EXPECT_EQ(in.IndexedFields().size(), 3u);  // the version field, A and B
        EXPECT_TRUE(in.Next());
        R(UKey('A', 'A'), 3)(in);
        R(UKey('C', 'C'), 4)(in);
    });
}

TEST(KeyStreamReader, WalksFieldByFieldAndLookupsBetweenSteps) {
    // Runs (version=1, A=1, B=2, C=3) and (A=4, D=5).
    const UKey A('A', 'A'), B('B', 'B'), C('C', 'C'), D('D', 'D'), version(0xC0DE);
    const auto steps = [](UKeyInStream& in, int count) {
        std::vector<int> seen;
        UKey key;
        for (int i = 0; i < count && in.NextInRun(key); ++i) {
            int v = 0;
            in >> v;
            seen.push_back(key * 100 + v);
        }
        return seen;
    };
    const auto at = [](UKey k, int v) { return k * 100 + v; };
    Read(Stream("'AA' 01 02 01 'BB' 01 02 02 'CC' 01 02 03 'AA' 01 02 04 'DD' 01 02 05"), [&](UKeyInStream& in) {
        ASSERT_TRUE(in.Next());
        EXPECT_EQ(steps(in, 2), (std::vector{at(version, 1), at(A, 1)}));
        // Lookups mid-walk find fields on either side; the walk goes on where it stood.
        R(C, 3)(in);
        R(A, 1)(in);
        EXPECT_FALSE(in.Exists(D));
        EXPECT_EQ(steps(in, 9), (std::vector{at(B, 2), at(C, 3)}));
        ASSERT_TRUE(in.Next());
        EXPECT_EQ(steps(in, 1), std::vector{at(A, 4)});
        // An abandoned walk: the next run starts after the rest of this one.
        EXPECT_FALSE(in.Next());
    });
    // An inner record of 131072 runs, its key also the outer run's; only the first run holds D.
    // The run marks start again every 65535 runs, so the runs after pass through every
    // generation, D's first one too: none may see D. The outer run keeps its own marks. Read
    // twice, as the second stream takes over the marks the first left behind; then a stream
    // without the key must not see it.
    constexpr int kRuns = 131072;
    std::string many = bytes("'CC' 00 02 'DD' 00 02");
    for (int i = 1; i < kRuns; ++i) many += bytes("'CC' 00 02");
    for (int pass = 0; pass < 2; ++pass) {
        Read(Root(bytes("C0 DE 01 02 01 'RR' FF 00 08 00 04 06") + many + bytes("'CC' 01 02 07")),
             [&](UKeyInStream& in) {
                 int runs = 0, seeingD = 0;
                 in >> UKeyInStream::StartRecord(UKey('R', 'R'));
                 while (in.Next()) {
                     runs += !steps(in, 1).empty();
                     seeingD += in.Exists(D);
                 }
                 in.Pop();
                 EXPECT_EQ(std::pair(runs, seeingD), std::pair(kRuns, 1));
                 R(version, 1)(in);
                 R(C, 7)(in);
                 EXPECT_FALSE(in.Exists(A));
             });
    }
    Read(Stream("'AA' 01 02 01"), [&](UKeyInStream& in) { EXPECT_FALSE(in.Exists(C)); });
    // A record opened before the outer walk's first step is walked on its own; the outer walk
    // then starts at its run's first field.
    Read(Stream("'JJ' FF 00 00 00 05 06 'St' 01 02 09 'AA' 01 02 01"), [&](UKeyInStream& in) {
        ASSERT_TRUE(in.Next());
        in >> UKeyInStream::StartRecord(kJJ);
        EXPECT_EQ(steps(in, 9), std::vector{at(kSt, 9)});
        in.Pop();
        UKey key;
        ASSERT_TRUE(in.NextInRun(key));
        EXPECT_EQ(key, version);
    });
    // An array has no run to walk or look up; its fields are still read in order.
    Read(Stream("'AR' FF 00 00 00 06 07 01 02 07 01 02 08"), [&](UKeyInStream& in) {
        in >> UKeyInStream::StartArray(kAR);
        UKey key;
        EXPECT_FALSE(in.NextInRun(key));
        EXPECT_FALSE(in.Exists(kAR));
        int a = 0, b = 0;
        in >> a >> b;
        EXPECT_EQ(std::pair(a, b), std::pair(7, 8));
    });
}

// Runs long enough for a key table, one slot per key or hashed, each after a longer or a shorter
// one: every key of a run is found with its own value, looked up out of order, and no key of
// the run before it is.
TEST(KeyStreamReader, LongRunsLookedUpAfterOneAnother) {
    const std::vector<int> sizes = {5000, 40, 4100, 33, 32, 70, 4097};
    const UKey first(1);  // opens every run, so that each ends where the next begins
    // Distinct keys from 2 on for each run, a different set each time.
    const auto keyOf = [](std::size_t run, int i) {
        return UKey(static_cast<unsigned short>(2 + (std::uint64_t(i) * 40503 + run * 7919) % 65534));
    };
    const Bytes b = Written(0, [&](UKeyOutStream& out) {
        out << UKeyOutStream::StartRecord(kJJ);
        for (std::size_t run = 0; run < sizes.size(); ++run) {
            out << first << int(run);
            for (int i = 0; i < sizes[run]; ++i) out << keyOf(run, i) << int(run * 100000 + i);
        }
    });
    Read(b, In(kJJ, [&](UKeyInStream& in) {
             for (std::size_t run = 0; run < sizes.size(); ++run) {
                 SCOPED_TRACE(run);
                 ASSERT_TRUE(in.Next());
                 R(first, int(run))(in);
                 int wrong = 0;
                 for (int i = sizes[run] - 1; i >= 0; --i) {
                     int v = -1;
                     in >> keyOf(run, i) >> v;
                     wrong += v != int(run * 100000 + i);
                 }
                 EXPECT_EQ(wrong, 0);
                 if (run == 0) continue;
                 int seen = 0, gone = 0;
                 for (int i = 0; i < sizes[run - 1]; ++i) {
                     const UKey key = keyOf(run - 1, i);
                     bool inRun = false;
                     for (int j = 0; j < sizes[run] && !inRun; ++j) inRun = keyOf(run, j) == key;
                     if (inRun) continue;
                     ++gone;
                     seen += in.Exists(key);
                 }
                 EXPECT_GT(gone, 0);
                 EXPECT_EQ(seen, 0);
             }
             EXPECT_FALSE(in.Next());
         }));
}

TEST(KeyStreamReader, LongFieldsAndInputNotAtOffsetZero) {
    // Long data is read apart from the scan, so fields after it are still found.
    Bytes large(70000, 'r');
    large[1234] = 0;
    Read(Written(0,
                 [&](UKeyOutStream& o) {
                     (o << kDp).WriteField(large.data(), int(large.size()), UKeyStream::eType_Bytes);
                     o << kSt << 77;
                 }),
         [&](UKeyInStream& in) {
             R(kSt, 77)(in);
             R(kDp, large)(in);
         });
    // Read through a window of its own, the fields before the long data have left it; an empty
    // text there is still empty.
    struct OwnWindow : std::stringbuf {
        using std::stringbuf::stringbuf;
    } own(Written(0,
                  [&](UKeyOutStream& o) {
                      o << kSS << "";
                      (o << kDp).WriteField(large.data(), int(large.size()), UKeyStream::eType_Bytes);
                      o << kSt << 77;
                  }),
          std::ios::in);
    std::istream ownInput(&own);
    EXPECT_EQ(ErrorOf(ownInput,
                      [&](UKeyInStream& in) {
                          R(kSt, 77)(in);
                          R(kSS, ustring())(in);
                      }),
              "");
    // Nor does the reader assume its input starts at offset 0.
    std::istringstream is("prefix" + k50);
    is.seekg(6);
    EXPECT_EQ(ErrorOf(is, Check50), "");
}

// What the readers of a stream's records build, and the flattened messages in its fields take,
// comes out of one budget of the input's size.
TEST(KeyStreamReader, OneBudgetForTheWholeInput) {
    const Bytes input = Stream("'SR' 0A 08 04 01 01 'a' 01 01 01 00 01 05");
    const std::uint64_t all = vnu::ReadBudget::kAllowance + vnu::ReadBudget::kPerInputByte * input.size();
    Read(input, [&](UKeyInStream& in) { in.Charge(all, "records"); });
    const std::string error = ErrorOf(input, [&](UKeyInStream& in) {
        umessage ticket;
        in >> UKey('S', 'R') >> ticket;
        EXPECT_EQ(ticket.get<int>("a", 0, 0), 5);
        in.Charge(all, "records");
    });
    EXPECT_EQ(error,
              "UKeyInStream: too many records for an input of " + std::to_string(input.size()) + " bytes");
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
    Write50(*std::make_unique<UKeyOutStream>(bad, kJob5));
    EXPECT_TRUE(bad.bad() && bad.str().empty());
}

TEST(OutFileSpec, WritesThePathOrTheEmptyString) {
    const Bytes written = Written(0, [](UKeyOutStream& o) {
        UKeyStreamUtils::OutFileSpec(o, kPv, UFileSpecCore("/jobs/a.pdf", nullptr));
        UKeyStreamUtils::OutFileSpec(o, kSS, UFileSpecCore());
    });
    // An empty file spec still gives a field: key, length 0, string type.
    EXPECT_EQ(written, Stream("'Pv' 0B 05 '/jobs/a.pdf' 'SS' 00 05"));
}

}  // namespace
