// The flattened byte form of a message: a varint-coded string table followed by typed bodies.
// The bytes come from another process, so the reader trusts no length or count it reads.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <istream>
#include <new>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "message/umessage.h"
#include "support/ReadBudget.h"
#include "support/ulogger.h"

namespace {

constexpr std::uint64_t kMaxEntries = 0x20000;
// Real tickets nest a handful of levels; this keeps hostile input from exhausting the stack.
constexpr int kMaxDepth = umessage::kMaxNesting;
// Input is read through a window of this size; a seekable stream gets back what was read ahead.
constexpr std::size_t kWindow = 64 * 1024;
// Without a known stream size, long strings grow by this much per read, so memory follows
// the bytes actually present rather than the length claimed.
constexpr std::size_t kChunk = 64 * 1024;

const char* const kTypeNames[] = {nullptr, "int", "bool", "float", "string", "umessage"};

// A shuffled body's entries are gathered in name order: asking for the entry this many places
// ahead hides most of the wait for memory.
constexpr std::size_t kPrefetchAhead = 16;

inline void prefetch(const void* address) {
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

[[noreturn]] void truncated() {
    throw std::runtime_error("umessage::unflatten() : unexpected end of data");
}

}  // namespace

namespace umessage_details {

using entry_list = umessage::map_type::container_type;

// The bytes one array takes in a slab.
template <class T>
constexpr std::size_t slot_size = (sizeof(dyn_array_impl<T>) + 7) / 8 * 8;
// The most entries a nested body makes room for before reading them: the entry count is claimed
// before any entry is read, and nested bodies may all claim the most.
constexpr std::size_t kMaxReserved = 1024;
// Slabs hold objects of at most this alignment, after their count of references.
constexpr std::size_t kBlockAlign = alignof(std::uint64_t);
constexpr std::size_t kBlockHead = (sizeof(array_block) + kBlockAlign - 1) / kBlockAlign * kBlockAlign;
// What a nested message takes from its slab: its shared pointer's control block (the message,
// the table of virtual functions, two 32-bit counts and the allocator) after the slab's address.
constexpr std::size_t kNestedCost = sizeof(umessage) + 3 * sizeof(void*) + kBlockAlign;
// Slabs start small for small messages and double up to this size: far fewer allocations than
// objects, and still below the size at which malloc maps each block on its own. A message kept
// while the rest of its input is dropped keeps its slab, at most this much, alive.
constexpr std::size_t kFirstSlab = 1024;
constexpr std::size_t kMaxSlab = 64 * 1024;

// The nested messages and the arrays read from one input are carved from shared slabs, one
// allocation per slab instead of one or more per message. A slab counts one reference per object
// carved from it and one for the reader while it carves; it goes with the last of them.
struct slab_room {
    array_block* block = nullptr;
    unsigned char* next = nullptr;
    unsigned char* end = nullptr;
    std::size_t nextSize = kFirstSlab;

    slab_room() = default;
    slab_room(const slab_room&) = delete;
    slab_room& operator=(const slab_room&) = delete;
    ~slab_room() { drop(); }

    // `bytes`, a multiple of kBlockAlign; the caller owns the reference it adds to `block`. Only
    // the reader's thread sees a slab until the read returns: the count needs no atomic addition.
    void* carve(std::size_t bytes) {
        if (static_cast<std::size_t>(end - next) < bytes) grow(bytes);
        void* at = next;
        next += bytes;
        block->refs.store(block->refs.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        return at;
    }

private:
    [[gnu::noinline]] void grow(std::size_t bytes) {
        const std::size_t size = std::max(nextSize, bytes);
        auto* raw = static_cast<unsigned char*>(::operator new(kBlockHead + size));
        drop();
        block = ::new (raw) array_block{1};
        next = raw + kBlockHead;
        end = next + size;
        nextSize = std::min(nextSize * 2, kMaxSlab);
    }
    void drop() noexcept {
        if (block != nullptr) array_block::release(std::exchange(block, nullptr));
    }
};

// Carves a nested message's shared pointer control block from the slab, after the slab's address,
// which its deallocation needs: the control block's copy of the allocator points at a reader that
// is gone by then.
template <class T>
struct slab_allocator {
    using value_type = T;
    slab_room* slab;

    explicit slab_allocator(slab_room* s) : slab(s) {}
    template <class U>
    slab_allocator(const slab_allocator<U>& other) : slab(other.slab) {}

    static constexpr std::size_t kOwnerHead = kBlockAlign;
    T* allocate(std::size_t n) {
        static_assert(alignof(T) <= kBlockAlign && sizeof(array_block*) <= kOwnerHead);
        static_assert(sizeof(T) + kOwnerHead <= kNestedCost, "the reader charges less than it carves");
        if (n > (kMaxSlab - kOwnerHead) / sizeof(T)) throw std::bad_array_new_length();
        const std::size_t bytes = kOwnerHead + (n * sizeof(T) + kBlockAlign - 1) / kBlockAlign * kBlockAlign;
        auto* raw = static_cast<unsigned char*>(slab->carve(bytes));
        ::new (raw) array_block*(slab->block);
        return reinterpret_cast<T*>(raw + kOwnerHead);
    }
    void deallocate(T* p, std::size_t) noexcept {
        auto* raw = reinterpret_cast<unsigned char*>(p) - kOwnerHead;
        array_block::release(*std::launder(reinterpret_cast<array_block**>(raw)));
    }
    template <class U>
    bool operator==(const slab_allocator<U>&) const noexcept {
        return true;
    }
};

struct unflattener {
    std::istream& in;
    std::streambuf* sb;
    // A seekable stream is read a window at a time and told its size, which bounds every count;
    // any other stream is read byte by byte, so it never loses bytes past the message.
    bool seekable = false;
    std::uint64_t streamLeft = 0;  // seekable: bytes in the stream after the window
    // Never zero-filled: only bytes read from the input are looked at. One byte for any other
    // stream.
    std::unique_ptr<unsigned char[]> window;
    std::size_t windowSize = 1;
    const unsigned char* p = nullptr;
    const unsigned char* end = nullptr;
    int version = 0;
    slab_room slab;
    // The memory the message may take, charged per element as it is built. A caller's budget
    // gets back what is left only when the message is whole: a failed read frees all it built.
    vnu::ReadBudget budget;
    std::uint64_t budgetLeft = 0;  // of `budget`, kept apart so that charging touches one word
    // Without a caller's budget, a stream that cannot tell its size earns room by the byte.
    bool creditPerByte = false;

    unflattener(std::istream& stream, const vnu::ReadBudget* shared) : in(stream), sb(stream.rdbuf()) {
        if (sb != nullptr) measure();
        budget = shared != nullptr ? *shared : vnu::ReadBudget(seekable ? streamLeft : 0);
        budgetLeft = budget.left();
        creditPerByte = shared == nullptr && !seekable;
    }
    void measure() {
        const auto here = sb->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
        if (here == std::streampos(-1)) return;
        const auto last = sb->pubseekoff(0, std::ios_base::end, std::ios_base::in);
        if (last == std::streampos(-1) || sb->pubseekpos(here, std::ios_base::in) != here || last < here)
            return;
        seekable = true;
        streamLeft = static_cast<std::uint64_t>(last - here);
        windowSize = static_cast<std::size_t>(std::min<std::uint64_t>(streamLeft, kWindow));
    }
    unflattener(const unflattener&) = delete;
    unflattener& operator=(const unflattener&) = delete;
    // The stream is left right after the bytes the reader took.
    ~unflattener() {
        if (seekable && end > p) sb->pubseekoff(-(end - p), std::ios_base::cur, std::ios_base::in);
    }

    [[noreturn]] void fail() {
        in.setstate(std::ios_base::eofbit | std::ios_base::failbit);
        truncated();
    }

    std::uint64_t remaining() const {
        return seekable ? static_cast<std::uint64_t>(end - p) + streamLeft : UINT64_MAX;
    }

    // What a too large message is refused with: what ran out, and the input it came from.
    [[noreturn]] [[gnu::noinline]] void exhausted(const char* what) const {
        throw std::runtime_error(std::string("umessage::unflatten() : too many ") + what +
                                 " for an input of " + std::to_string(budget.inputBytes()) + " bytes");
    }
    void charge(std::uint64_t bytes, const char* what) {
        if (bytes > budgetLeft) [[unlikely]]
            exhausted(what);
        budgetLeft -= bytes;
    }

    // Fails early when `count` items of at least `minSize` bytes cannot fit in what is left.
    // The size is known when compiling, so the division becomes a multiplication: dividing by a
    // variable takes tens of cycles, once or twice per entry.
    template <std::uint64_t MinSize>
    void need(std::uint64_t count) {
        if (count > remaining() / MinSize) fail();
    }

    // A window holding at least one unread byte.
    [[gnu::noinline]] void refill() {
        if (sb == nullptr) fail();
        if (!window) window.reset(new unsigned char[windowSize]);
        std::size_t got = 1;
        if (!seekable) {
            const auto c = sb->sbumpc();
            if (c == std::char_traits<char>::eof()) fail();
            window[0] = static_cast<unsigned char>(c);
            if (creditPerByte) {
                budget.credit(1);
                budgetLeft += budget.perInputByte();
            }
        } else {
            if (streamLeft == 0) fail();
            got = static_cast<std::size_t>(std::min<std::uint64_t>(streamLeft, windowSize));
            if (static_cast<std::size_t>(
                    sb->sgetn(reinterpret_cast<char*>(window.get()), std::streamsize(got))) != got)
                fail();
            streamLeft -= got;
        }
        p = window.get();
        end = p + got;
    }

    unsigned char byte() {
        if (p == end) refill();
        return *p++;
    }

    void bytes(char* dst, std::size_t n) {
        while (n > 0) {
            if (p == end) {
                // Long data of a seekable stream goes straight to its target.
                if (seekable && n >= windowSize) {
                    if (n > streamLeft ||
                        static_cast<std::size_t>(sb->sgetn(dst, static_cast<std::streamsize>(n))) != n)
                        fail();
                    streamLeft -= n;
                    return;
                }
                refill();
            }
            const std::size_t part = std::min(n, static_cast<std::size_t>(end - p));
            std::memcpy(dst, p, part);
            p += part;
            dst += part;
            n -= part;
        }
    }

    // The leading 1 bits of the first byte count the bytes that follow, most significant first.
    // Indices, types and counts nearly all take one or two bytes, decoded inline.
    [[gnu::always_inline]] std::uint64_t varint64(int& extra) {
        if (end - p >= 2) [[likely]] {
            const unsigned first = p[0];
            if (first < 0x80) {
                extra = 0;
                ++p;
                return first;
            }
            if (first < 0xC0) {
                extra = 1;
                const std::uint64_t value = (first & 0x3Fu) << 8 | p[1];
                p += 2;
                return value;
            }
        }
        return varint64Long(extra);
    }
    [[gnu::noinline]] std::uint64_t varint64Long(int& extra) {
        if (end - p < 9) return varint64NearEnd(extra);
        // The longest varint is in the window: no byte needs a check.
        const unsigned char first = *p++;
        extra = std::countl_one(first);
        std::uint64_t value = first & (0xFFu >> extra);
        for (int i = 0; i < extra; ++i) value = (value << 8) | p[i];
        p += extra;
        return value;
    }
    std::uint64_t varint64NearEnd(int& extra) {
        const unsigned char first = byte();
        extra = std::countl_one(first);
        std::uint64_t value = first & (0xFFu >> extra);
        for (int i = 0; i < extra; ++i) value = (value << 8) | byte();
        return value;
    }
    [[gnu::always_inline]] std::uint64_t varint64() {
        int extra;
        return varint64(extra);
    }
    [[gnu::always_inline]] std::uint32_t varint32() {
        int extra;
        const std::uint64_t value = varint64(extra);
        // A 32-bit field is written with at most four following bytes; longer is malformed.
        if (extra > 4) throw std::runtime_error("umessage::unflatten() : 32-bit field too long");
        return static_cast<std::uint32_t>(value);
    }

    [[gnu::always_inline]] double readDouble() {
        unsigned char raw[8];
        if (end - p >= 8) {
            std::memcpy(raw, p, 8);
            p += 8;
        } else {
            bytes(reinterpret_cast<char*>(raw), 8);
        }
        // Little-endian: written out so that the compiler sees one load.
        const std::uint64_t bits = std::uint64_t{raw[0]} | std::uint64_t{raw[1]} << 8 |
                                   std::uint64_t{raw[2]} << 16 | std::uint64_t{raw[3]} << 24 |
                                   std::uint64_t{raw[4]} << 32 | std::uint64_t{raw[5]} << 40 |
                                   std::uint64_t{raw[6]} << 48 | std::uint64_t{raw[7]} << 56;
        return std::bit_cast<double>(bits);
    }

    // What the reader keeps of a string of the table: its rank is its place in byte order, so
    // that a body's names are ordered and told apart as numbers (equal strings share a rank);
    // `body` and `pos` say which entry of which body it names, so that a repeated name is found
    // in constant time. Kept beside the text: a shuffled body touches one place per entry.
    struct tableString {
        ustring text;
        std::uint32_t body = 0;
        std::uint32_t pos = 0;
        std::uint32_t rank = 0;
        bool validName = false;  // checked once, however many entries the string names
    };
    // 1-based as the indices are; item 0 stands for the "what" of version 1.
    std::vector<tableString> table = std::vector<tableString>(1);
    std::uint32_t bodies = 0;

    const ustring& resolve(std::uint64_t index) {
        if (index == 0 || index >= table.size()) throw std::runtime_error("string not found");
        return table[index].text;
    }

    void readTable() {
        const std::uint64_t count = varint64();
        need<1>(count);
        const std::uint64_t room = 1 + (seekable ? count : std::min<std::uint64_t>(count, kChunk));
        charge(room * sizeof(tableString), "strings");
        table.reserve(static_cast<std::size_t>(room));
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t length = varint64();
            if (length > ustring::kMaxLength) throw std::length_error("ustring");
            if (length > remaining()) fail();
            const auto n = static_cast<std::size_t>(length);
            // Past the room made, the table grows by doubling.
            charge(vnu::TextHeapCost(n) + (i + 1 < room ? 0 : 2 * sizeof(tableString)), "strings");
            if (static_cast<std::size_t>(end - p) >= n) {
                table.push_back({ustring(reinterpret_cast<const char*>(p), n)});
                p += n;
            } else if (seekable) {
                table.push_back({ustring(n, '\0')});
                bytes(table.back().text.data(), n);
            } else {
                ustring text;
                std::unique_ptr<char[]> buffer(new char[std::min(kChunk, n)]);
                for (std::size_t done = 0; done < n;) {
                    const std::size_t part = std::min(kChunk, n - done);
                    bytes(buffer.get(), part);
                    text.append(buffer.get(), part);
                    done += part;
                }
                table.push_back({std::move(text)});
            }
        }
        rankSortedTable();
    }

    // Every string is ranked before any body is read: a sorted table (what our writer makes of
    // a message whose names and values come in order) in one pass, any other by sorting it.
    void rankSortedTable() {
        std::uint32_t rank = 0;
        canonical.clear();
        for (std::size_t i = 1; i < table.size(); ++i) {
            const int c = i == 1 ? -1 : table[i - 1].text.compare(table[i].text);
            if (c > 0) {
                // Unsorted: ranked at once, which finds the repeated texts too.
                canonical.clear();
                rankStrings();
                return;
            }
            if (c == 0) sameText(i, i - 1);
            rank += c < 0 ? 2 : 0;
            table[i].rank = rank;
        }
        rankWhat([](std::size_t i) { return static_cast<std::uint32_t>(i + 1); }, rank);
    }

    // Indices of one text, mapped to the first of them, so that a name's values accumulate in
    // stream order whichever index each entry uses. Empty while the table repeats no text (a
    // writer never makes one).
    std::vector<std::uint32_t> canonical;

    void sameText(std::size_t index, std::size_t earlier) {
        if (canonical.empty()) {
            charge(table.size() * sizeof(std::uint32_t), "strings");
            canonical.resize(table.size());
            for (std::size_t i = 0; i < canonical.size(); ++i) canonical[i] = static_cast<std::uint32_t>(i);
        }
        canonical[index] = canonical[earlier];
    }

    void rankStrings() {
        const std::size_t n = table.size() - 1;
        std::vector<std::uint32_t> byName(n);
        for (std::size_t i = 0; i < n; ++i) byName[i] = static_cast<std::uint32_t>(i + 1);
        std::sort(byName.begin(), byName.end(),
                  [this](std::uint32_t a, std::uint32_t b) { return table[a].text < table[b].text; });
        std::uint32_t rank = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (i == 0 || table[byName[i - 1]].text != table[byName[i]].text)
                rank += 2;
            else
                sameText(byName[i], byName[i - 1]);
            table[byName[i]].rank = rank;
        }
        rankWhat([&byName](std::size_t i) { return byName[i]; }, rank);
    }

    // Even ranks for the table's strings; "what" takes the odd one below its successor when the
    // table does not hold it. `byName(i)` is the index of the i-th string in byte order.
    template <class ByName>
    void rankWhat(ByName byName, std::uint32_t highest) {
        static const ustring kWhat("what");
        std::size_t low = 0, high = table.size() - 1;
        while (low < high) {
            const std::size_t mid = (low + high) / 2;
            if (table[byName(mid)].text < kWhat)
                low = mid + 1;
            else
                high = mid;
        }
        if (low == table.size() - 1) {
            table[0].rank = highest + 1;
        } else {
            const tableString& next = table[byName(low)];
            table[0].rank = next.rank - (next.text == kWhat ? 0 : 1);
        }
    }

    // Working space reused by every body, one per nesting level, so that reading a body
    // allocates nothing beyond what the message keeps.
    struct scratch {
        // Per entry: the name's rank above, the stream position below.
        std::vector<std::uint64_t> keys;
        // Per entry once one extends the target: the target's entry it extends, or null.
        std::vector<dyn_array*> existing;
    };
    std::vector<scratch> scratchByDepth = std::vector<scratch>(kMaxDepth + 1);
    std::vector<std::uint64_t> radixSpare;
    std::vector<std::uint32_t> radixCounts;

    // Scratch space grows to the largest body and stays for the reader's life. (The keys of a
    // body's first two entries, which makeRoom does not see, may take a few bytes uncharged.)
    template <class Vector>
    [[gnu::noinline]] void makeScratch(Vector& scratch, std::size_t room) {
        if (room <= scratch.capacity()) return;
        charge((room - scratch.capacity()) * sizeof(typename Vector::value_type), "entries");
        scratch.reserve(room);
    }

    // Rank above, stream position below: sorted, equal names end up together in stream order.
    void sortByRank(std::vector<std::uint64_t>& keys) {
        const std::size_t n = keys.size();
        if (n < 4096) {
            std::sort(keys.begin(), keys.end());
            return;
        }
        // Stable counting passes over the rank's digits: linear, where a comparison sort of a
        // large shuffled body would dominate its reading. Two passes of digits just wide enough
        // for the largest rank (one pass for a few thousand ranks): the counts, and the places
        // the keys are scattered to, then stay in cache.
        std::uint64_t largest = 0;
        for (std::uint64_t k : keys) largest = std::max(largest, k);
        const int bits = std::bit_width(largest >> 32);
        const int digit = bits <= 12 ? bits : (bits + 1) / 2;
        const std::uint64_t mask = (std::uint64_t{1} << digit) - 1;
        makeScratch(radixSpare, n);
        radixSpare.resize(n);
        radixCounts.resize(std::size_t{1} << digit);
        for (int shift = 32; shift < 32 + bits; shift += digit) {
            std::fill(radixCounts.begin(), radixCounts.end(), 0u);
            for (std::uint64_t k : keys) ++radixCounts[(k >> shift) & mask];
            std::uint32_t sum = 0;
            for (std::uint32_t& c : radixCounts) sum += std::exchange(c, sum);
            for (std::uint64_t k : keys) radixSpare[radixCounts[(k >> shift) & mask]++] = k;
            keys.swap(radixSpare);
        }
    }

    // One body's entries are built in stream order and ordered once at the end, so a body
    // whose names arrive in any order is rebuilt in linear or n log n time; repeated names
    // accumulate in stream order. A name repeated under another index of the table (or after a
    // nested body reused its index) is merged at the end, where a clash of types is found.
    struct body {
        unflattener& reader;
        umessage& target;
        std::uint32_t id;
        int depth;
        scratch& work;
        entry_list staged;     // the entries, each once per string index, in stream order
        std::uint64_t unread;  // entries of the body still to come
        // The entries made room for up front: the count of a seekable stream's top level is
        // bounded by the input, nested ones less so, as every level may claim the most.
        std::uint64_t reserveLimit;
        bool extendsTarget = false;  // some entry adds to one the target already had

        body(unflattener& r, umessage& t, int d)
            : reader(r),
              target(t),
              id(++r.bodies),
              depth(d),
              work(r.scratchByDepth[static_cast<std::size_t>(d)]),
              unread(0),
              reserveLimit(d == 0 && r.seekable ? kMaxEntries : kMaxReserved) {
            work.keys.clear();
            work.existing.clear();
        }
        body(const body&) = delete;
        body& operator=(const body&) = delete;

        template <class T>
        array_ptr newArray(umessage_type_id type) {
            static_assert(std::is_nothrow_constructible_v<dyn_array_impl<T>, umessage_type_id, bool>);
            auto* array = ::new (reader.slab.carve(slot_size<T>)) dyn_array_impl<T>(type, false);
            array->block_ = reader.slab.block;
            return array_ptr(array);
        }

        // Room for the entries to come, which the message keeps: as much as the body claims (up to
        // the limit) at first, then twice as much each time it is full. Their keys need as much.
        [[gnu::noinline]] void makeRoom() {
            const std::size_t had = staged.capacity();
            const std::size_t room =
                staged.empty() ? static_cast<std::size_t>(std::min(unread, reserveLimit)) : 2 * had;
            if (room <= had) return;
            reader.charge((room - had) * sizeof(entry_list::value_type), "entries");
            staged.reserve(room);
            reader.makeScratch(work.keys, room);
        }

        template <class T>
        dyn_array_impl<T>& arrayFor(const ustring& name, std::size_t nameIndex, umessage_type_id type) {
            tableString& s = reader.table[nameIndex];
            if (s.body == id) {
                // Made by this reader, whose element type always follows the type id.
                dyn_array* own = staged[s.pos].second.get();
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
            const auto pos = static_cast<std::uint32_t>(staged.size());
            if (staged.size() == staged.capacity() || (staged.empty() && unread > staged.capacity()))
                makeRoom();
            reader.charge(slot_size<T> + vnu::TextHeapCost(name.size()), "entries");
            auto& entry = staged.emplace_back(name, newArray<T>(type));
            work.keys.push_back(
                (std::uint64_t{s.rank} << 32) | pos);
            if (extendsTarget) {
                work.existing.resize(pos);
                work.existing.push_back(existing);
            }
            s.body = id;
            s.pos = pos;
            return static_cast<dyn_array_impl<T>&>(*entry.second);
        }

        // Both arrays have been checked against the type id, which fixes the element type. The
        // values are copied: the source goes only with the body.
        template <class T>
        void appendTo(dyn_array* dst, const dyn_array* src) {
            auto& to = static_cast<dyn_array_impl<T>&>(*dst);
            auto& from = static_cast<const dyn_array_impl<T>&>(*src);
            reader.template chargeValues<T>(from.values.size(), false);
            if (from.isArray) to.isArray = true;
            for (const auto& value : from.values) {
                if constexpr (std::is_same_v<T, ustring>)
                    reader.charge(vnu::TextHeapCost(value.size()), "values");
                to.addData(value);
            }
        }

        void append(dyn_array* dst, const dyn_array* src) {
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

        bool inOrder() const {
            const std::vector<std::uint64_t>& keys = work.keys;
            for (std::size_t i = 1; i < keys.size(); ++i)
                if (keys[i - 1] >> 32 >= keys[i] >> 32) return false;
            return true;
        }

        // Whether the sorted keys rank every entry apart: nothing to merge.
        bool eachNameOnce() const {
            const std::vector<std::uint64_t>& keys = work.keys;
            for (std::size_t i = 1; i < keys.size(); ++i)
                if (keys[i - 1] >> 32 == keys[i] >> 32) return false;
            return true;
        }

        // Puts the staged entries in the sorted keys' order where they are, one cycle of the
        // permutation at a time, sparing a second list as long as the body. Uses up the keys,
        // which are left empty (no other body's ranking may see the marks put in them).
        void orderInPlace() {
            std::vector<std::uint64_t>& keys = work.keys;
            constexpr std::uint64_t kPlaced = ~std::uint64_t{0};
            for (std::size_t start = 0; start < keys.size(); ++start) {
                if (keys[start] == kPlaced) continue;
                entry_list::value_type held = std::move(staged[start]);
                for (std::size_t at = start;;) {
                    const std::size_t from = keys[at] & 0xFFFFFFFF;
                    keys[at] = kPlaced;
                    if (from == start) {
                        staged[at] = std::move(held);
                        break;
                    }
                    if (keys[from] != kPlaced) prefetch(&staged[keys[from] & 0xFFFFFFFF]);
                    staged[at] = std::move(staged[from]);
                    at = from;
                }
            }
            keys.clear();
        }

        void commit() {
            std::vector<std::uint64_t>& keys = work.keys;
            const std::size_t n = keys.size();
            if (n == 0) return;
            if (!extendsTarget && target.data_.empty()) {
                // What writers produce: names strictly ascending, each once. Taken as they come.
                if (inOrder()) {
                    target.data_.assign_sorted(std::move(staged));
                    return;
                }
            }
            reader.sortByRank(keys);
            if (!extendsTarget && target.data_.empty() && eachNameOnce()) {
                orderInPlace();
                target.data_.assign_sorted(std::move(staged));
                return;
            }
            entry_list fresh;
            fresh.reserve(n);
            for (std::size_t i = 0; i < n;) {
                if (i + kPrefetchAhead < n) prefetch(&staged[keys[i + kPrefetchAhead] & 0xFFFFFFFF]);
                const std::size_t head = keys[i] & 0xFFFFFFFF;
                dyn_array* existing = head < work.existing.size() ? work.existing[head] : nullptr;
                dyn_array* into = existing != nullptr ? existing : staged[head].second.get();
                std::size_t j = i + (existing != nullptr ? 0 : 1);
                for (; j < n && (j == i || keys[j] >> 32 == keys[i] >> 32); ++j)
                    append(into, staged[keys[j] & 0xFFFFFFFF].second.get());
                if (existing == nullptr) fresh.push_back(std::move(staged[head]));
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

    // The room `count` more values take; one value of a fresh array is kept inside it (a bool
    // array keeps none). A fresh array of a seekable stream is sized exactly, any other may grow
    // to twice its values.
    template <class T>
    void chargeValues(std::uint64_t count, bool fresh) {
        if (std::is_same_v<T, bool> || count > 1 || !fresh) chargeRoom<T>(count, fresh);
    }
    template <class T>
    [[gnu::noinline]] void chargeRoom(std::uint64_t count, bool fresh) {
        const std::uint64_t factor = fresh && seekable ? 1 : 2;
        if constexpr (std::is_same_v<T, bool>)
            charge(factor * vnu::HeapBlockCost((count + 7) / 8), "values");
        else
            charge(factor * count * sizeof(T), "values");
    }

    template <class T, class Read>
    void values(body& b, const ustring& name, std::size_t nameIndex, umessage_type_id type,
                std::uint64_t count, bool arrayFlag, Read read) {
        // A string value is copied once, from the table into its array.
        auto&& first = read();
        dyn_array_impl<T>& array = b.template arrayFor<T>(name, nameIndex, type);
        chargeValues<T>(count, array.values.empty());
        // Only a fresh array is sized up front: exact growth per repeat would copy quadratically.
        if (count > 1 && array.values.empty())
            array.values.reserve(
                static_cast<std::size_t>(seekable ? count : std::min<std::uint64_t>(count, kChunk)));
        array.addData(std::forward<decltype(first)>(first));
        for (std::uint64_t i = 1; i < count; ++i) array.addData(read());
        if (arrayFlag && count == 1) array.isArray = true;
    }

    // The table's string, which its array copies.
    [[gnu::always_inline]] const ustring& stringValue() {
        const ustring& text = resolve(varint64());
        if (text.size() > 15) [[unlikely]]
            charge(vnu::TextHeapCost(text.size()), "values");
        return text;
    }

    umessage_type_id readType() {
        if (version >= 3) return static_cast<umessage_type_id>(varint32());
        const ustring& typeName = resolve(varint64());
        for (umessage_type_id id = umessage_type_int; id <= umessage_type_message; ++id)
            if (typeName == kTypeNames[id]) return id;
        return umessage_type_null;
    }

    const ustring* readWhat() { return version == 1 ? &resolve(varint64()) : nullptr; }

    std::uint64_t readEntryCount() {
        const std::uint64_t entries = varint64();
        if (entries > kMaxEntries) throw std::runtime_error("umessage::unflatten() : too many entry");
        version == 4 ? need<4>(entries) : need<3>(entries);
        return entries;
    }

    // The top level reads into the caller's message, which may have entries already.
    void readBody(umessage& target, int depth) {
        readEntries(target, readWhat(), std::nullopt, depth);
    }

    std::shared_ptr<umessage> readNested(int depth) {
        const ustring* what = readWhat();
        const std::uint64_t entries = readEntryCount();
        auto nested = std::allocate_shared<umessage>(slab_allocator<umessage>(&slab));
        readEntries(*nested, what, entries, depth);
        return nested;
    }

    void readEntries(umessage& target, const ustring* what, std::optional<std::uint64_t> entryCount,
                     int depth) {
        if (bodies == UINT32_MAX) throw std::runtime_error("umessage::unflatten() : too many messages");
        body b(*this, target, depth);
        if (what != nullptr && !what->empty()) {
            static const ustring kWhat("what");
            b.unread = 1;
            charge(vnu::TextHeapCost(what->size()), "values");
            b.arrayFor<ustring>(kWhat, 0, umessage_type_string).addData(*what);
        }
        b.unread = entryCount ? *entryCount : readEntryCount();
        for (; b.unread > 0; --b.unread) {
            std::uint64_t nameIndex = varint64();
            const ustring& name = resolve(nameIndex);
            if (!canonical.empty()) nameIndex = canonical[nameIndex];
            // Wanted once the value is read: in a shuffled body the wait overlaps the reading.
            prefetch(&table[nameIndex]);
            const umessage_type_id type = readType();
            const bool arrayFlag = version == 4 && byte() != 0;
            const std::uint64_t count = varint64();
            if (static_cast<std::uint32_t>(type) - 1u >= umessage_type_longlong)
                throw std::runtime_error("unknown type!");
            if (count == 0) continue;
            if (count > UINT32_MAX) throw std::runtime_error("umessage::unflatten() : too many values");
            switch (type) {
                case umessage_type_int:
                    need<1>(count);
                    values<int>(b, name, nameIndex, type, count, arrayFlag,
                                [this] { return static_cast<int>(varint32()); });
                    break;
                case umessage_type_bool:
                    need<1>(count);
                    values<bool>(b, name, nameIndex, type, count, arrayFlag, [this] { return byte() != 0; });
                    break;
                case umessage_type_double:
                    need<8>(count);
                    values<double>(b, name, nameIndex, type, count, arrayFlag,
                                   [this] { return readDouble(); });
                    break;
                case umessage_type_string:
                    need<1>(count);
                    values<ustring>(b, name, nameIndex, type, count, arrayFlag,
                                    [this]() -> const ustring& { return stringValue(); });
                    break;
                case umessage_type_message:
                    if (depth >= kMaxDepth)
                        throw std::runtime_error("umessage::unflatten() : messages nested too deeply");
                    version == 1 ? need<2>(count) : need<1>(count);
                    // All at once: each of them will be made, however little it holds.
                    charge(count * kNestedCost, "nested messages");
                    values<std::shared_ptr<umessage>>(b, name, nameIndex, type, count, arrayFlag,
                                                      [this, depth] { return readNested(depth + 1); });
                    break;
                default:
                    need<1>(count);
                    values<long long>(b, name, nameIndex, type, count, arrayFlag,
                                      [this] { return static_cast<long long>(varint64()); });
                    break;
            }
        }
        b.commit();
    }
};

}  // namespace umessage_details

bool umessage::unflatten(std::istream& in) {
    return unflattenWithin(in, nullptr);
}

bool umessage::unflatten(std::istream& in, vnu::ReadBudget& budget) {
    return unflattenWithin(in, &budget);
}

bool umessage::unflattenWithin(std::istream& in, vnu::ReadBudget* budget) {
    clear();
    if (!in) return false;  // a failed stream holds no message, like a missing version
    try {
        umessage_details::unflattener reader(in, budget);
        std::uint32_t version = 0;
        try {
            version = reader.varint32();
        } catch (const std::exception&) {
            return false;  // no version: not a flattened message, like a version out of range
        }
        if (version < 1 || version > 4) return false;
        reader.version = static_cast<int>(version);
        reader.readTable();
        reader.readBody(*this, 0);
        if (budget != nullptr) budget->setLeft(reader.budgetLeft);
        return true;
    } catch (const std::exception& e) {
        VN_LOG_FN(::vnu::loglevel::error, "unflatten", e.what());
        clear();
        return false;
    }
}

void umessage::unflatten_priv(std::istream& in, int version, const std::vector<ustring>& strings) {
    umessage_details::unflattener reader(in, nullptr);
    reader.version = version;
    for (const ustring& text : strings) reader.table.push_back({text});
    reader.rankSortedTable();
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
                for (std::size_t i = from; i < array.count(); ++i) {
                    // A null message, which only a program can make, travels as an empty one.
                    static const umessage kEmpty{};
                    const auto& nested = valuesOf<std::shared_ptr<umessage>>(array)[i];
                    message(nested ? *nested : kEmpty);
                }
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
