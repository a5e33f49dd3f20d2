#include "message/umessage_image.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "support/ReadBudget.h"
#include "support/ulogger.h"

namespace {

constexpr std::uint64_t kMaxEntries = 0x20000;
constexpr int kMaxDepth = umessage::kMaxNesting;
// Counts and offsets share their words with a flag.
constexpr std::uint64_t kMostValues = 0x7FFFFFFF;
const char* const kTypeNames[] = {nullptr, "int", "bool", "float", "string", "umessage"};
constexpr std::string_view kWhat = "what";

[[noreturn]] void truncated() {
    throw std::runtime_error("umessage::unflatten() : unexpected end of data");
}

// The reader checked every value, so decoding trusts the bytes.
std::uint64_t takeVarint(const unsigned char*& p) {
    const unsigned char first = *p++;
    const int extra = std::countl_one(first);
    std::uint64_t value = first & (0xFFu >> extra);
    for (int i = 0; i < extra; ++i) value = (value << 8) | *p++;
    return value;
}

const unsigned char* skipVarints(const unsigned char* p, unsigned count) {
    for (; count > 0; --count) p += 1 + std::countl_one(*p);
    return p;
}

double doubleAt(const unsigned char* p) {
    std::uint64_t bits;
    std::memcpy(&bits, p, 8);
    if constexpr (std::endian::native == std::endian::big) bits = __builtin_bswap64(bits);
    return std::bit_cast<double>(bits);
}

}  // namespace

// Checks and indexes one flattened message. Errors are thrown with the texts unflatten uses.
struct image_reader {
    umessage_image& image;
    const unsigned char* begin;
    const unsigned char* p;
    const unsigned char* end;
    int version = 0;
    vnu::ReadBudget& budget;
    std::uint64_t left;
    std::vector<std::uint32_t> tableRank;      // per string index
    std::vector<unsigned char> nameChecked;    // per string index: valid as a name
    std::uint32_t whatRank = 0;

    // One entry of a body before the body is put in name order.
    struct Staged {
        std::uint32_t rank;
        std::uint32_t type;
        std::uint32_t count;
        std::uint32_t at;
        std::uint32_t valuesEnd;  // where the values end in the bytes (not for messages)
        bool flag;
    };
    // Per nesting level, reused by every body at that level; charged as it grows.
    std::vector<std::vector<Staged>> scratch = std::vector<std::vector<Staged>>(kMaxDepth + 1);

    void stage(std::vector<Staged>& staged, const Staged& s) {
        if (staged.size() == staged.capacity()) {
            const std::size_t room = std::max<std::size_t>(16, 2 * staged.capacity());
            charge((room - staged.capacity()) * sizeof(Staged), "entries");
            staged.reserve(room);
        }
        staged.push_back(s);
    }

    image_reader(umessage_image& i, std::string_view bytes, vnu::ReadBudget& b)
        : image(i),
          begin(reinterpret_cast<const unsigned char*>(bytes.data())),
          p(begin),
          end(begin + bytes.size()),
          budget(b),
          left(b.left()) {}

    [[noreturn]] [[gnu::noinline]] void exhausted(const char* what) const {
        throw std::runtime_error(std::string("umessage::unflatten() : too many ") + what +
                                 " for an input of " + std::to_string(budget.inputBytes()) + " bytes");
    }
    void charge(std::uint64_t bytes, const char* what) {
        if (bytes > left) [[unlikely]]
            exhausted(what);
        left -= bytes;
    }

    std::uint64_t remaining() const { return static_cast<std::uint64_t>(end - p); }
    template <std::uint64_t MinSize>
    void need(std::uint64_t count) const {
        if (count > remaining() / MinSize) truncated();
    }
    std::uint32_t offset() const { return static_cast<std::uint32_t>(p - begin); }

    // Nearly all varints take one byte; a longer one is checked against the end once.
    [[gnu::always_inline]] std::uint64_t varint64(int& extra) {
        if (p != end && *p < 0x80) [[likely]] {
            extra = 0;
            return *p++;
        }
        return varint64Long(extra);
    }
    [[gnu::noinline]] std::uint64_t varint64Long(int& extra) {
        if (p == end) truncated();
        const unsigned char first = *p++;
        extra = std::countl_one(first);
        if (remaining() < static_cast<std::uint64_t>(extra)) truncated();
        std::uint64_t value = first & (0xFFu >> extra);
        for (int i = 0; i < extra; ++i) value = (value << 8) | *p++;
        return value;
    }
    [[gnu::always_inline]] std::uint64_t varint64() {
        int extra;
        return varint64(extra);
    }
    [[gnu::always_inline]] std::uint32_t varint32() {
        int extra;
        const std::uint64_t value = varint64(extra);
        if (extra > 4) throw std::runtime_error("umessage::unflatten() : 32-bit field too long");
        return static_cast<std::uint32_t>(value);
    }
    unsigned char byte() {
        if (p == end) truncated();
        return *p++;
    }
    std::uint64_t stringIndex() {
        const std::uint64_t index = varint64();
        if (index == 0 || index >= image.strings_.size()) throw std::runtime_error("string not found");
        return index;
    }

    void readTable() {
        const std::uint64_t count = varint64();
        need<1>(count);
        if (count >= (std::uint64_t{1} << 29)) exhausted("strings");
        // Per string its view, its rank, its check and its place among the names.
        charge((count + 1) * (2 * sizeof(std::string_view) + sizeof(std::uint32_t) + 1 + sizeof(std::uint32_t)),
               "strings");
        auto& strings = image.strings_;
        strings.reserve(static_cast<std::size_t>(count + 1));
        strings.emplace_back();
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t length = varint64();
            if (length > ustring::kMaxLength) throw std::length_error("ustring");
            if (length > remaining()) truncated();
            strings.emplace_back(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
            p += length;
        }
        rankStrings();
    }

    // Names are compared as numbers: their places among the table's distinct strings, "what"
    // (the name of version 1's head) among them.
    void rankStrings() {
        const auto& strings = image.strings_;
        std::vector<std::uint32_t> order(strings.size() - 1);
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i + 1);
        bool sorted = true;
        for (std::size_t i = 1; i < order.size() && sorted; ++i) sorted = strings[i] <= strings[i + 1];
        if (!sorted)
            std::sort(order.begin(), order.end(),
                      [&strings](std::uint32_t a, std::uint32_t b) { return strings[a] < strings[b]; });
        auto& names = image.names_;
        tableRank.assign(strings.size(), 0);
        nameChecked.assign(strings.size(), 0);
        bool whatSeen = false;
        for (std::uint32_t index : order) {
            const std::string_view text = strings[index];
            if (!whatSeen && kWhat <= text) {
                whatSeen = true;
                whatRank = static_cast<std::uint32_t>(names.size());
                if (text != kWhat) names.push_back(kWhat);
            }
            if (names.empty() || names.back() != text) names.push_back(text);
            tableRank[index] = static_cast<std::uint32_t>(names.size() - 1);
        }
        if (!whatSeen) {
            whatRank = static_cast<std::uint32_t>(names.size());
            names.push_back(kWhat);
        }
    }

    umessage_type_id readType() {
        if (version >= 3) return static_cast<umessage_type_id>(varint32());
        const std::string_view typeName = image.strings_[stringIndex()];
        for (umessage_type_id id = umessage_type_int; id <= umessage_type_message; ++id)
            if (typeName == kTypeNames[id]) return id;
        return umessage_type_null;
    }

    std::uint64_t readEntryCount() {
        const std::uint64_t entries = varint64();
        if (entries > kMaxEntries) throw std::runtime_error("umessage::unflatten() : too many entry");
        version == 4 ? need<4>(entries) : need<3>(entries);
        return entries;
    }

    // Reads one body; the place of its head word.
    std::uint32_t readBody(int depth) {
        std::vector<Staged>& staged = scratch[static_cast<std::size_t>(depth)];
        staged.clear();
        if (version == 1) {
            const std::uint32_t at = offset();
            const std::uint64_t what = stringIndex();
            if (!image.strings_[what].empty())
                stage(staged, {whatRank, umessage_type_string, 1, at, offset(), false});
        }
        for (std::uint64_t n = readEntryCount(); n > 0; --n) {
            const std::uint64_t nameIndex = stringIndex();
            const umessage_type_id type = readType();
            const bool flag = version == 4 && byte() != 0;
            const std::uint64_t count = varint64();
            if (static_cast<std::uint32_t>(type) - 1u >= umessage_type_longlong)
                throw std::runtime_error("unknown type!");
            if (count == 0) continue;
            if (count > kMostValues) throw std::runtime_error("umessage::unflatten() : too many values");
            if (!nameChecked[nameIndex]) {
                if (!umessage_details::valid_name(ustring(image.strings_[nameIndex])))
                    throw std::invalid_argument("empty or invalid name");
                nameChecked[nameIndex] = 1;
            }
            Staged s{tableRank[nameIndex], static_cast<std::uint32_t>(type), static_cast<std::uint32_t>(count),
                     offset(), 0, flag};
            switch (type) {
                case umessage_type_int:
                    need<1>(count);
                    for (std::uint64_t i = 0; i < count; ++i) varint32();
                    break;
                case umessage_type_bool:
                    need<1>(count);
                    p += count;
                    break;
                case umessage_type_double:
                    need<8>(count);
                    p += 8 * count;
                    break;
                case umessage_type_string:
                    need<1>(count);
                    for (std::uint64_t i = 0; i < count; ++i) stringIndex();
                    break;
                case umessage_type_message: {
                    if (depth >= kMaxDepth)
                        throw std::runtime_error("umessage::unflatten() : messages nested too deeply");
                    version == 1 ? need<2>(count) : need<1>(count);
                    auto& bodies = image.bodies_;
                    if (count > UINT32_MAX - bodies.size())
                        throw std::runtime_error("umessage::unflatten() : too many messages");
                    charge(count * sizeof(std::uint32_t), "nested messages");
                    const std::size_t base = bodies.size();
                    s.at = static_cast<std::uint32_t>(base);
                    bodies.resize(base + count);
                    for (std::size_t i = 0; i < count; ++i) {
                        const std::uint32_t head = readBody(depth + 1);
                        bodies[base + i] = head;
                    }
                    break;
                }
                default:
                    need<1>(count);
                    for (std::uint64_t i = 0; i < count; ++i) varint64();
                    break;
            }
            s.valuesEnd = offset();
            stage(staged, s);
        }
        return commit(staged);
    }

    // The body's entries in name order after its head, those of a repeated name as one.
    std::uint32_t commit(std::vector<Staged>& staged) {
        if (staged.empty()) return 0;
        bool ordered = true;
        for (std::size_t i = 1; i < staged.size() && ordered; ++i) ordered = staged[i - 1].rank < staged[i].rank;
        if (!ordered)
            std::stable_sort(staged.begin(), staged.end(),
                             [](const Staged& a, const Staged& b) { return a.rank < b.rank; });
        auto& words = image.words_;
        charge((1 + 3 * staged.size()) * sizeof(std::uint32_t), "entries");
        if (words.size() + 1 + 3 * staged.size() > UINT32_MAX) exhausted("entries");
        const auto head = static_cast<std::uint32_t>(words.size());
        words.push_back(0);
        std::uint32_t entries = 0;
        for (std::size_t i = 0; i < staged.size(); ++entries) {
            std::size_t j = i + 1;
            while (j < staged.size() && staged[j].rank == staged[i].rank) ++j;
            if (j == i + 1) {
                const Staged& s = staged[i];
                words.push_back(s.rank << 3 | s.type);
                words.push_back(s.count << 1 | ((s.flag || s.count > 1) ? 1u : 0u));
                words.push_back(s.at);
            } else {
                merge(staged.data() + i, staged.data() + j);
            }
            i = j;
        }
        words[head] = entries;
        return head;
    }

    // One entry holding the values of a name repeated in a body, in stream order.
    void merge(const Staged* first, const Staged* last) {
        std::uint64_t count = 0;
        for (const Staged* s = first; s != last; ++s) {
            if (s->type != first->type) throw std::logic_error("incompatible type");
            count += s->count;
        }
        if (count > kMostValues) throw std::runtime_error("umessage::unflatten() : too many values");
        std::uint32_t at = 0;
        if (first->type == umessage_type_message) {
            auto& bodies = image.bodies_;
            charge(count * sizeof(std::uint32_t), "nested messages");
            if (count > UINT32_MAX - bodies.size()) throw std::runtime_error("umessage::unflatten() : too many messages");
            at = static_cast<std::uint32_t>(bodies.size());
            for (const Staged* s = first; s != last; ++s)
                for (std::uint32_t k = 0; k < s->count; ++k) bodies.push_back(bodies[s->at + k]);
        } else {
            std::string& merged = image.merged_;
            std::uint64_t size = 0;
            for (const Staged* s = first; s != last; ++s) size += s->valuesEnd - s->at;
            charge(size, "values");
            if (merged.size() + size >= umessage_image::kMerged) exhausted("values");
            at = umessage_image::kMerged | static_cast<std::uint32_t>(merged.size());
            for (const Staged* s = first; s != last; ++s)
                merged.append(reinterpret_cast<const char*>(begin) + s->at, s->valuesEnd - s->at);
        }
        auto& words = image.words_;
        words.push_back(first->rank << 3 | first->type);
        words.push_back(static_cast<std::uint32_t>(count) << 1 | 1u);
        words.push_back(at);
    }
};

void umessage_image::clear() {
    owned_.reset();
    bytes_ = {};
    merged_.clear();
    strings_.clear();
    names_.clear();
    words_.clear();
    words_.push_back(0);
    root_ = 0;
    bodies_.clear();
}

bool umessage_image::read(std::string_view bytes, vnu::ReadBudget& budget) {
    clear();
    if (bytes.size() >= kMerged) {
        VN_LOG_FN(::vnu::loglevel::error, "unflatten", "umessage::unflatten() : message too large");
        return false;
    }
    bytes_ = bytes;
    // Room for the most any bytes can need (a word per byte for each), so that nothing is copied
    // as it grows: pages of it never written are never touched, and take no memory.
    words_.reserve(1 + bytes.size());
    bodies_.reserve(bytes.size());
    image_reader reader(*this, bytes, budget);
    std::uint32_t version = 0;
    try {
        version = reader.varint32();
    } catch (const std::exception&) {
        clear();
        return false;  // no version: not a flattened message
    }
    if (version < 1 || version > 4) {
        clear();
        return false;
    }
    try {
        reader.version = static_cast<int>(version);
        reader.readTable();
        root_ = reader.readBody(0);
        budget.setLeft(reader.left);
        return true;
    } catch (const std::exception& e) {
        VN_LOG_FN(::vnu::loglevel::error, "unflatten", e.what());
        clear();
        return false;
    }
}

bool umessage_image::read(std::string&& bytes, vnu::ReadBudget& budget) {
    auto owned = std::make_unique<const std::string>(std::move(bytes));
    const std::string_view view(*owned);
    if (!read(view, budget)) return false;
    owned_ = std::move(owned);
    return true;
}

umessage_image umessage_image::of(const umessage& message) {
    std::ostringstream out;
    message.flatten(out, 4);
    std::string bytes = std::move(out).str();
    // The message is already in memory: its index may take what it needs.
    vnu::ReadBudget budget(bytes.size(), 64);
    umessage_image image;
    if (!image.read(std::move(bytes), budget)) throw std::runtime_error("umessage_image: flattened form unreadable");
    return image;
}

std::uint32_t umessage_image::rankOf(std::string_view name) const {
    const auto at = std::lower_bound(names_.begin(), names_.end(), name);
    return at != names_.end() && *at == name ? static_cast<std::uint32_t>(at - names_.begin()) : kNoRank;
}

std::int64_t umessage_image::keyOf(std::string_view name) const {
    const auto at = std::lower_bound(names_.begin(), names_.end(), name);
    const std::int64_t place = at - names_.begin();
    return at != names_.end() && *at == name ? 2 * place : 2 * place - 1;
}

std::size_t umessage_image::indexBytes() const {
    return merged_.size() + strings_.size() * sizeof(std::string_view) + names_.size() * sizeof(std::string_view) +
           words_.size() * sizeof(std::uint32_t) + bodies_.size() * sizeof(std::uint32_t);
}

// ---------------------------------------------------------------------------------------------
// Entries

const unsigned char* umessage_entry::values() const {
    const std::uint32_t at = word(2);
    const char* base = (at & umessage_image::kMerged) != 0 ? image_->merged_.data() + (at & ~umessage_image::kMerged)
                                                          : image_->bytes_.data() + at;
    return reinterpret_cast<const unsigned char*>(base);
}

int umessage_entry::intAt(unsigned index) const {
    const unsigned char* p = skipVarints(values(), index);
    return static_cast<int>(static_cast<std::uint32_t>(takeVarint(p)));
}

bool umessage_entry::boolAt(unsigned index) const {
    return values()[index] != 0;
}

double umessage_entry::doubleAt(unsigned index) const {
    return ::doubleAt(values() + 8 * std::size_t{index});
}

std::string_view umessage_entry::stringAt(unsigned index) const {
    const unsigned char* p = skipVarints(values(), index);
    return image_->strings_[takeVarint(p)];
}

long long umessage_entry::longlongAt(unsigned index) const {
    const unsigned char* p = skipVarints(values(), index);
    return static_cast<long long>(takeVarint(p));
}

bool umessage_entry::firstNumber(double& out) const {
    switch (type()) {
        case umessage_type_double: out = doubleAt(0); return true;
        case umessage_type_int: umessage_details::convert(intAt(0), out); return true;
        case umessage_type_longlong: umessage_details::convert(longlongAt(0), out); return true;
        default: return false;
    }
}

bool umessage_entry::firstInteger(int& out) const {
    switch (type()) {
        case umessage_type_int: out = intAt(0); return true;
        case umessage_type_double: umessage_details::convert(doubleAt(0), out); return true;
        case umessage_type_longlong: umessage_details::convert(longlongAt(0), out); return true;
        default: return false;
    }
}

bool umessage_entry::firstString(std::string_view& out) const {
    if (type() != umessage_type_string) return false;
    out = stringAt(0);
    return true;
}

umessage_cursor::umessage_cursor(const umessage_entry& entry)
    : entry_(entry), p_(entry.type() == umessage_type_message ? nullptr : entry.values()) {}

int umessage_cursor::nextInt() {
    return static_cast<int>(static_cast<std::uint32_t>(takeVarint(p_)));
}

double umessage_cursor::nextDouble() {
    const double value = ::doubleAt(p_);
    p_ += 8;
    return value;
}

std::string_view umessage_cursor::nextString() {
    return entry_.image_->strings_[takeVarint(p_)];
}

long long umessage_cursor::nextLonglong() {
    return static_cast<long long>(takeVarint(p_));
}

umessage_view umessage_cursor::nextMessage() {
    return entry_.messageAt(index_++);
}

// ---------------------------------------------------------------------------------------------
// Views

bool umessage_view::findRank(std::uint32_t rank, unsigned& index) const {
    if (rank == umessage_image::kNoRank) return false;
    unsigned low = 0, high = size();
    const std::uint32_t* words = image_ == nullptr ? nullptr : image_->words_.data() + head_ + 1;
    while (low < high) {
        const unsigned mid = (low + high) / 2;
        if ((words[3 * mid] >> 3) < rank)
            low = mid + 1;
        else
            high = mid;
    }
    if (low == size() || (words[3 * low] >> 3) != rank) return false;
    index = low;
    return true;
}

bool umessage_view::find(std::string_view name, unsigned& index) const {
    return image_ != nullptr && findRank(image_->rankOf(name), index);
}

umessage_view umessage_view::firstMessage(std::string_view name) const {
    return message(name, 0);
}

umessage_view umessage_view::message(std::string_view name, unsigned index) const {
    unsigned at = 0;
    if (!find(name, at)) return {};
    const umessage_entry e = entry(at);
    return e.type() == umessage_type_message && index < e.count() ? e.messageAt(index) : umessage_view();
}

unsigned umessage_view::countOf(std::string_view name) const {
    unsigned at = 0;
    return find(name, at) ? entry(at).count() : 0;
}

umessage umessage_view::toMessage() const {
    umessage m;
    for (unsigned i = 0, n = size(); i < n; ++i) {
        const umessage_entry e = entry(i);
        const ustring name(e.name());
        const umessage_type_id type = e.type();
        const bool array = e.isArray();
        umessage_cursor values(e);
        for (unsigned k = 0, count = e.count(); k < count; ++k) {
            switch (type) {
                case umessage_type_int: m.addData_priv<int>(name, type, values.nextInt(), array); break;
                case umessage_type_bool: m.addData_priv<bool>(name, type, values.nextBool(), array); break;
                case umessage_type_double: m.addData_priv<double>(name, type, values.nextDouble(), array); break;
                case umessage_type_string:
                    m.addData_priv<ustring>(name, type, ustring(values.nextString()), array);
                    break;
                case umessage_type_message:
                    m.addData_priv<std::shared_ptr<umessage>>(
                        name, type, std::make_shared<umessage>(values.nextMessage().toMessage()), array);
                    break;
                default: m.addData_priv<long long>(name, type, values.nextLonglong(), array); break;
            }
        }
    }
    return m;
}
