#include "UKeyStream.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "umessage.h"

namespace {

using Bytes = std::string;

Bytes B(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

Bytes BE32(std::uint32_t v) {
    return B({int(v >> 24), int((v >> 16) & 255), int((v >> 8) & 255), int(v & 255)});
}

// A root record as the writer lays it out: 5-byte length, the version field first.
Bytes Stream(const Bytes& content) {
    const Bytes body = B({0xC0, 0xDE, 0x01, 0x02, 0x01}) + content;
    return B({'K', 'S', 0xFF}) + BE32(std::uint32_t(body.size())) + B({6}) + body;
}

// A root record holding exactly `body`, with no version field unless the body has one.
Bytes Root(const Bytes& body) {
    return B({'K', 'S', 0xFF}) + BE32(std::uint32_t(body.size())) + B({6}) + body;
}

Bytes Written(int identifier, const std::function<void(UKeyOutStream&)>& write) {
    std::ostringstream os;
    UKeyOutStream out(os, identifier);
    write(out);
    out.Flush();
    return os.str();
}

template <class F>
void ExpectReadError(const Bytes& bytes, const std::string& text, F&& read) {
    std::istringstream is(bytes);
    try {
        UKeyInStream in(is);
        read(in);
        ADD_FAILURE() << "no error, expected \"" << text << "\"";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), ::testing::StartsWith(text));
    }
}

void ExpectReadError(const Bytes& bytes, const std::string& text) {
    ExpectReadError(bytes, text, [](UKeyInStream&) {});
}

const UKey kSt('S', 't');
const UKey kRT('R', 'T');

// ---------------------------------------------------------------------------------------------
// The format's byte examples, written and read back.

struct ByteExample {
    const char* name;
    std::function<void(UKeyOutStream&)> write;
    Bytes content;  // what follows the version field
    std::function<void(UKeyInStream&)> check;
};

const std::vector<ByteExample>& Examples() {
    static const std::vector<ByteExample> examples = {
        {"nothing", [](UKeyOutStream&) {}, B({}),
         [](UKeyInStream& in) {
             EXPECT_EQ(in.GetVersion(), 1);
             EXPECT_FALSE(in.Exists(kSt));
         }},
        {"int 0", [](UKeyOutStream& o) { o << kSt << 0; }, B({'S', 't', 0x00, 0x02}),
         [](UKeyInStream& in) {
             int v = 7;
             in >> kSt >> v;
             EXPECT_EQ(v, 0);
         }},
        {"int 1", [](UKeyOutStream& o) { o << kSt << 1; }, B({'S', 't', 0x01, 0x02, 0x01}),
         [](UKeyInStream& in) {
             int v = 0;
             in >> kSt >> v;
             EXPECT_EQ(v, 1);
         }},
        {"int -1", [](UKeyOutStream& o) { o << kSt << -1; },
         B({'S', 't', 0x04, 0x02, 0xFF, 0xFF, 0xFF, 0xFF}),
         [](UKeyInStream& in) {
             int v = 0;
             in >> kSt >> v;
             EXPECT_EQ(v, -1);
         }},
        {"int 256", [](UKeyOutStream& o) { o << kSt << 256; }, B({'S', 't', 0x02, 0x02, 0x01, 0x00}),
         [](UKeyInStream& in) {
             int v = 0;
             in >> kSt >> v;
             EXPECT_EQ(v, 256);
         }},
        {"int min", [](UKeyOutStream& o) { o << kSt << std::numeric_limits<int>::min(); },
         B({'S', 't', 0x04, 0x02, 0x80, 0x00, 0x00, 0x00}),
         [](UKeyInStream& in) {
             int v = 0;
             in >> kSt >> v;
             EXPECT_EQ(v, std::numeric_limits<int>::min());
         }},
        {"bool false", [](UKeyOutStream& o) { o << UKey('B', 'r') << false; }, B({'B', 'r', 0x00, 0x01}),
         [](UKeyInStream& in) {
             bool v = true;
             in >> UKey('B', 'r') >> v;
             EXPECT_FALSE(v);
         }},
        {"bool true", [](UKeyOutStream& o) { o << UKey('B', 'r') << true; }, B({'B', 'r', 0x01, 0x01, 0x01}),
         [](UKeyInStream& in) {
             bool v = false;
             in >> UKey('B', 'r') >> v;
             EXPECT_TRUE(v);
         }},
        {"double 0", [](UKeyOutStream& o) { o << UKey('L', 'H') << 0.0; }, B({'L', 'H', 0x00, 0x04}),
         [](UKeyInStream& in) {
             double v = 9.0;
             in >> UKey('L', 'H') >> v;
             EXPECT_EQ(v, 0.0);
         }},
        {"double 1.5", [](UKeyOutStream& o) { o << UKey('L', 'H') << 1.5; },
         B({'L', 'H', 0x08, 0x04, 0x3F, 0xF8, 0, 0, 0, 0, 0, 0}),
         [](UKeyInStream& in) {
             double v = 0.0;
             in >> UKey('L', 'H') >> v;
             EXPECT_EQ(v, 1.5);
         }},
        {"double -0", [](UKeyOutStream& o) { o << UKey('L', 'H') << -0.0; },
         B({'L', 'H', 0x08, 0x04, 0x80, 0, 0, 0, 0, 0, 0, 0}),
         [](UKeyInStream& in) {
             double v = 0.0;
             in >> UKey('L', 'H') >> v;
             EXPECT_TRUE(std::signbit(v));
         }},
        {"string", [](UKeyOutStream& o) { o << UKey('P', 'v') << "748"; },
         B({'P', 'v', 0x03, 0x05, '7', '4', '8'}),
         [](UKeyInStream& in) {
             ustring v;
             in >> UKey('P', 'v') >> v;
             EXPECT_EQ(v, "748");
         }},
        {"string with leading zero bytes is not stripped",
         [](UKeyOutStream& o) {
             o << UKey('P', 'v') << ustring(B({0, 0, 'a'}));
         },
         B({'P', 'v', 0x03, 0x05, 0, 0, 'a'}),
         [](UKeyInStream& in) {
             std::string raw;
             in >> UKey('P', 'v');
             in.Read8BitStringWithUnknownEncoding(raw);
             EXPECT_EQ(raw, B({0, 0, 'a'}));
         }},
        {"string of 254 bytes", [](UKeyOutStream& o) { o << UKey('S', 'S') << ustring(254, 'x'); },
         B({'S', 'S', 0xFE, 0x05}) + Bytes(254, 'x'),
         [](UKeyInStream& in) {
             ustring v;
             in >> UKey('S', 'S') >> v;
             EXPECT_EQ(v, ustring(254, 'x'));
         }},
        {"string of 255 bytes", [](UKeyOutStream& o) { o << UKey('S', 'S') << ustring(255, 'y'); },
         B({'S', 'S', 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x05}) + Bytes(255, 'y'),
         [](UKeyInStream& in) {
             ustring v;
             in >> UKey('S', 'S') >> v;
             EXPECT_EQ(v, ustring(255, 'y'));
         }},
        {"opaque bytes keep their zeros",
         [](UKeyOutStream& o) {
             const Bytes data = B({0, 0, 1});
             o << UKey('D', 'p');
             o.WriteField(data.data(), 3, UKeyStream::eType_Bytes);
         },
         B({'D', 'p', 0x03, 0x08, 0, 0, 1}),
         [](UKeyInStream& in) {
             std::string raw = "unchanged";
             in >> UKey('D', 'p');
             in.Read8BitStringWithUnknownEncoding(raw);
             EXPECT_EQ(raw, B({0, 0, 1}));
         }},
        {"empty record", [](UKeyOutStream& o) { o << UKeyOutStream::StartRecord(UKey('J', 'J')); },
         B({'J', 'J', 0xFF, 0, 0, 0, 0, 0x06}),
         [](UKeyInStream& in) {
             in >> UKeyInStream::StartRecord(UKey('J', 'J'));
             EXPECT_FALSE(in.Next());
             in.Pop();
         }},
        {"field without a key carries key 0", [](UKeyOutStream& o) { o << 5; }, B({0, 0, 0x01, 0x02, 0x05}),
         [](UKeyInStream& in) {
             int v = 0;
             in >> UKey(0) >> v;
             EXPECT_EQ(v, 5);
         }},
        {"numeric keys",
         [](UKeyOutStream& o) {
             o << UKeyOutStream::StartRecord(UKey(10)) << UKey(120) << -2;
             o << UKeyOutStream::StartRecord(UKey(140)) << UKey(3201) << 3;
             o.Pop();
             o.Pop();
         },
         B({0x00, 0x0A, 0xFF}) + BE32(21) +
             B({0x06, 0x00, 0x78, 0x04, 0x02, 0xFF, 0xFF, 0xFF, 0xFE, 0x00, 0x8C, 0xFF}) + BE32(5) +
             B({0x06, 0x0C, 0x81, 0x01, 0x02, 0x03}),
         [](UKeyInStream& in) {
             int page = 0, item = 0;
             in >> UKeyInStream::StartRecord(UKey(10)) >> UKey(120) >> page;
             in >> UKeyInStream::StartRecord(UKey(140)) >> UKey(3201) >> item;
             in.Pop();
             in.Pop();
             EXPECT_EQ(page, -2);
             EXPECT_EQ(item, 3);
         }},
    };
    return examples;
}

// The 50-byte example: an int, then an array of four doubles.
const Bytes k50 =
    B({0x4B, 0x53, 0xFF, 0x00, 0x00, 0x00, 0x2A, 0x06, 0xC0, 0xDE, 0x01, 0x02, 0x01, 0x53, 0x74, 0x01, 0x02,
       0x05, 0x52, 0x54, 0xFF, 0x00, 0x00, 0x00, 0x18, 0x07, 0x00, 0x04, 0x00, 0x04, 0x08, 0x04, 0x40, 0x6A,
       0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x04, 0x40, 0x72, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00});

void Write50(UKeyOutStream& out) {
    out << kSt << 5 << UKeyOutStream::StartArray(kRT) << 0.0 << 0.0 << 210.0 << 297.0;
    out.Pop();
}

void Check50(UKeyInStream& in) {
    int st = 0;
    in >> kSt >> st;
    EXPECT_EQ(st, 5);
    std::vector<double> values;
    in >> UKeyInStream::StartArray(kRT);
    while (in.Next()) {
        double v = -1;
        in >> v;
        values.push_back(v);
    }
    in.Pop();
    EXPECT_EQ(values, (std::vector<double>{0, 0, 210, 297}));
}

TEST(KeyStreamExamples, WriterProducesTheBytes) {
    for (const auto& ex : Examples()) {
        EXPECT_EQ(Written(0, ex.write), Stream(ex.content)) << ex.name;
    }
    EXPECT_EQ(Written(0, [](UKeyOutStream&) {}),
              B({0x4B, 0x53, 0xFF, 0x00, 0x00, 0x00, 0x05, 0x06, 0xC0, 0xDE, 0x01, 0x02, 0x01}));
    EXPECT_EQ(Written(0, Write50), k50);
    EXPECT_EQ(Written(0x4A4F4235, [](UKeyOutStream&) {}),
              Root(B({'I', 'D', 0x04, 0x02, 'J', 'O', 'B', '5', 0xC0, 0xDE, 0x01, 0x02, 0x01})));
}

TEST(KeyStreamExamples, ReaderReadsTheBytes) {
    for (const auto& ex : Examples()) {
        SCOPED_TRACE(ex.name);
        std::istringstream is(Stream(ex.content));
        UKeyInStream in(is);
        ex.check(in);
    }
    std::istringstream is(k50);
    UKeyInStream in(is);
    Check50(in);
}

TEST(KeyStreamExamples, HeaderFieldsAreOrdinaryFields) {
    std::istringstream is(Written(0x4A4F4235, [](UKeyOutStream&) {}));
    UKeyInStream in(is);
    int id = 0, version = 0;
    in >> UKey('I', 'D') >> id >> UKey(0xC0DE) >> version;
    EXPECT_EQ(id, 0x4A4F4235);
    EXPECT_EQ(version, 1);
    EXPECT_EQ(in.GetVersion(), 1);
}

// Reads everything a stream holds, every field as every type, as a caller that trusts nothing
// would; returns normally or throws.
void WalkLevel(UKeyInStream& in, int depth) {
    if (in.IsKeyed()) {
        for (bool more = in.Next(); more; more = in.Next()) {
            for (const auto& field : in.IndexedFields()) {
                int i = 0;
                bool b = false;
                double d = 0;
                ustring s;
                std::string raw;
                if (field.length <= 4) in >> field.key >> i;
                if (field.length <= 1) in >> field.key >> b;
                if (field.length <= 8) in >> field.key >> d;
                in >> field.key >> s;
                in >> field.key;
                in.Read8BitStringWithUnknownEncoding(raw);
                if (depth + 1 < UKeyStream::kMaxLevels &&
                    (field.type == UKeyStream::eType_Record || field.type == UKeyStream::eType_Array)) {
                    if (field.type == UKeyStream::eType_Record) {
                        in >> UKeyInStream::StartRecord(field.key);
                    } else {
                        in >> UKeyInStream::StartArray(field.key);
                    }
                    WalkLevel(in, depth + 1);
                    in.Pop();
                }
            }
        }
    } else {
        UKeyInStream::FieldInfo info;
        while (in.PeekField(info)) {
            std::string raw;
            in.Read8BitStringWithUnknownEncoding(raw);
        }
    }
}

TEST(KeyStreamExamples, EveryTruncationFailsCleanly) {
    std::vector<Bytes> streams = {k50, Written(0x4A4F4235, Write50)};
    for (const auto& ex : Examples()) streams.push_back(Stream(ex.content));
    for (const Bytes& full : streams) {
        for (std::size_t n = 0; n < full.size(); ++n) {
            ExpectReadError(full.substr(0, n), "UKeyInStream: ");
        }
    }
}

// Cut inside the structure with the root's length made to fit: the bytes end inside a nested
// field or container. Reading must either succeed (a cut between fields) or fail cleanly.
TEST(KeyStreamExamples, TruncationInsideTheRootFailsCleanly) {
    std::vector<Bytes> streams = {k50};
    for (const auto& ex : Examples()) streams.push_back(Stream(ex.content));
    int failures = 0;
    for (const Bytes& full : streams) {
        for (std::size_t n = 8; n < full.size(); ++n) {
            const Bytes cut = Root(full.substr(8, n - 8));
            std::istringstream is(cut);
            try {
                UKeyInStream in(is);
                WalkLevel(in, 0);
            } catch (const std::runtime_error& e) {
                EXPECT_THAT(e.what(), ::testing::StartsWith("UKeyInStream: "));
                ++failures;
            }
        }
    }
    EXPECT_GT(failures, 0);
}

// ---------------------------------------------------------------------------------------------
// Lengths that point past the end of their container.

struct BadLength {
    const char* name;
    Bytes bytes;
    std::function<void(UKeyInStream&)> read;
    const char* error;
};

TEST(KeyStreamHardening, LengthsPastTheEndFail) {
    const auto walk = [](UKeyInStream& in) { WalkLevel(in, 0); };
    const auto readRT = [](UKeyInStream& in) { Check50(in); };
    Bytes rootPlusOne = k50;
    rootPlusOne[6] = 0x2B;
    Bytes arrayPlusOne = k50;
    arrayPlusOne[24] = 0x19;
    Bytes intPlusOne = k50;
    intPlusOne[15] = 50 - 17 + 1;  // from its data to the end of the root, plus one
    Bytes elementPlusOne = k50;
    elementPlusOne[40] = 0x09;  // last double: 8 bytes remain in the array
    const std::vector<BadLength> cases = {
        {"root length remaining + 1", rootPlusOne, walk, "UKeyInStream: root record length"},
        {"root length largest", Root(Bytes()).substr(0, 3) + BE32(0xFFFFFFFF) + B({6}), walk,
         "UKeyInStream: root record length"},
        {"array length remaining + 1", arrayPlusOne, readRT, "UKeyInStream: field at offset 18"},
        {"int length past the record", intPlusOne, readRT, "UKeyInStream: field at offset 13"},
        {"array element remaining + 1", elementPlusOne, readRT, "UKeyInStream: field at offset 40"},
        {"string length largest", Stream(B({'S', 'S', 0xFF}) + BE32(0xFFFFFFFF) + B({5, 'a'})), walk,
         "UKeyInStream: field at offset 13 is 4294967295 bytes long"},
        {"string length 2^31", Stream(B({'S', 'S', 0xFF}) + BE32(0x80000000) + B({5, 'a'})), walk,
         "UKeyInStream: field at offset 13 is 2147483648 bytes long"},
        {"record inside record past its parent",
         Stream(B({'J', 'J', 0xFF}) + BE32(6) + B({6, 'S', 't', 0x04, 0x02, 1, 2})), walk,
         "UKeyInStream: field at offset 21"},
        {"key cut off at the end of a record", Stream(B({'J', 'J', 0xFF}) + BE32(1) + B({6, 'S'})), walk,
         "UKeyInStream: record ends inside a field key"},
        {"long length form cut off", Stream(B({'S', 'S', 0xFF, 0x00})), walk,
         "UKeyInStream: record ends inside a field header"},
        {"array header cut off", Stream(B({'R', 'T', 0xFF}) + BE32(1) + B({7, 0xFF})), walk,
         "UKeyInStream: array ends inside a field header"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectReadError(c.bytes, c.error, c.read);
    }
}

TEST(KeyStreamHardening, HeaderErrors) {
    ExpectReadError(Bytes(), "UKeyInStream: meta key mismatch");
    ExpectReadError(B({'K'}), "UKeyInStream: meta key mismatch");
    ExpectReadError(B({'K', 'T', 0, 6}), "UKeyInStream: meta key mismatch");
    ExpectReadError(B({'K', 'S', 0, 7}), "UKeyInStream: expecting record");
    ExpectReadError(B({'K', 'S', 0xFF, 0, 0, 0, 0, 5}), "UKeyInStream: expecting record");
    ExpectReadError(B({'K', 'S', 0xFF, 0, 0}), "UKeyInStream: input ends inside the root record header");
    // The version must fit its 32 bits.
    ExpectReadError(Root(B({0xC0, 0xDE, 0x05, 0x02, 1, 0, 0, 0, 0})),
                    "UKeyInStream: version field is 5 bytes");
    // A failed stream yields nothing.
    std::istringstream failed(k50);
    failed.setstate(std::ios::failbit);
    EXPECT_THROW(UKeyInStream{failed}, std::runtime_error);
}

TEST(KeyStreamHardening, UnseekableInputIsRefused) {
    struct OneWay : std::streambuf {
        explicit OneWay(std::string s) : text(std::move(s)) {
            setg(text.data(), text.data(), text.data() + text.size());
        }
        std::string text;
    } buffer(k50);
    std::istream is(&buffer);
    try {
        UKeyInStream in(is);
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "UKeyInStream: input stream is not seekable");
    }
}

TEST(KeyStreamHardening, AnInputThatShrinksFailsCleanly) {
    // Claims one more byte than it delivers: the end reported by seeking lies.
    struct Liar : std::stringbuf {
        explicit Liar(const std::string& s) : std::stringbuf(s, std::ios::in) {}
        pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override {
            if (dir == std::ios_base::end) {
                std::stringbuf::seekoff(off, dir, which);
                return pos_type(off_type(str().size() + 1));
            }
            return std::stringbuf::seekoff(off, dir, which);
        }
    };
    // The root length matches the claimed size; the last byte is missing.
    const Bytes text = Stream(B({'S', 'S', 3, 5, 'a', 'b', 'c'}));
    Liar buffer(text.substr(0, text.size() - 1));
    std::istream is(&buffer);
    try {
        UKeyInStream in(is);
        WalkLevel(in, 0);
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), ::testing::StartsWith("UKeyInStream: input ended early"));
    }
}

// ---------------------------------------------------------------------------------------------
// Reading rules.

TEST(KeyStreamReader, FieldLongerThanItsTarget) {
    const Bytes nine = Stream(B({'L', 'H', 0x09, 0x04, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    ExpectReadError(nine, "UKeyInStream: reading field longer than expected", [](UKeyInStream& in) {
        double v = 0;
        in >> UKey('L', 'H') >> v;
    });
    ExpectReadError(Stream(B({'S', 't', 0x05, 0x02, 1, 2, 3, 4, 5})),
                    "UKeyInStream: reading field longer than expected", [](UKeyInStream& in) {
                        int v = 0;
                        in >> kSt >> v;
                    });
    ExpectReadError(Stream(B({'B', 'r', 0x02, 0x01, 0, 1})),
                    "UKeyInStream: reading field longer than expected", [](UKeyInStream& in) {
                        bool v = false;
                        in >> UKey('B', 'r') >> v;
                    });
}

TEST(KeyStreamReader, AbsentFields) {
    std::istringstream is(Stream(B({'P', 'v', 0x00, 0x05})));
    UKeyInStream in(is);
    int i = 42;
    bool b = true;
    double d = 2.5;
    ustring s = "keep?";
    std::string raw = "kept";
    umessage m;
    m.addData_priv<int>("x", umessage_type_int, 1, false);
    in >> UKey('N', 'o') >> i >> UKey('N', 'o') >> b >> UKey('N', 'o') >> d >> UKey('N', 'o') >> s;
    in >> UKey('N', 'o');
    in.Read8BitStringWithUnknownEncoding(raw);
    in >> UKey('N', 'o') >> m;
    EXPECT_EQ(i, 42);
    EXPECT_TRUE(b);
    EXPECT_EQ(d, 2.5);
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(raw, "kept");
    EXPECT_TRUE(m.empty());
    // Present with no data: the raw bytes are cleared.
    in >> UKey('P', 'v');
    in.Read8BitStringWithUnknownEncoding(raw);
    EXPECT_EQ(raw, "");
    // A missing record opens empty.
    in >> UKeyInStream::StartRecord(UKey('G', 'G'));
    EXPECT_FALSE(in.Next());
    in >> kSt >> i;
    EXPECT_EQ(i, 42);
    in.Pop();
}

TEST(KeyStreamReader, VersionDecidesStrings) {
    const Bytes fields =
        B({'S', 'S', 0x02, 0x05, 'o', 'k', 'S', 't', 0x01, 0x02, 0x07, 'B', 'r', 0x01, 0x01, 0x01});
    struct Case {
        const char* name;
        Bytes bytes;
        int version;
    };
    const std::vector<Case> cases = {
        {"no version field", Root(fields), 0},
        {"version after ID", Root(B({'I', 'D', 0x00, 0x02, 0xC0, 0xDE, 0x01, 0x02, 0x02}) + fields), 2},
        {"version after another field",
         Root(B({'X', 'X', 0x00, 0x02, 0xC0, 0xDE, 0x01, 0x02, 0x01}) + fields), 0},
        {"negative version", Root(B({0xC0, 0xDE, 0x04, 0x02, 0xFF, 0xFF, 0xFF, 0xFF}) + fields), -1},
        {"version 1", Stream(fields), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::istringstream is(c.bytes);
        UKeyInStream in(is);
        EXPECT_EQ(in.GetVersion(), c.version);
        ustring s = "before";
        int i = 0;
        bool b = false;
        in >> UKey('S', 'S') >> s >> kSt >> i >> UKey('B', 'r') >> b;
        EXPECT_EQ(s, c.version >= 1 ? "ok" : "");
        EXPECT_EQ(i, 7);
        EXPECT_TRUE(b);
    }
}

TEST(KeyStreamReader, StringsAreCutAtAZeroByte) {
    std::istringstream is(Stream(B({'S', 'S', 0x05, 0x05, 'a', 'b', 0, 'c', 'd'})));
    UKeyInStream in(is);
    ustring s;
    std::string raw;
    in >> UKey('S', 'S') >> s;
    in.Read8BitStringWithUnknownEncoding(raw);
    EXPECT_EQ(s, "ab");
    EXPECT_EQ(raw, B({'a', 'b', 0, 'c', 'd'}));
}

TEST(KeyStreamReader, RunsAndNext) {
    const Bytes runs = Stream(B({'L', 'X', 0xFF}) + BE32(20) + B({6,   'A', 'A', 1, 2, 1,   'B', 'B', 1, 2, 2,
                                                                  'A', 'A', 1,   2, 3, 'B', 'B', 1,   2, 4}));
    {
        std::istringstream is(runs);
        UKeyInStream in(is);
        int a = 0, b = 0;
        in >> UKeyInStream::StartRecord(UKey('L', 'X')) >> UKey('A', 'A') >> a;
        EXPECT_EQ(a, 1);
        EXPECT_TRUE(in.Next());
        in >> UKey('A', 'A') >> a >> UKey('B', 'B') >> b;
        EXPECT_EQ(a, 3);
        EXPECT_EQ(b, 4);
        EXPECT_FALSE(in.Next());
        in.Pop();
    }
    {
        std::istringstream is(runs);
        UKeyInStream in(is);
        std::vector<int> seen;
        in >> UKeyInStream::StartRecord(UKey('L', 'X'));
        while (in.Next()) {
            int a = 0, b = 0;
            in >> UKey('A', 'A') >> a >> UKey('B', 'B') >> b;
            seen.push_back(a * 10 + b);
        }
        in.Pop();
        EXPECT_EQ(seen, (std::vector<int>{12, 34}));
    }
}

TEST(KeyStreamReader, RepeatedKeyEndsTheRun) {
    // A, B, A, C: the run is (A, B); C belongs to the next run.
    std::istringstream is(
        Stream(B({'A', 'A', 1, 2, 1, 'B', 'B', 1, 2, 2, 'A', 'A', 1, 2, 3, 'C', 'C', 1, 2, 4})));
    UKeyInStream in(is);
    int a = 0, c = 0;
    in >> UKey('A', 'A') >> a;
    EXPECT_EQ(a, 1);
    EXPECT_FALSE(in.Exists(UKey('C', 'C')));
    ASSERT_EQ(in.IndexedFields().size(), 3u);  // the version field, A and B
    EXPECT_TRUE(in.Next());
    in >> UKey('A', 'A') >> a >> UKey('C', 'C') >> c;
    EXPECT_EQ(a, 3);
    EXPECT_EQ(c, 4);
}

TEST(KeyStreamReader, SameKeyDiffersByLevel) {
    const Bytes bytes = Written(0x4A4F4235, [](UKeyOutStream& o) {
        o << UKeyOutStream::StartRecord(UKey('D', 'D')) << UKey('B', 'r') << 3.25 << UKey('I', 'D') << "x1";
        o.Pop();
        o << UKeyOutStream::StartRecord(UKey('B', 'P')) << UKey('B', 'r') << true;
        o.Pop();
    });
    std::istringstream is(bytes);
    UKeyInStream in(is);
    double br = 0;
    bool force = false;
    int id = 0;
    ustring destId;
    in >> UKey('I', 'D') >> id;
    in >> UKeyInStream::StartRecord(UKey('D', 'D')) >> UKey('B', 'r') >> br >> UKey('I', 'D') >> destId;
    in.Pop();
    in >> UKeyInStream::StartRecord(UKey('B', 'P')) >> UKey('B', 'r') >> force;
    in.Pop();
    EXPECT_EQ(id, 0x4A4F4235);
    EXPECT_EQ(br, 3.25);
    EXPECT_EQ(destId, "x1");
    EXPECT_TRUE(force);
}

TEST(KeyStreamReader, TenLevelsAndNoMore) {
    const Bytes bytes = Written(0, [](UKeyOutStream& o) {
        for (int i = 1; i < UKeyStream::kMaxLevels; ++i)
            o << UKeyOutStream::StartRecord(UKey('L', char('0' + i)));
        o << UKey('Z', 'Z') << 9;
        EXPECT_THROW(o << UKeyOutStream::StartRecord(UKey('X', 'X')), std::logic_error);
        EXPECT_EQ(o.Depth(), UKeyStream::kMaxLevels);
    });
    std::istringstream is(bytes);
    UKeyInStream in(is);
    for (int i = 1; i < UKeyStream::kMaxLevels; ++i)
        in >> UKeyInStream::StartRecord(UKey('L', char('0' + i)));
    EXPECT_EQ(in.Depth(), UKeyStream::kMaxLevels);
    int z = 0;
    in >> UKey('Z', 'Z') >> z;
    EXPECT_EQ(z, 9);
    try {
        in >> UKeyInStream::StartRecord(UKey('Z', 'Z'));
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "UKeyInStream: exceeded depth");
    }
    for (int i = 1; i < UKeyStream::kMaxLevels; ++i) in.Pop();
    EXPECT_THROW(in.Pop(), std::logic_error);
}

TEST(KeyStreamReader, ArraysReadInOrder) {
    const Bytes bytes = Written(0, [](UKeyOutStream& o) {
        o << UKeyOutStream::StartArray(UKey('A', 'R')) << 1 << ustring(300, 's') << "short" << true << -7.5;
        o.Pop();
    });
    std::istringstream is(bytes);
    UKeyInStream in(is);
    int i = 0;
    ustring longText, shortText;
    bool b = false;
    double d = 0, untouched = 11;
    in >> UKeyInStream::StartArray(UKey('A', 'R'));
    EXPECT_FALSE(in.Exists(UKey('A', 'R')));  // arrays have no keys
    in >> i >> longText >> shortText >> b >> d;
    EXPECT_FALSE(in.Next());
    in >> untouched;
    in.Pop();
    EXPECT_EQ(i, 1);
    EXPECT_EQ(longText, ustring(300, 's'));
    EXPECT_EQ(shortText, "short");
    EXPECT_TRUE(b);
    EXPECT_EQ(d, -7.5);
    EXPECT_EQ(untouched, 11);
}

TEST(KeyStreamReader, LongFieldsBeyondTheReadWindow) {
    // Long data is read apart from the scan, so fields after it are still found.
    const ustring big(200000, 'q');
    Bytes large(70000, 'r');
    large[1234] = 0;
    const Bytes bytes = Written(0, [&](UKeyOutStream& o) {
        o << UKey('B', 'G') << big;
        o << UKey('D', 'p');
        o.WriteField(large.data(), int(large.size()), UKeyStream::eType_Bytes);
        o << kSt << 77;
    });
    std::istringstream is(bytes);
    UKeyInStream in(is);
    int st = 0;
    ustring s;
    std::string raw;
    in >> kSt >> st >> UKey('B', 'G') >> s >> UKey('D', 'p');
    in.Read8BitStringWithUnknownEncoding(raw);
    EXPECT_EQ(st, 77);
    EXPECT_EQ(s, big);
    EXPECT_EQ(raw, large);
}

TEST(KeyStreamReader, StreamNotAtOffsetZero) {
    std::istringstream is("prefix" + k50);
    is.seekg(6);
    UKeyInStream in(is);
    Check50(in);
}

TEST(KeyStreamReader, MessagesThroughTheFlattenedForm) {
    umessage sent;
    sent.addData_priv<ustring>("name", umessage_type_string, ustring("ticket"), false);
    sent.addData_priv<double>("w", umessage_type_double, 1.5, false);
    std::ostringstream flat;
    sent.flatten(flat);
    const Bytes small = B({0x04, 0x00, 0x00});  // version 4, no strings, no entries: fits the index
    const Bytes bytes = Written(0, [&](UKeyOutStream& o) {
        o << UKey('D', 'p');
        o.WriteField(flat.str().data(), int(flat.str().size()), UKeyStream::eType_Bytes);
        o << UKey('S', 'R');
        o.WriteField(small.data(), int(small.size()), UKeyStream::eType_Bytes);
        o << UKey('X', 'X') << "garbage!!";
        o << UKey('E', 'E') << "";
    });
    std::istringstream is(bytes);
    UKeyInStream in(is);
    umessage got, settings, bad, empty;
    settings.addData_priv<int>("old", umessage_type_int, 1, false);
    bad.addData_priv<int>("old", umessage_type_int, 1, false);
    empty.addData_priv<int>("old", umessage_type_int, 1, false);
    in >> UKey('D', 'p') >> got >> UKey('S', 'R') >> settings >> UKey('X', 'X') >> bad >> UKey('E', 'E') >>
        empty;
    EXPECT_TRUE(got == sent);
    EXPECT_TRUE(settings.empty());
    EXPECT_TRUE(bad.empty());
    EXPECT_TRUE(empty.empty());
}

TEST(KeyStreamReader, RecordOfEveryKey) {
    // 65536 distinct keys, each holding its own value: a single run covering the whole key space.
    const Bytes bytes = Written(0, [](UKeyOutStream& o) {
        o << UKeyOutStream::StartRecord(UKey('A', 'L'));
        for (unsigned k = 0; k < 65536; ++k) o << UKey(static_cast<unsigned short>(k)) << int(k * 3);
    });
    std::istringstream is(bytes);
    UKeyInStream in(is);
    in >> UKeyInStream::StartRecord(UKey('A', 'L'));
    ASSERT_TRUE(in.Next());
    EXPECT_EQ(in.IndexedFields().size(), 65536u);
    int wrong = 0;
    for (unsigned k = 0; k < 65536; ++k) {
        int v = -1;
        in >> UKey(static_cast<unsigned short>(k)) >> v;
        wrong += v != int(k * 3);
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_FALSE(in.Next());
    in.Pop();
}

TEST(KeyStreamReader, PeekDescribesFieldsWithoutReading) {
    std::istringstream is(k50);
    UKeyInStream in(is);
    UKeyInStream::FieldInfo info;
    EXPECT_FALSE(in.PeekField(info));  // no lookup yet
    in >> kSt;
    ASSERT_TRUE(in.PeekField(info));
    EXPECT_EQ(info.key, kSt);
    EXPECT_EQ(info.type, UKeyStream::eType_Int32);
    EXPECT_EQ(info.length, 1);
    in >> UKeyInStream::StartArray(kRT);
    ASSERT_TRUE(in.PeekField(info));
    EXPECT_EQ(info.length, 0);
    ASSERT_TRUE(in.PeekField(info));  // still the first element
    bool found = false;
    EXPECT_EQ(in.GetLength(found), 0);
    EXPECT_TRUE(found);
    in.Pop();
}

TEST(KeyStreamReader, ReadFieldRestoresLeadingZeros) {
    std::istringstream is(
        Stream(B({'S', 't', 0x02, 0x02, 0x01, 0x00, 'R', 'T', 0xFF}) + BE32(3) + B({7, 1, 2, 0x7F})));
    UKeyInStream in(is);
    unsigned char four[4] = {9, 9, 9, 9};
    EXPECT_FALSE(in.ReadField(four, 4));  // nothing looked up yet
    in >> kSt;
    ASSERT_TRUE(in.ReadField(four, 4));
    EXPECT_EQ(Bytes(reinterpret_cast<char*>(four), 4), B({0, 0, 1, 0}));
    unsigned char one = 0;
    EXPECT_THROW(in.ReadField(&one, 1), std::runtime_error);
    in >> UKeyInStream::StartArray(kRT);
    bool found = false;
    unsigned char two[2] = {9, 9};
    ASSERT_TRUE(in.ReadField(two, 2));
    EXPECT_EQ(Bytes(reinterpret_cast<char*>(two), 2), B({0, 0x7F}));
    EXPECT_EQ(in.GetLength(found), 0);
    EXPECT_FALSE(found);
    in.Pop();
}

// ---------------------------------------------------------------------------------------------
// Writer rules beyond the byte examples.

TEST(KeyStreamWriter, DestructorClosesEverything) {
    std::ostringstream os;
    {
        UKeyOutStream out(os, 0);
        Write50(out);
        out << UKeyOutStream::StartRecord(UKey('J', 'J')) << UKeyOutStream::StartArray(UKey('R', 'B')) << 1.0;
    }
    std::istringstream is(os.str());
    UKeyInStream in(is);
    double v = 0;
    in >> UKeyInStream::StartRecord(UKey('J', 'J')) >> UKeyInStream::StartArray(UKey('R', 'B')) >> v;
    EXPECT_EQ(v, 1.0);
}

TEST(KeyStreamWriter, MisuseIsRefused) {
    std::ostringstream os;
    UKeyOutStream out(os, 0);
    EXPECT_THROW(out.WriteField("x", -1, UKeyStream::eType_String), std::invalid_argument);
    out.Flush();
    EXPECT_EQ(out.Depth(), 0);
    EXPECT_THROW(out << kSt << 1, std::logic_error);
    EXPECT_THROW(out.Pop(), std::logic_error);
    EXPECT_EQ(os.str().size(), 13u);
}

TEST(KeyStreamWriter, FailedOutputIsLeftFailed) {
    std::ostringstream os;
    os.setstate(std::ios::badbit);
    {
        UKeyOutStream out(os, 0x4A4F4235);
        Write50(out);
    }
    EXPECT_TRUE(os.bad());
    EXPECT_TRUE(os.str().empty());
}

}  // namespace
