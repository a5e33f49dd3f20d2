#include "keystream/UKeyStream.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <istream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string_view>
#include <typeinfo>

#include "message/umessage.h"
#include "message/umessage_image.h"

namespace {

// A small window covers a run of fields and the headers of an array; data beyond it is read
// straight into its target.
constexpr std::size_t kWindowSize = 64 * 1024;
// Key, 5-byte length and type; then up to 8 data bytes, which a parsed header points at.
constexpr std::size_t kMaxHeader = 2 + 5 + 1;
constexpr std::size_t kMaxHeaderAndInline = kMaxHeader + 8;
// Runs up to this long are searched item by item when a lookup misses the next item; longer
// ones get a hash table.
constexpr std::size_t kLinearRun = 32;

std::uint32_t GetBigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Reader: key table

void UKeyInStream::KeyTable::Build(const KeyList& keys) {
    bits_ = std::max(5, static_cast<int>(std::bit_width(2 * keys.size() - 1)));
    direct_ = bits_ > 13;
    // A smaller run after a larger one reuses the room.
    slots_.assign(direct_ ? std::size_t{1} << 16 : std::size_t{1} << bits_, 0u);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        std::size_t s = Home(keys[i]);
        while (slots_[s] != 0) s = (s + 1) & mask;
        slots_[s] = static_cast<std::uint32_t>(i + 1);
    }
}

// ---------------------------------------------------------------------------------------------
// Reader: input

void UKeyInStream::Fail(const std::string& what) {
    throw std::runtime_error("UKeyInStream: " + what);
}

void UKeyInStream::FailHeaderCut(const char* where, std::int64_t pos) {
    Fail(std::string(where) + " ends inside a field header at offset " + std::to_string(pos));
}

void UKeyInStream::FailPastEnd(const char* where, std::int64_t pos, std::uint32_t length, std::int64_t end) {
    Fail("field at offset " + std::to_string(pos) + " is " + std::to_string(length) +
         " bytes long, past the end of its " + where + " at offset " + std::to_string(end));
}

void UKeyInStream::SeekTo(std::int64_t pos) {
    if (bufferPos_ == pos) return;
    bufferPos_ = -1;
    if (std::int64_t(in_->pubseekpos(pos, std::ios::in)) != pos) {
        Fail("cannot seek to offset " + std::to_string(pos));
    }
    bufferPos_ = pos;
}

// Callers keep pos + count within the input's end, which the constructor measured.
const unsigned char* UKeyInStream::Refill(std::int64_t pos, std::size_t count) {
    const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(windowSize_, inputEnd_ - pos));
    SeekTo(pos);
    windowPos_ = pos;
    windowLen_ = 0;
    // Both point into the window; a scan may refill it after describing a walk's first fields.
    currentData_ = nullptr;
    walkEnd_ = 0;
    if (buffer_ == nullptr) buffer_.reset(new unsigned char[windowSize_]);
    window_ = buffer_.get();
    const std::streamsize got = in_->sgetn(reinterpret_cast<char*>(buffer_.get()), std::streamsize(wanted));
    bufferPos_ = got > 0 ? pos + got : -1;
    windowLen_ = got > 0 ? static_cast<std::size_t>(got) : 0;
    if (windowLen_ < count)
        Fail("input ended early at offset " + std::to_string(pos + std::int64_t(windowLen_)));
    return window_;
}

void UKeyInStream::ReadAt(std::int64_t pos, void* target, std::size_t count) {
    if (count == 0) return;
    if (const unsigned char* p = InWindow(pos, count)) {
        std::memcpy(target, p, count);
        return;
    }
    // Straight into the target, in one piece, leaving the window where the scan is.
    SeekTo(pos);
    const std::streamsize got = in_->sgetn(static_cast<char*>(target), std::streamsize(count));
    bufferPos_ = got > 0 ? pos + got : -1;
    if (got != std::streamsize(count)) {
        Fail("input ended early at offset " + std::to_string(pos + std::max<std::streamsize>(got, 0)));
    }
}

// ---------------------------------------------------------------------------------------------
// Reader: structure

UKeyInStream::UKeyInStream(std::istream& in, std::uint64_t perInputByte) {
    in_ = in.fail() ? nullptr : in.rdbuf();
    // A failed stream gives no bytes, so it cannot start with the root key.
    if (in_ == nullptr) Fail("meta key mismatch");
    const std::int64_t start = in_->pubseekoff(0, std::ios::cur, std::ios::in);
    const std::int64_t end = start < 0 ? -1 : std::int64_t(in_->pubseekoff(0, std::ios::end, std::ios::in));
    if (start < 0 || end < start) Fail("input stream is not seekable");
    inputEnd_ = end;
    budget_ = vnu::ReadBudget(static_cast<std::uint64_t>(end - start), perInputByte);
    // Never more memory than the input holds.
    windowSize_ = static_cast<std::size_t>(std::min<std::int64_t>(kWindowSize, end - start));
    windowPos_ = start;
    // A string stream's bytes are read where they are: input positions count from its start. Against
    // copying them into a window: 8% of BM_JobStreamScan, 5x BM_LookupAllKeys (CPU time).
    if (typeid(*in_) == typeid(std::stringbuf)) {
        const std::string_view bytes = static_cast<std::stringbuf*>(in_)->view();
        if (std::int64_t(bytes.size()) >= end) {
            window_ = reinterpret_cast<const unsigned char*>(bytes.data());
            windowPos_ = 0;
            windowLen_ = static_cast<std::size_t>(end);
        }
    }

    const std::int64_t available = end - start;
    if (available < 2) Fail("meta key mismatch");
    const unsigned char* p = Fetch(start, static_cast<std::size_t>(std::min<std::int64_t>(available, 8)));
    if (UKey(p[0], p[1]) != kRootKey) Fail("meta key mismatch");
    std::uint32_t length = 0;
    std::size_t headerSize = 0;
    if (available >= 3 && p[2] != kLongLength) {
        length = p[2];
        headerSize = 4;
    } else if (available >= 7) {
        length = GetBigEndian32(p + 3);
        headerSize = 8;
    }
    if (headerSize == 0 || available < std::int64_t(headerSize))
        Fail("input ends inside the root record header");
    if (p[headerSize - 1] != eType_Record) Fail("expecting record");
    const std::int64_t contentStart = start + std::int64_t(headerSize);
    if (std::int64_t(length) > end - contentStart) {
        Fail("root record length " + std::to_string(length) + " goes past the end of the input (" +
             std::to_string(end - contentStart) + " bytes follow its header)");
    }

    level_ = 0;
    Level& root = levels_[0];
    root.pos = root.start = contentStart;
    root.end = contentStart + length;

    // The version is found only as the first field or right after 'ID'; both stay in the
    // root's index for later lookups.
    std::int64_t pos = contentStart;
    if (root.end - pos < 2) return;
    Header field = ParseHeader(pos, root.end, true, "root record");
    if (field.key == kIdKey) {
        pos = field.dataPos + field.length;
        if (root.end - pos < 2) return;
        field = ParseHeader(pos, root.end, true, "root record");
    }
    if (field.key != kVersionKey) return;
    if (field.length > 4)
        Fail("version field is " + std::to_string(field.length) + " bytes long, at most 4 fit");
    unsigned char bytes[4] = {};
    if (field.length > 0) std::memcpy(bytes + 4 - field.length, field.inlineData, field.length);
    version_ = static_cast<std::int32_t>(GetBigEndian32(bytes));
}

UKeyInStream::~UKeyInStream() = default;

UKeyInStream::Header UKeyInStream::ParseHeader(std::int64_t pos, std::int64_t end, bool keyed,
                                               const char* where) {
    const std::int64_t available = std::clamp<std::int64_t>(end - pos, 0, kMaxHeaderAndInline);
    return DecodeHeader(Fetch(pos, static_cast<std::size_t>(available)), pos, end, keyed, where);
}

inline UKeyInStream::Header UKeyInStream::DecodeHeader(const unsigned char* p, std::int64_t pos,
                                                       std::int64_t end, bool keyed, const char* where) {
    const std::int64_t available = end - pos;
    std::size_t i = keyed ? 2 : 0;
    if (available < std::int64_t(i + 2)) FailHeaderCut(where, pos);
    Header h;
    if (keyed) h.key = static_cast<unsigned short>((p[0] << 8) | p[1]);
    h.length = p[i++];
    if (h.length == kLongLength) {
        if (available < std::int64_t(i + 4 + 1)) FailHeaderCut(where, pos);
        h.length = GetBigEndian32(p + i);
        i += 4;
    }
    h.type = p[i++];
    h.dataPos = pos + std::int64_t(i);
    if (std::int64_t(h.length) > end - h.dataPos ||
        h.length > std::uint32_t(std::numeric_limits<int>::max())) {
        FailPastEnd(where, pos, h.length, end);
    }
    // Header and inline data are within the fetched bytes: i <= 8 and length <= 8.
    if (h.length <= 8) h.inlineData = p + i;
    return h;
}

bool UKeyInStream::IsKeyed() const {
    return levels_[level_].keyed;
}

// Stores of marks left by this thread's closed streams, for its next ones: a job read opens a
// few levels at a time.
class UKeyInStream::KeyMarks::Stores {
public:
    ~Stores() {
        while (count_ > 0) delete kept_[--count_];
        // A stream closed later in the thread's end gives its store to the heap.
        closed_ = true;
    }
    Store* Take() { return count_ == 0 ? nullptr : kept_[--count_]; }
    bool Keep(Store* store) {
        if (closed_ || count_ == kMost) return false;
        kept_[count_++] = store;
        return true;
    }

private:
    static constexpr std::size_t kMost = 4;
    std::array<Store*, kMost> kept_{};
    std::size_t count_ = 0;
    bool closed_ = false;
};

thread_local UKeyInStream::KeyMarks::Stores UKeyInStream::KeyMarks::stores_;

void UKeyInStream::KeyMarks::Store::NewGeneration() {
    if (++generation != 0) return;
    std::fill(std::begin(marks), std::end(marks), std::uint16_t{0});
    generation = 1;
}

void UKeyInStream::KeyMarks::Acquire() {
    Store* store = stores_.Take();
    store_.reset(store != nullptr ? store : new Store);
    // Marks of the store's last stream belong to older generations.
    store_->NewGeneration();
}

void UKeyInStream::KeyMarks::GiveBack::operator()(Store* store) const noexcept {
    if (!stores_.Keep(store)) delete store;
}

void UKeyInStream::ForgetRun(Level& level) {
    level.marks.NewRun();
    level.keys.clear();
    level.positions.clear();
    level.indexed = false;
    level.next = 0;
    level.walked = 0;
}

inline bool UKeyInStream::JoinRun(Level& level, const unsigned char* p, std::int64_t& pos, std::int64_t end) {
    const auto key = static_cast<unsigned short>((p[0] << 8) | p[1]);
    // A repeated key starts the next run; its field is checked when that run is scanned.
    if (level.marks.Has(key)) return false;
    const Header h = DecodeHeader(p, pos, end, true, "record");
    if (level.keys.size() == level.keys.capacity() && level.keys.size() >= 1024) {
        // A long run: room for as many fields as the rest of the level could hold (four bytes
        // per field at least), so the run is not copied again; untouched capacity costs no
        // memory.
        const auto most = static_cast<std::size_t>(std::min<std::int64_t>(
            std::int64_t(level.keys.size()) + (end - pos) / 4 + 1, std::int64_t{1} << 16));
        level.keys.reserve(most);
        level.positions.reserve(most);
    }
    level.keys.push_back(key);
    level.positions.push_back(pos);
    level.marks.MarkNew(key);
    pos = h.dataPos + h.length;
    return true;
}

// Only headers are read here, each checked against its record; lookups read a header again
// and the reads take the data where the scan found it.
bool UKeyInStream::ScanRun(Level& level, bool forWalk) {
    ForgetRun(level);
    level.scanned = true;
    if (level.pos >= level.end) return false;
    level.marks.Prepare();
    bool repeated = false;
    if (forWalk) walkEnd_ = IndexInWindow<true>(level, kWalkBatch, repeated);
    while (!repeated && level.pos < level.end) {
        // Most fields go in tight passes over the window; the rest one by one, each header
        // fetched and checked.
        if (IndexInWindow<false>(level, kWalkBatch, repeated) == kWalkBatch || repeated) continue;
        if (level.pos >= level.end) break;
        const std::int64_t left = level.end - level.pos;
        if (left < 2) Fail("record ends inside a field key at offset " + std::to_string(level.pos));
        const unsigned char* p =
            Fetch(level.pos, static_cast<std::size_t>(std::min<std::int64_t>(left, kMaxHeader)));
        if (!JoinRun(level, p, level.pos, level.end)) break;
    }
    if (level.keys.size() > kLinearRun) {
        level.table.Build(level.keys);
        level.indexed = true;
    }
    return true;
}

bool UKeyInStream::Next() {
    Settle();
    Level& level = Current();
    if (!level.keyed) return level.pos < level.end;
    return ScanRun(level, true);
}

template <bool ForWalk>
std::uint32_t UKeyInStream::IndexInWindow(Level& level, std::uint32_t most, bool& repeated) {
    const auto offset = static_cast<std::uint64_t>(level.pos - windowPos_);
    if (offset >= windowLen_) return 0;
    // Short headers of fields that fit the record and the window, up to a repeated key; all the
    // rest is left to the general steps, which check and report it.
    // Locals throughout, few enough to stay in registers: stores into the index could otherwise
    // alias the window's members.
    const unsigned char* const window = window_;
    const std::int64_t windowPos = windowPos_;
    const unsigned char* const limit =
        window + (std::min(level.end, windowPos + std::int64_t(windowLen_)) - windowPos);
    const unsigned char* p = window + offset;
    // A field's stream position is its address plus this.
    const std::int64_t bias = windowPos - reinterpret_cast<std::intptr_t>(window);
    const KeyMarks::Marker marks = level.marks.Open();
    unsigned short* const keys = level.keys.Extend(most);
    unsigned short* k = keys;
    unsigned short* const keysEnd = keys + most;
    std::int64_t* position = level.positions.Extend(most);
    WalkField* walk = walkFields_.data();
    // Before this any short header and its data lie within the limit.
    constexpr std::ptrdiff_t kShortFieldMost = 4 + kLongLength - 1;
    const unsigned char* const roomy = limit - p > kShortFieldMost ? limit - kShortFieldMost : p;
    while (k != keysEnd) {
        if (p >= roomy && (limit - p < 4 || limit - (p + 4) < std::ptrdiff_t(p[2]))) break;
        const std::uint32_t length = p[2];
        const unsigned char* data = p + 4;
        if (length == kLongLength) break;
        const auto key = static_cast<unsigned short>((p[0] << 8) | p[1]);
        if (!marks.MarkNew(key)) {
            repeated = true;
            break;
        }
        *k++ = key;
        *position++ = bias + reinterpret_cast<std::intptr_t>(p);
        if constexpr (ForWalk) *walk++ = WalkField{data, length, key};
        p = data + length;
    }
    const auto count = static_cast<std::uint32_t>(k - keys);
    level.keys.Commit(count);
    level.positions.Commit(count);
    level.pos = bias + reinterpret_cast<std::intptr_t>(p);
    return count;
}

void UKeyInStream::BeginFastWalk(Level& level) {
    const std::size_t from = level.walked;
    const auto most = static_cast<std::uint32_t>(std::min<std::size_t>(kWalkBatch, level.keys.size() - from));
    // Locals, which the stores into the batch cannot alias.
    const unsigned char* const window = window_;
    const std::int64_t windowPos = windowPos_;
    const std::uint64_t room = windowLen_;
    const unsigned short* const keys = level.keys.data() + from;
    const std::int64_t* const positions = level.positions.data() + from;
    WalkField* const walk = walkFields_.data();
    std::uint32_t count = 0;
    for (; count < most; ++count) {
        // A short header whose data the window holds.
        const auto offset = static_cast<std::uint64_t>(positions[count] - windowPos);
        if (offset >= room || room - offset < 4) break;
        const unsigned char* p = window + offset;
        const std::uint32_t length = p[2];
        if (length == kLongLength || room - offset - 4 < length) break;
        walk[count] = WalkField{p + 4, length, keys[count]};
    }
    walkAt_ = 0;
    walkEnd_ = count;
}

void UKeyInStream::SettleWalk() {
    if (walkAt_ > 0) {
        // The last step made its field current.
        Level& level = Current();
        const WalkField& field = walkFields_[walkAt_ - 1];
        level.current = Field{windowPos_ + (field.data - window_), field.length, field.key, field.data[-1]};
        level.found = true;
        level.walked += walkAt_;
        level.next = level.walked;
    }
    walkAt_ = walkEnd_ = 0;
}

bool UKeyInStream::NextInRunSlowly(UKey& key) {
    Settle();
    Level& level = Current();
    if (!level.keyed) return false;
    if (!level.scanned) {
        ScanRun(level, true);
        if (walkEnd_ != 0) return NextInRun(key);
    }
    if (level.walked == level.keys.size()) {
        level.found = false;
        currentData_ = nullptr;
        return false;
    }
    BeginFastWalk(level);
    if (walkEnd_ != 0) return NextInRun(key);
    // A long header, or data the window does not hold.
    Select(level, level.walked++);
    key = UKey(level.current.key);
    return true;
}

void UKeyInStream::LookupInRun(Level& level, unsigned short key) {
    level.found = false;
    currentData_ = nullptr;
    if (!InRun(level, key)) return;
    // The marks say the run holds the key.
    if (level.indexed) return Select(level, static_cast<std::size_t>(level.table.Find(key, level.keys)));
    const unsigned short* found = std::find(level.keys.begin(), level.keys.end(), key);
    Select(level, static_cast<std::size_t>(found - level.keys.begin()));
}

UKeyInStream::Field UKeyInStream::HeaderOf(const unsigned char* p, std::int64_t pos) {
    Field field;
    field.key = static_cast<unsigned short>((p[0] << 8) | p[1]);
    if (p[2] != 0xFF) {
        field.length = p[2];
        field.type = p[3];
        field.dataPos = pos + 4;
    } else {
        field.length =
            (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[4]} << 16) | (std::uint32_t{p[5]} << 8) | p[6];
        field.type = p[7];
        field.dataPos = pos + 8;
    }
    return field;
}

void UKeyInStream::SelectLongOrOutside(Level& level, std::size_t index) {
    const std::int64_t pos = level.positions[index];
    // A header is at most eight bytes; near the input's end the window may hold fewer.
    const unsigned char* p = InWindow(pos, 8);
    if (p == nullptr) return SelectOutsideWindow(level, index);
    level.current = HeaderOf(p, pos);
    level.found = true;
    level.next = index + 1;
    currentData_ = InWindow(level.current.dataPos, level.current.length);
    currentLength_ = level.current.length;
}

void UKeyInStream::SelectOutsideWindow(Level& level, std::size_t index) {
    const std::int64_t pos = level.positions[index];
    unsigned char header[kMaxHeader] = {};
    ReadAt(pos, header, static_cast<std::size_t>(std::min<std::int64_t>(kMaxHeader, level.end - pos)));
    level.current = HeaderOf(header, pos);
    level.found = true;
    level.next = index + 1;
    currentData_ = nullptr;
}

int UKeyInStream::GetLength(bool& found) {
    Settle();
    Level& level = Current();
    if (level.keyed) {
        found = level.found;
        return found ? static_cast<int>(level.current.length) : 0;
    }
    found = level.pos < level.end;
    if (!found) return 0;
    const Header h = ParseHeader(level.pos, level.end, false, "array");
    level.pos = h.dataPos;
    return static_cast<int>(h.length);
}

inline bool UKeyInStream::TakeField(std::uint32_t& length, const unsigned char*& data,
                                    std::int64_t& dataPos) {
    bool found = false;
    length = static_cast<std::uint32_t>(GetLength(found));
    if (!found) return false;
    Level& level = levels_[level_];
    if (level.keyed) {
        dataPos = level.current.dataPos;
        data = InWindow(dataPos, length);
    } else {
        // GetLength checked that the data lie within the array.
        dataPos = level.pos;
        data = InWindow(dataPos, length);
        level.pos += length;
    }
    return true;
}

void UKeyInStream::CopyData(void* target, std::uint32_t length, const unsigned char* data,
                            std::int64_t dataPos) {
    if (length == 0) return;
    if (data != nullptr) {
        std::memcpy(target, data, length);
    } else {
        ReadAt(dataPos, target, length);
    }
}

bool UKeyInStream::ReadField(void* target, int size) {
    std::uint32_t length = 0;
    const unsigned char* data = nullptr;
    std::int64_t dataPos = 0;
    if (!TakeField(length, data, dataPos)) return false;
    const auto width = static_cast<std::uint32_t>(std::max(size, 0));
    if (length > width) Fail("reading field longer than expected");
    auto* bytes = static_cast<unsigned char*>(target);
    std::memset(bytes, 0, width - length);
    CopyData(bytes + (width - length), length, data, dataPos);
    return true;
}

void UKeyInStream::FailLongerThanExpected() {
    Fail("reading field longer than expected");
}

void UKeyInStream::FailTooMany(const char* what) const {
    Fail(std::string("too many ") + what + " for an input of " + std::to_string(budget_.inputBytes()) +
         " bytes");
}

void UKeyInStream::FailStringTooLong(std::size_t size) {
    throw std::runtime_error("UKeyInStream: string field of " + std::to_string(size) +
                             " bytes is longer than a string can be");
}

bool UKeyInStream::ReadUnsignedSlowly(std::uint32_t width, std::uint64_t& value) {
    Settle();
    const Level& level = levels_[level_];
    if (!level.keyed) return ReadUnsignedFromArray(width, value);
    if (!level.found) return false;
    const Field& field = level.current;
    if (field.length > width) FailLongerThanExpected();
    unsigned char bytes[8] = {};
    ReadAt(field.dataPos, bytes, field.length);
    value = BigEndian(bytes, field.length);
    return true;
}

bool UKeyInStream::ReadUnsignedFromArray(std::uint32_t width, std::uint64_t& value) {
    // The common case: a short header, and the field in its array and in the window; 8% of
    // BM_JobStreamScan (CPU time).
    Level& level = levels_[level_];
    if (level.end - level.pos >= 2) {
        const unsigned char* p = InWindow(level.pos, 2);
        const std::int64_t dataPos = level.pos + 2;
        if (p != nullptr && p[0] != kLongLength && dataPos + p[0] <= level.end) {
            if (const unsigned char* data = InWindow(dataPos, p[0])) {
                // Taken even when too long, as the long way does.
                level.pos = dataPos + p[0];
                if (p[0] > width) FailLongerThanExpected();
                value = BigEndian(data, p[0]);
                return true;
            }
        }
    }
    std::uint32_t length = 0;
    const unsigned char* data = nullptr;
    std::int64_t dataPos = 0;
    if (!TakeField(length, data, dataPos)) return false;
    if (length > width) FailLongerThanExpected();
    // Right-aligned in eight zeroed bytes, which restores the stripped leading zeros.
    unsigned char bytes[8] = {};
    CopyData(bytes + 8 - length, length, data, dataPos);
    value = (std::uint64_t{GetBigEndian32(bytes)} << 32) | GetBigEndian32(bytes + 4);
    return true;
}

void UKeyInStream::Read8BitStringWithUnknownEncoding(std::string& bytes) {
    std::uint32_t length = 0;
    const unsigned char* data = nullptr;
    std::int64_t dataPos = 0;
    if (!TakeField(length, data, dataPos)) return;
    if (data != nullptr) {
        bytes.assign(reinterpret_cast<const char*>(data), length);
        return;
    }
    // The length was checked against the input, so this allocation is backed by real bytes.
    bytes.resize(length);
    try {
        ReadAt(dataPos, bytes.data(), length);
    } catch (...) {
        bytes.clear();
        throw;
    }
}

inline std::size_t UKeyInStream::TextLength(const unsigned char* data, std::size_t length) {
    // An empty field read outside the window has no bytes at all: memchr must not see its null.
    if (length == 0) return 0;
    const void* zero = std::memchr(data, 0, length);
    return zero != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - data)
                           : length;
}

void UKeyInStream::AssignText(ustring& value, const unsigned char* data, std::size_t length) {
    const std::size_t size = TextLength(data, length);
    value.clear();
    if (size == 0) return;
    if (size > ustring::kMaxLength) FailStringTooLong(size);
    value.append(reinterpret_cast<const char*>(data), size);
}

UKeyInStream& UKeyInStream::ReadText(ustring& value) {
    Settle();
    const Level& level = levels_[level_];
    if (level.keyed && version_ >= 1) {
        // The common case: a record's field whose bytes are in the window.
        if (!level.found) {
            value.clear();
            return *this;
        }
        if (const unsigned char* data = InWindow(level.current.dataPos, level.current.length)) {
            AssignText(value, data, level.current.length);
            return *this;
        }
    }
    std::uint32_t length = 0;
    const unsigned char* data = nullptr;
    std::int64_t dataPos = 0;
    // Taken even below version 1, so an array moves on to its next field.
    if (!TakeField(length, data, dataPos) || version_ < 1) {
        value.clear();
        return *this;
    }
    std::string buffer;
    if (data == nullptr && length > 0) {
        buffer.resize(length);
        ReadAt(dataPos, buffer.data(), length);
        data = reinterpret_cast<const unsigned char*>(buffer.data());
    }
    AssignText(value, data, length);
    return *this;
}

namespace {

// One field's bytes as a stream of their own, read from the key stream's input where they lie,
// so that a flattened message of megabytes is not copied before it is read.
class FieldBuf : public std::streambuf {
public:
    FieldBuf(std::streambuf* input, std::int64_t start, std::int64_t length)
        : input_(input), start_(start), length_(length) {}

protected:
    int_type underflow() override {
        if (!ReadAt(&byte_, 1)) return traits_type::eof();
        setg(&byte_, &byte_, &byte_ + 1);
        return traits_type::to_int_type(byte_);
    }

    std::streamsize xsgetn(char* target, std::streamsize count) override {
        std::streamsize taken = 0;
        if (gptr() < egptr() && count > 0) {
            *target++ = *gptr();
            gbump(1);
            ++taken;
        }
        const std::streamsize wanted = std::min<std::streamsize>(count - taken, length_ - pos_);
        return wanted > 0 && ReadAt(target, wanted) ? taken + wanted : taken;
    }

    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode which) override {
        if ((which & std::ios_base::in) == 0) return pos_type(off_type(-1));
        const std::int64_t here = pos_ - (egptr() - gptr());
        const std::int64_t base = dir == std::ios_base::beg ? 0 : dir == std::ios_base::cur ? here : length_;
        const std::int64_t target = base + offset;
        if (target < 0 || target > length_) return pos_type(off_type(-1));
        pos_ = target;
        setg(nullptr, nullptr, nullptr);
        return pos_type(target);
    }

    pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
        return seekoff(off_type(position), std::ios_base::beg, which);
    }

private:
    // Reads `count` bytes at the field's current position and moves past them.
    bool ReadAt(char* target, std::streamsize count) {
        if (pos_ + count > length_) return false;
        if (std::int64_t(input_->pubseekpos(start_ + pos_, std::ios_base::in)) != start_ + pos_) return false;
        if (input_->sgetn(target, count) != count) return false;
        pos_ += count;
        return true;
    }

    std::streambuf* input_;
    std::int64_t start_;
    std::int64_t length_;
    std::int64_t pos_ = 0;  // of the bytes read from the input, the get area included
    char byte_ = 0;
};

}  // namespace

UKeyInStream& UKeyInStream::operator>>(umessage& value) {
    value.clear();
    std::uint32_t length = 0;
    const unsigned char* data = nullptr;
    std::int64_t dataPos = 0;
    if (!TakeField(length, data, dataPos) || length == 0) return *this;
    FieldBuf field(in_, dataPos, length);
    std::istream in(&field);
    bufferPos_ = -1;  // the field is read through the same input
    // A body that does not decode leaves the message empty; unflatten logs why.
    value.unflatten(in, budget_);
    return *this;
}

UKeyInStream& UKeyInStream::operator>>(umessage_image& value) {
    value = umessage_image();
    std::uint32_t length = 0;
    const unsigned char* data = nullptr;
    std::int64_t dataPos = 0;
    if (!TakeField(length, data, dataPos) || length == 0) return *this;
    // A window of our own is refilled by the next read; the caller's string in memory is not.
    if (data != nullptr && window_ != buffer_.get()) {
        value.read(std::string_view(reinterpret_cast<const char*>(data), length), budget_);
        return *this;
    }
    Charge(vnu::HeapBlockCost(length), "messages");
    std::string bytes(length, '\0');
    CopyData(bytes.data(), length, data, dataPos);
    value.read(std::move(bytes), budget_);
    return *this;
}

void UKeyInStream::Push(unsigned short key) {
    Lookup(key);  // settles a fast walk
    const Level& parent = levels_[level_];
    if (level_ + 1 >= kMaxLevels) Fail("exceeded depth");
    const std::int64_t start = parent.found ? parent.current.dataPos : 0;
    const std::int64_t length = parent.found ? parent.current.length : 0;
    Level& level = levels_[++level_];
    currentData_ = nullptr;
    level.pos = level.start = start;
    level.end = start + length;
    level.keyed = true;
    level.scanned = false;
    ForgetRun(level);
    level.found = false;
}

void UKeyInStream::Pop() {
    Settle();
    if (level_ <= 0) throw std::logic_error("UKeyInStream: Pop without a matching Push");
    // The level's storage is kept for the next record opened at this depth.
    Level& level = levels_[level_];
    ForgetRun(level);
    level.found = false;
    currentData_ = nullptr;
    --level_;
}

UKeyInStream& UKeyInStream::operator>>(const StartRecord& marker) {
    Push(marker.key);
    return *this;
}

UKeyInStream& UKeyInStream::operator>>(const StartArray& marker) {
    Push(marker.key);
    levels_[level_].keyed = false;
    return *this;
}

std::vector<UKeyInStream::FieldInfo> UKeyInStream::IndexedFields() {
    Settle();
    Level& level = Current();
    if (!level.keyed) return {};
    if (!level.scanned) ScanRun(level, false);
    std::vector<FieldInfo> fields;
    fields.reserve(level.positions.size());
    for (std::int64_t pos : level.positions) {
        const Header h = ParseHeader(pos, level.end, true, "record");
        fields.push_back(FieldInfo{UKey(h.key), h.type, static_cast<int>(h.length)});
    }
    return fields;
}

bool UKeyInStream::PeekField(FieldInfo& info) {
    // A reader deciding how to read a field mid-walk need not stop the fast steps.
    if (walkAt_ > 0) {
        const WalkField& field = walkFields_[walkAt_ - 1];
        info = FieldInfo{UKey(field.key), field.data[-1], static_cast<int>(field.length)};
        return true;
    }
    Settle();
    Level& level = Current();
    if (level.keyed) {
        if (!level.found) return false;
        info = FieldInfo{UKey(level.current.key), level.current.type, static_cast<int>(level.current.length)};
        return true;
    }
    if (level.pos >= level.end) return false;
    const Header h = ParseHeader(level.pos, level.end, false, "array");
    info = FieldInfo{UKey(), h.type, static_cast<int>(h.length)};
    return true;
}
