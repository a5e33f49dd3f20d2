// Legal inputs of one shape made as large as asked: the densest forms of elements each reader
// builds (empty nested messages, empty records, names, tiny table entries, tiny JSON values), for
// the memory tests and for measuring a reader by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace shaped {

// The shortest varint of the flattened message form.
inline void Varint(std::string& out, std::uint64_t value) {
    int extra = 0;
    while (extra < 8 && value >= (std::uint64_t{1} << (7 * (extra + 1)))) ++extra;
    out +=
        static_cast<char>(((0xFF00u >> extra) & 0xFFu) | (extra == 8 ? 0u : unsigned(value >> (8 * extra))));
    for (int i = extra - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A short distinct word for every number: lower-case letters and digits, a letter first.
inline std::string Word(std::size_t n) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string word(1, kChars[n % 26]);
    for (n /= 26; n > 0; n /= 36) word += kChars[n % 36];
    return word;
}

// A literal's bytes, zero bytes included.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

inline std::string Repeat(const std::string& run, std::size_t count) {
    std::string out;
    out.reserve(run.size() * count);
    for (std::size_t i = 0; i < count; ++i) out += run;
    return out;
}

// ---- Flattened messages

// `count` nested messages under the name "m". Version 3: each body holds one entry without
// values, four bytes, as a hostile reply's ticket did. Version 4: each body is one byte.
inline std::string EmptyMessages(std::size_t count, int version = 3) {
    std::string out;
    Varint(out, version);
    out += "\x01\x01m\x01\x01\x05";  // table "m"; one entry "m" of messages
    if (version == 4) out += '\x00';
    Varint(out, count);
    out += Repeat(version == 4 ? Bytes("\x00") : Bytes("\x01\x01\x01\x00"), count);
    return out;
}

// A message each of whose nested messages, `depth` levels down, holds two more, one under "a"
// and one under "b": each message is its own entry.
inline std::string NestedTree(int depth) {
    std::string body = Bytes("\x00");
    for (int d = 0; d < depth; ++d)
        body = Bytes("\x02\x01\x05\x00\x01") + body + Bytes("\x02\x05\x00\x01") + body;
    return "\x04\x02\x01"
           "a"
           "\x01"
           "b" +
           body;
}

// `count` nested messages each holding one int array of one value under `name`, which every
// entry copies.
inline std::string OneValueArrays(std::size_t count, const std::string& name = "a") {
    std::string out = "\x04\x01";
    Varint(out, name.size());
    out += name;
    out += Bytes("\x01\x01\x05\x00");
    Varint(out, count);
    out += Repeat(Bytes("\x01\x01\x01\x01\x01\x00"), count);
    return out;
}

// A string table of `count` distinct short names and an empty body.
inline std::string ManyNames(std::size_t count) {
    std::string out = "\x04";
    Varint(out, count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string word = Word(i);
        Varint(out, word.size());
        out += word;
    }
    out += '\0';
    return out;
}

// One string of `length` bytes held `count` times as the values of one entry.
inline std::string RepeatedString(std::size_t count, std::size_t length) {
    std::string out = "\x04\x02\x01s";
    Varint(out, length);
    out += std::string(length, 'x');
    out += "\x01\x01\x04\x01";
    Varint(out, count);
    out += std::string(count, '\x02');
    return out;
}

// ---- Key streams and job files

inline std::string BigEndian32(std::uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// A record or array under `key`, always with the five-byte length.
inline std::string Container(const std::string& key, char type, const std::string& content) {
    return key + '\xFF' + BigEndian32(static_cast<std::uint32_t>(content.size())) + type + content;
}
inline std::string Record(const std::string& key, const std::string& content) {
    return Container(key, '\x06', content);
}

inline std::string Field(const std::string& key, char type, const std::string& data) {
    return key +
           (data.size() < 255 ? std::string(1, char(data.size()))
                              : '\xFF' + BigEndian32(std::uint32_t(data.size()))) +
           type + data;
}

// A job file as replies carry it: root, version, 'JJ' holding `job`, then `rest` ('GG', 'SR').
inline std::string Job(const std::string& job, const std::string& rest) {
    return Record("KS", Bytes("\xC0\xDE\x01\x02\x01") + Record("JJ", job) + rest);
}

// Runs of one empty field each: every four bytes a new record of the list.
inline std::string EmptyRuns(const std::string& key, std::size_t count) {
    return Repeat(key + Bytes("\x00\x05"), count);
}

inline std::string EmptyDestinations(std::size_t count) {
    return Job("", Record("GG", Field("GA", '\x01', "\x01") + Record("LL", EmptyRuns("CC", count))));
}
inline std::string EmptyGroups(std::size_t count) {
    return Job("", Record("GG", EmptyRuns("GA", count)));
}
inline std::string EmptyPageRanges(std::size_t count) {
    return Job(Record("LX", EmptyRuns("sS", count)), Record("GG", ""));
}
inline std::string EmptyExportedDestinations(std::size_t count) {
    return Job(Record("EL", EmptyRuns("ID", count)), Record("GG", ""));
}
// One destination with `count` comments, each only its one-byte 'UP'.
inline std::string TinyComments(std::size_t count) {
    const std::string comments = Record("UF", Repeat(Field("UP", '\x05', "x"), count));
    return Job("", Record("GG", Record("LL", Field("CC", '\x05', "") + comments)));
}
inline std::string TicketReply(const std::string& ticket) {
    return Job("", Record("GG", "") + Field("SR", '\x08', ticket));
}
// A ticket of `count` settings records, each naming the problem "p".
inline std::string SettingsRecords(std::size_t count) {
    std::string out = Bytes("\x04\x03\x08settings\x07problem\x01p\x01\x01\x05\x00");
    Varint(out, count);
    out += Repeat(Bytes("\x01\x02\x04\x00\x01\x03"), count);
    return out;
}

// ---- String tables and host documents

// `count` entries of a short key and an empty value; descending keys when asked, the order
// that costs a sorted insertion the most.
inline std::string StringTable(std::size_t count, bool descending = false) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) out += Word(descending ? count - 1 - i : i) + "=\"\";\n";
    return out;
}

// A host document whose "art" array holds `count` copies of `art`.
inline std::string Document(const std::string& art, std::size_t count) {
    std::string items;
    for (std::size_t i = 0; i < count; ++i) items += (i == 0 ? "" : ",") + art;
    return R"({"format":"varnel-host document 1","width":100,"height":100,"colorModel":2,)"
           R"("artboards":[{"left":0,"top":100,"right":100,"bottom":0}],"art":[)" +
           items + R"(],"dictionary":{},"profiles":{"rgb":null,"cmyk":null,"gray":null}})";
}
// One art object whose dictionary holds `count` flags.
inline std::string ArtWithFlags(std::size_t count) {
    std::string flags;
    for (std::size_t i = 0; i < count; ++i)
        flags += (i == 0 ? "\"" : ",\"") + Word(i) + R"(":{"boolean":true})";
    return R"({"type":"group","selected":false,"locked":false,"hidden":false,"guide":false,"closed":false,)"
           R"("segments":[],"dictionary":{)" +
           flags + "}}";
}
inline const std::string kTinyArt =
    R"({"type":"group","selected":false,"locked":false,"hidden":false,"guide":false,"closed":false,)"
    R"("segments":[],"dictionary":{}})";

}  // namespace shaped
