// The flattened byte form of a message: a varint-coded string table followed by typed bodies.
// The bytes come from another process, so the reader trusts no length or count it reads.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "ulogger.h"
#include "umessage.h"

namespace {

constexpr std::uint64_t kMaxEntries = 0x20000;
// Real tickets nest a handful of levels; this keeps hostile input from exhausting the stack.
constexpr int kMaxDepth = umessage::kMaxNesting;
constexpr std::size_t kStackString = 1024;
// Without a known stream size, long strings grow by this much per read, so memory follows
// the bytes actually present rather than the length claimed.
constexpr std::size_t kChunk = 64 * 1024;

const char* const kTypeNames[] = {nullptr, "int", "bool", "float", "string", "umessage"};

[[noreturn]] void truncated() {
    throw std::runtime_error("umessage::unflatten() : unexpected end of data");
}

}  // namespace

namespace umessage_details {

using entry_list = umessage::map_type::container_type;

struct unflattener {
    std::istream& in;
    std::streambuf* sb;
    std::uint64_t remaining;  // bytes left in the stream, or the largest value when unknown
    bool sizeKnown;
    int version = 0;
    std::vector<ustring> strings;

    explicit unflattener(std::istream& stream) : in(stream), sb(stream.rdbuf()) {
        remaining = UINT64_MAX;
        sizeKnown = false;
        if (sb == nullptr) return;
        const auto here = sb->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
        if (here == std::streampos(-1)) return;
        const auto end = sb->pubseekoff(0, std::ios_base::end, std::ios_base::in);
        if (end == std::streampos(-1) || sb->pubseekpos(here, std::ios_base::in) != here) return;
        if (end >= here) {
            remaining = static_cast<std::uint64_t>(end - here);
            sizeKnown = true;
        }
    }

    [[noreturn]] void fail() {
        in.setstate(std::ios_base::eofbit | std::ios_base::failbit);
        truncated();
    }

    unsigned char byte() {
        if (remaining == 0 || sb == nullptr) fail();
        const auto c = sb->sbumpc();
        if (c == std::char_traits<char>::eof()) fail();
        --remaining;
        return static_cast<unsigned char>(c);
    }

    void bytes(char* dst, std::size_t n) {
        if (n > remaining || sb == nullptr) fail();
        if (static_cast<std::size_t>(sb->sgetn(dst, static_cast<std::streamsize>(n))) != n) fail();
        remaining -= n;
    }

    // Fails early when `count` items of at least `minSize` bytes cannot fit in what is left.
    void need(std::uint64_t count, std::uint64_t minSize) {
        if (sizeKnown && count > remaining / minSize) fail();
    }

    // The leading 1 bits of the first byte count the bytes that follow, most significant first.
    std::uint64_t varint64(int& extra) {
        const unsigned char first = byte();
        extra = std::countl_one(first);
        std::uint64_t value = first & (0xFFu >> extra);
        for (int i = 0; i < extra; ++i) value = (value << 8) | byte();
        return value;
    }
    std::uint64_t varint64() {
        int extra;
        return varint64(extra);
    }
    std::uint32_t varint32() {
        int extra;
        const std::uint64_t value = varint64(extra);
        // A 32-bit field is written with at most four following bytes; longer is malformed.
        if (extra > 4) throw std::runtime_error("umessage::unflatten() : 32-bit field too long");
        return static_cast<std::uint32_t>(value);
    }

    const ustring& resolve(std::uint64_t index) {
        if (index == 0 || index > strings.size()) throw std::runtime_error("string not found");
        return strings[index - 1];
    }

    void readStrings() {
        readTable();
        slots.assign(strings.size() + 1, slot());
    }

    void readTable() {
        const std::uint64_t count = varint64();
        need(count, 1);
        strings.reserve(static_cast<std::size_t>(sizeKnown ? count : std::min<std::uint64_t>(count, kChunk)));
        char small[kStackString];
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t length = varint64();
            if (length > ustring::kMaxLength) throw std::length_error("ustring");
            if (length > remaining) fail();
            const auto n = static_cast<std::size_t>(length);
            if (n <= kStackString) {
                bytes(small, n);
                strings.emplace_back(small, n);
            } else if (sizeKnown) {
                std::unique_ptr<char[]> buffer(new char[n]);
                bytes(buffer.get(), n);
                strings.emplace_back(buffer.get(), n);
            } else {
                ustring text;
                std::unique_ptr<char[]> buffer(new char[kChunk]);
                for (std::size_t done = 0; done < n;) {
                    const std::size_t part = std::min(kChunk, n - done);
                    bytes(buffer.get(), part);
                    text.append(buffer.get(), part);
                    done += part;
                }
                strings.push_back(std::move(text));
            }
        }
    }

    // Which pending entry of which body a string index names, so a repeated name is found in
    // constant time; index 0 (never a valid name) stands for the "what" of version 1.
    struct slot {
        std::uint32_t body = 0;
        std::uint32_t pos = 0;
        bool validName = false;  // checked once, however many entries the string names
    };
    std::vector<slot> slots;
    std::uint32_t bodies = 0;

    struct pending {
        const ustring* name;
        std::unique_ptr<dyn_array> array;
        dyn_array* existing;  // the target's entry of this name, which these values extend
    };

    // Working space reused by every body, one list per nesting level, so that reading a body
    // allocates nothing beyond what the message keeps.
    std::vector<std::vector<pending>> pendingByDepth = std::vector<std::vector<pending>>(kMaxDepth + 1);
    std::vector<std::uint32_t> order;
    struct sortKey {
        std::uint64_t high;
        std::uint64_t low;
        std::uint32_t pos;
    };
    std::vector<sortKey> sortKeys;

    // One body's entries are gathered in stream order and sorted once at the end, so a body
    // whose names arrive in any order is rebuilt in n log n; repeated names accumulate in
    // stream order. A name repeated under another index of the table (or after a nested body
    // reused its index) is merged at the end, where a clash of types is found.
    struct body {
        unflattener& reader;
        umessage& target;
        std::uint32_t id;
        std::vector<pending>& entries;
        bool extendsTarget = false;  // some entry adds to one the target already had

        template <class T>
        dyn_array_impl<T>& arrayFor(const ustring& name, std::size_t nameIndex, umessage_type_id type) {
            slot& s = reader.slots[nameIndex];
            if (s.body == id) {
                // Made by this reader, whose element type always follows the type id.
                dyn_array* own = entries[s.pos].array.get();
                if (own->type() != type) throw std::logic_error("incompatible type");
                return static_cast<dyn_array_impl<T>&>(*own);
            }
            if (!s.validName) {
                if (!umessage_details::valid_name(name)) throw std::invalid_argument("empty or invalid name");
                s.validName = true;
            }
            dyn_array* existing = nullptr;
            if (!target.data_.empty()) {
                auto it = target.data_.find(name);
                if (it != target.data_.end()) {
                    // The caller's own entry may pair any element type with any id.
                    auto* typed = dynamic_cast<dyn_array_impl<T>*>(it->second.get());
                    if (typed == nullptr || typed->typeId != type)
                        throw std::logic_error("incompatible type");
                    existing = typed;
                    extendsTarget = true;
                }
            }
            auto array = std::make_unique<dyn_array_impl<T>>(type, false);
            auto* raw = array.get();
            entries.push_back({&name, std::move(array), existing});
            s.body = id;
            s.pos = static_cast<std::uint32_t>(entries.size() - 1);
            return *raw;
        }

        // Both arrays have been checked against the type id, which fixes the element type.
        template <class T>
        static void appendTo(dyn_array* dst, const dyn_array* src) {
            auto& to = static_cast<dyn_array_impl<T>&>(*dst);
            auto& from = static_cast<const dyn_array_impl<T>&>(*src);
            if (from.isArray) to.isArray = true;
            for (const auto& value : from.values) to.addData(value);
        }

        static void append(dyn_array* dst, const dyn_array* src) {
            if (dst->type() != src->type()) throw std::logic_error("incompatible type");
            switch (src->type()) {
                case umessage_type_int: appendTo<int>(dst, src); break;
                case umessage_type_bool: appendTo<bool>(dst, src); break;
                case umessage_type_double: appendTo<double>(dst, src); break;
                case umessage_type_string: appendTo<ustring>(dst, src); break;
                case umessage_type_message: appendTo<std::shared_ptr<umessage>>(dst, src); break;
                default: appendTo<long long>(dst, src); break;
            }
        }

        void commit() {
            const std::size_t n = entries.size();
            if (!extendsTarget && target.data_.empty()) {
                // What writers produce: names strictly ascending, each once. Taken as they come.
                bool strict = true;
                for (std::size_t i = 1; i < n && strict; ++i)
                    strict = entries[i - 1].name->compare(*entries[i].name) < 0;
                if (strict) {
                    entry_list fresh;
                    fresh.reserve(n);
                    for (pending& p : entries) fresh.emplace_back(*p.name, std::move(p.array));
                    target.data_.assign_sorted(std::move(fresh));
                    return;
                }
            }
            std::vector<std::uint32_t>& order = reader.order;
            order.resize(n);
            for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::uint32_t>(i);
            const auto cmp = [this](std::uint32_t a, std::uint32_t b) {
                return entries[a].name->compare(*entries[b].name);
            };
            const auto before = [&](std::uint32_t a, std::uint32_t b) {
                const int c = cmp(a, b);
                return c < 0 || (c == 0 && a < b);
            };
            // Whether the entries at sorted positions i and j share a name.
            enum { inOrder, reversed, byKeys } how = inOrder;
            std::vector<sortKey>& keys = reader.sortKeys;
            if (!std::is_sorted(order.begin(), order.end(), before)) {
                bool descending = true;
                for (std::size_t i = 1; i < n && descending; ++i)
                    descending = cmp(order[i - 1], order[i]) > 0;
                if (descending) {
                    std::reverse(order.begin(), order.end());
                    how = reversed;  // strictly descending: every name differs
                } else {
                    // The first sixteen bytes, kept beside each index, settle most comparisons
                    // without following the pointer to the name.
                    keys.resize(n);
                    for (std::size_t i = 0; i < n; ++i) {
                        const ustring& name = *entries[i].name;
                        std::uint64_t word[2] = {0, 0};
                        for (std::size_t k = 0; k < 16; ++k)
                            word[k / 8] = (word[k / 8] << 8) |
                                          (k < name.size() ? static_cast<unsigned char>(name[k]) : 0u);
                        keys[i] = {word[0], word[1], static_cast<std::uint32_t>(i)};
                    }
                    std::sort(keys.begin(), keys.end(), [&](const sortKey& a, const sortKey& b) {
                        if (a.high != b.high) return a.high < b.high;
                        if (a.low != b.low) return a.low < b.low;
                        return before(a.pos, b.pos);
                    });
                    for (std::size_t i = 0; i < n; ++i) order[i] = keys[i].pos;
                    how = byKeys;
                }
            }
            const auto same = [&](std::size_t i, std::size_t j) {
                if (how == reversed) return false;
                if (how == byKeys && (keys[i].high != keys[j].high || keys[i].low != keys[j].low))
                    return false;
                return cmp(order[i], order[j]) == 0;
            };
            entry_list fresh;
            fresh.reserve(n);
            for (std::size_t i = 0; i < n;) {
                pending& head = entries[order[i]];
                dyn_array* into = head.existing != nullptr ? head.existing : head.array.get();
                std::size_t j = i + (head.existing != nullptr ? 0 : 1);
                for (; j < n && (j == i || same(i, j)); ++j) append(into, entries[order[j]].array.get());
                if (head.existing == nullptr) fresh.emplace_back(*head.name, std::move(head.array));
                i = j;
            }
            if (target.data_.empty()) {
                target.data_.assign_sorted(std::move(fresh));
                return;
            }
            const auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
            entry_list old = target.data_.release();
            entry_list merged;
            merged.reserve(old.size() + fresh.size());
            std::merge(std::make_move_iterator(old.begin()), std::make_move_iterator(old.end()),
                       std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()),
                       std::back_inserter(merged), byKey);
            target.data_.assign_sorted(std::move(merged));
        }
    };

    template <class T, class Read>
    void values(body& b, const ustring& name, std::size_t nameIndex, umessage_type_id type,
                std::uint64_t count, bool arrayFlag, Read read) {
        T first = read();
        dyn_array_impl<T>& array = b.template arrayFor<T>(name, nameIndex, type);
        // Only a fresh array is sized up front: exact growth per repeat would copy quadratically.
        if (count > 1 && array.values.empty())
            array.values.reserve(
                static_cast<std::size_t>(sizeKnown ? count : std::min<std::uint64_t>(count, kChunk)));
        array.addData(first);
        for (std::uint64_t i = 1; i < count; ++i) array.addData(read());
        if (arrayFlag && count == 1) array.isArray = true;
    }

    double readDouble() {
        unsigned char raw[8];
        bytes(reinterpret_cast<char*>(raw), 8);
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i) bits = (bits << 8) | raw[i];
        return std::bit_cast<double>(bits);
    }

    umessage_type_id readType() {
        if (version >= 3) return static_cast<umessage_type_id>(varint32());
        const ustring& typeName = resolve(varint64());
        for (umessage_type_id id = umessage_type_int; id <= umessage_type_message; ++id)
            if (typeName == kTypeNames[id]) return id;
        return umessage_type_null;
    }

    void readBody(umessage& target, int depth) {
        if (bodies == UINT32_MAX) throw std::runtime_error("umessage::unflatten() : too many messages");
        std::vector<pending>& scratch = pendingByDepth[static_cast<std::size_t>(depth)];
        scratch.clear();
        body b{*this, target, ++bodies, scratch};
        if (version == 1) {
            const ustring& what = resolve(varint64());
            static const ustring kWhat("what");
            if (!what.empty()) b.arrayFor<ustring>(kWhat, 0, umessage_type_string).addData(what);
        }
        const std::uint64_t entries = varint64();
        if (entries > kMaxEntries) throw std::runtime_error("umessage::unflatten() : too many entry");
        need(entries, version == 4 ? 4 : 3);
        for (std::uint64_t e = 0; e < entries; ++e) {
            const std::uint64_t nameIndex = varint64();
            const ustring& name = resolve(nameIndex);
            const umessage_type_id type = readType();
            const bool arrayFlag = version == 4 && byte() != 0;
            const std::uint64_t count = varint64();
            if (static_cast<std::uint32_t>(type) - 1u >= umessage_type_longlong)
                throw std::runtime_error("unknown type!");
            if (count == 0) continue;
            if (count > UINT32_MAX) throw std::runtime_error("umessage::unflatten() : too many values");
            switch (type) {
                case umessage_type_int:
                    need(count, 1);
                    values<int>(b, name, nameIndex, type, count, arrayFlag,
                                [this] { return static_cast<int>(varint32()); });
                    break;
                case umessage_type_bool:
                    need(count, 1);
                    values<bool>(b, name, nameIndex, type, count, arrayFlag, [this] { return byte() != 0; });
                    break;
                case umessage_type_double:
                    need(count, 8);
                    values<double>(b, name, nameIndex, type, count, arrayFlag,
                                   [this] { return readDouble(); });
                    break;
                case umessage_type_string:
                    need(count, 1);
                    values<ustring>(b, name, nameIndex, type, count, arrayFlag,
                                    [this] { return resolve(varint64()); });
                    break;
                case umessage_type_message:
                    if (depth >= kMaxDepth)
                        throw std::runtime_error("umessage::unflatten() : messages nested too deeply");
                    need(count, version == 1 ? 2 : 1);
                    values<std::shared_ptr<umessage>>(b, name, nameIndex, type, count, arrayFlag,
                                                      [this, depth] {
                                                          auto nested = std::make_shared<umessage>();
                                                          readBody(*nested, depth + 1);
                                                          return nested;
                                                      });
                    break;
                default:
                    need(count, 1);
                    values<long long>(b, name, nameIndex, type, count, arrayFlag,
                                      [this] { return static_cast<long long>(varint64()); });
                    break;
            }
        }
        b.commit();
        scratch.clear();
    }
};

}  // namespace umessage_details

bool umessage::unflatten(std::istream& in) {
    clear();
    if (!in) return false;  // a failed stream holds no message, like a missing version
    try {
        umessage_details::unflattener reader(in);
        std::uint32_t version = 0;
        try {
            version = reader.varint32();
        } catch (const std::exception&) {
            return false;  // no version: not a flattened message, like a version out of range
        }
        if (version < 1 || version > 4) return false;
        reader.version = static_cast<int>(version);
        reader.readStrings();
        reader.readBody(*this, 0);
        return true;
    } catch (const std::exception& e) {
        VN_LOG_ERROR(e.what());
        clear();
        return false;
    }
}

void umessage::unflatten_priv(std::istream& in, int version, const std::vector<ustring>& strings) {
    umessage_details::unflattener reader(in);
    reader.version = version;
    reader.strings = strings;
    reader.slots.assign(strings.size() + 1, umessage_details::unflattener::slot());
    reader.readBody(*this, 0);
}

namespace {

// The shortest form: n following bytes hold 7 * (n + 1) bits for n up to 7, and 64 bits for 8.
void putVarint(std::string& out, std::uint64_t value) {
    int extra = 0;
    while (extra < 8 && value >= (std::uint64_t{1} << (7 * (extra + 1)))) ++extra;
    const unsigned prefix = (0xFF00u >> extra) & 0xFFu;
    const unsigned top = extra == 8 ? 0u : static_cast<unsigned>(value >> (8 * extra));
    out.push_back(static_cast<char>(prefix | top));
    for (int i = extra - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

struct flattener {
    int version;
    int depth = 0;  // of the body being written; the reader accepts no more than kMaxDepth
    std::string body;
    std::vector<std::string_view> table;
    std::unordered_map<std::string_view, std::uint64_t> index;

    std::uint64_t intern(std::string_view text) {
        auto [it, added] = index.emplace(text, table.size() + 1);
        if (added) table.push_back(text);
        return it->second;
    }

    template <class T>
    static const typename umessage_details::dyn_array_impl<T>::values_type& valuesOf(
        const umessage_details::dyn_array& array) {
        return static_cast<const umessage_details::dyn_array_impl<T>&>(array).values;
    }

    void entry(std::string_view name, const umessage_details::dyn_array& array, std::size_t from) {
        const umessage_type_id type = array.type();
        putVarint(body, intern(name));
        if (version >= 3) {
            putVarint(body, static_cast<std::uint32_t>(type));
        } else {
            if (type < umessage_type_int || type > umessage_type_message)
                throw std::invalid_argument("umessage::flatten() : type has no name in this version");
            putVarint(body, intern(kTypeNames[type]));
        }
        if (version == 4) body.push_back(umessage_details::is_array(array) ? 1 : 0);
        putVarint(body, array.count() - from);
        switch (type) {
            case umessage_type_int:
                for (std::size_t i = from; i < array.count(); ++i)
                    putVarint(body, static_cast<std::uint32_t>(valuesOf<int>(array)[i]));
                break;
            case umessage_type_bool:
                for (std::size_t i = from; i < array.count(); ++i)
                    body.push_back(valuesOf<bool>(array)[i] ? 1 : 0);
                break;
            case umessage_type_double:
                for (std::size_t i = from; i < array.count(); ++i) {
                    auto bits = std::bit_cast<std::uint64_t>(valuesOf<double>(array)[i]);
                    for (int b = 0; b < 8; ++b) body.push_back(static_cast<char>((bits >> (8 * b)) & 0xFF));
                }
                break;
            case umessage_type_string:
                for (std::size_t i = from; i < array.count(); ++i)
                    putVarint(body, intern(valuesOf<ustring>(array)[i]));
                break;
            case umessage_type_message:
                if (depth == kMaxDepth)
                    throw std::invalid_argument("umessage::flatten() : messages nested too deeply");
                ++depth;
                for (std::size_t i = from; i < array.count(); ++i)
                    message(*valuesOf<std::shared_ptr<umessage>>(array)[i]);
                --depth;
                break;
            case umessage_type_longlong:
                for (std::size_t i = from; i < array.count(); ++i)
                    putVarint(body, static_cast<std::uint64_t>(valuesOf<long long>(array)[i]));
                break;
            default: throw std::invalid_argument("umessage::flatten() : unknown type");
        }
    }

    void message(const umessage& m) {
        const auto& entries = m.entries();
        // Version 1 carries a non-empty string "what" in the body's head; any further values of
        // it, and a "what" of another shape, travel as an ordinary entry after it.
        const umessage_details::dyn_array* what = nullptr;
        std::size_t whatTaken = 0;
        if (version == 1) {
            auto it = entries.find("what");
            if (it != entries.end() && it->second->type() == umessage_type_string &&
                it->second->count() > 0 && !valuesOf<ustring>(*it->second)[0].empty()) {
                what = it->second.get();
                whatTaken = 1;
                putVarint(body, intern(valuesOf<ustring>(*what)[0]));
            } else {
                putVarint(body, intern(""));
            }
        }
        std::uint64_t count = 0;
        for (const auto& [name, array] : entries)
            if (array->count() > (array.get() == what ? whatTaken : 0)) ++count;
        if (count > kMaxEntries) throw std::invalid_argument("umessage::flatten() : too many entries");
        putVarint(body, count);
        for (const auto& [name, array] : entries) {
            const std::size_t from = array.get() == what ? whatTaken : 0;
            if (array->count() > from) entry(std::string_view(name), *array, from);
        }
    }
};

}  // namespace

void umessage::flatten(std::ostream& out, int version) const {
    if (version < 1 || version > 4) throw std::invalid_argument("umessage::flatten() : bad version");
    flattener writer{version, 0, {}, {}, {}};
    writer.message(*this);
    std::string head;
    putVarint(head, static_cast<std::uint64_t>(version));
    putVarint(head, writer.table.size());
    for (std::string_view text : writer.table) {
        putVarint(head, text.size());
        head.append(text);
    }
    out.write(head.data(), static_cast<std::streamsize>(head.size()));
    out.write(writer.body.data(), static_cast<std::streamsize>(writer.body.size()));
}
