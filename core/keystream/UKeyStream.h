// The key stream: the tagged binary format of the job file and all its records.
//
// A stream is one root record 'KS'. Records hold keyed fields found by key in any order (in runs
// of distinct keys), arrays hold unkeyed fields read in order, and scalar fields carry a length,
// a type byte and big-endian data with leading zero bytes stripped. Numbers are big-endian.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/ReadBudget.h"
#include "text/ustring.h"

class umessage;
class umessage_image;

// A 16-bit field key. The program's keys are two ASCII characters, first one in the high byte,
// so the stream shows them in reading order; UKey('K', 'S') avoids multi-character literals.
class UKey {
public:
    constexpr UKey() noexcept = default;
    constexpr explicit UKey(unsigned short value) noexcept : value_(value) {}
    constexpr UKey(char high, char low) noexcept
        : value_(static_cast<unsigned short>((static_cast<unsigned char>(high) << 8) |
                                             static_cast<unsigned char>(low))) {}
    constexpr unsigned short value() const noexcept { return value_; }
    constexpr operator unsigned short() const noexcept { return value_; }  // NOLINT: used as a number

private:
    unsigned short value_ = 0;
};

class UKeyStream {
public:
    enum eType : unsigned char {
        eType_Boolean = 1,
        eType_Int32 = 2,
        eType_Double = 4,
        eType_String = 5,
        eType_Record = 6,
        eType_Array = 7,
        eType_Bytes = 8,
    };

    // Root, record and array levels together; both sides refuse to go deeper.
    static constexpr int kMaxLevels = 10;
    // In the length byte: the length follows in four bytes.
    static constexpr unsigned char kLongLength = 0xFF;
    // The root record, and the identifier and format version that open it.
    static constexpr UKey kRootKey{'K', 'S'};
    static constexpr UKey kIdKey{'I', 'D'};
    static constexpr UKey kVersionKey{0xC0DE};
    static constexpr int kFormatVersion = 1;

    // Markers that open a container under a key, on either side.
    struct StartRecord {
        explicit StartRecord(UKey k) : key(k) {}
        UKey key;
    };
    struct StartArray {
        explicit StartArray(UKey k) : key(k) {}
        UKey key;
    };

protected:
    UKeyStream() = default;
};

// Writes a key stream onto a seekable output; the stream is complete after Flush (or
// destruction), which back-patches the lengths of the containers still open. Output errors
// stay in the output stream's state.
class UKeyOutStream : private UKeyStream {
public:
    using StartRecord = UKeyStream::StartRecord;
    using StartArray = UKeyStream::StartArray;

    // Opens the root record, then writes 'ID' (only when identifier is non-zero) and the version.
    UKeyOutStream(std::ostream& out, int identifier);
    ~UKeyOutStream();
    UKeyOutStream(const UKeyOutStream&) = delete;
    UKeyOutStream& operator=(const UKeyOutStream&) = delete;

    // Sets the key of the next field or container.
    UKeyOutStream& operator<<(UKey key);
    UKeyOutStream& operator<<(int value);
    UKeyOutStream& operator<<(bool value);
    UKeyOutStream& operator<<(double value);
    UKeyOutStream& operator<<(const ustring& value);
    // Without it a literal would convert to bool, not to a string.
    UKeyOutStream& operator<<(const char* value);
    UKeyOutStream& operator<<(const StartRecord& marker);
    UKeyOutStream& operator<<(const StartArray& marker);

    // One scalar field under the pending key (inside a record); types other than string and
    // opaque bytes lose their leading zero bytes. A negative length throws std::invalid_argument.
    void WriteField(const void* data, int length, UKeyStream::eType type);
    // Opening an eleventh level throws std::logic_error before anything is written.
    void Push(unsigned short key, UKeyStream::eType type);
    // Closing with nothing open throws std::logic_error.
    void Pop();
    void Flush();

    // Open containers, the root included; 0 after Flush.
    int Depth() const { return depth_ + 1; }

private:
    struct Level {
        std::int64_t contentPos = -1;  // just after the type byte; -1 when it could not be told
        bool keyed = true;
    };

    void Put(const void* bytes, std::size_t count);

    std::ostream& out_;
    unsigned short pendingKey_ = 0;
    int depth_ = -1;
    std::array<Level, kMaxLevels> levels_{};
};

// Reads a key stream from a seekable input. Ill-formed input (a bad header, bytes ending inside a
// structure, a length past the end of its container, a level too deep, a field longer than its
// target) throws std::runtime_error with a text starting "UKeyInStream: ". Absent fields are not
// errors: numbers and booleans keep the target's value, strings and messages come out empty.
// What the readers of its records build from it, the flattened messages in its fields included,
// is charged to one budget of the input's size (Charge).
class UKeyInStream : private UKeyStream {
public:
    using StartRecord = UKeyStream::StartRecord;
    using StartArray = UKeyStream::StartArray;

    // What the reader knows of one field without reading its data.
    struct FieldInfo {
        UKey key;  // 0 inside an array
        unsigned char type = 0;
        int length = 0;
    };

    // Reads and checks the header, opens the root level and reads the version. What is read may
    // take `perInputByte` bytes of memory per byte of input (and a fixed allowance).
    explicit UKeyInStream(std::istream& in, std::uint64_t perInputByte = vnu::ReadBudget::kPerInputByte);
    ~UKeyInStream();
    UKeyInStream(const UKeyInStream&) = delete;
    UKeyInStream& operator=(const UKeyInStream&) = delete;

    // Makes the field under the key current (scanning the level first when needed).
    UKeyInStream& operator>>(UKey key);
    bool Exists(UKey key);

    UKeyInStream& operator>>(int& value);
    UKeyInStream& operator>>(bool& value);
    UKeyInStream& operator>>(double& value);
    // The bytes up to the first zero byte; empty when absent or when the stream's version is
    // below 1.
    UKeyInStream& operator>>(ustring& value);
    // Empty when absent, empty-bodied or undecodable.
    UKeyInStream& operator>>(umessage& value);
    // The same read into an image. An input held in memory is indexed where it lies, so the image
    // may be used only until the input changes; any other input is copied into the image.
    UKeyInStream& operator>>(umessage_image& value);
    UKeyInStream& operator>>(const StartRecord& marker);
    UKeyInStream& operator>>(const StartArray& marker);

    // The field's raw bytes; an absent field leaves the target unchanged.
    void Read8BitStringWithUnknownEncoding(std::string& bytes);

    // Takes `bytes` from the input's budget for one more of `what` (a plural, for the error
    // "UKeyInStream: too many <what> for an input of N bytes", thrown when it is spent).
    void Charge(std::uint64_t bytes, const char* what) {
        if (!budget_.take(bytes)) [[unlikely]]
            FailTooMany(what);
    }

    // Opens the field under the key as a keyed level; an absent key opens an empty level.
    void Push(unsigned short key);
    // Closing the root level throws std::logic_error.
    void Pop();
    // Record: indexes the next run of distinct keys; false when no field is left. Array: whether
    // unread fields remain.
    bool Next();
    // Record: makes the run's next field current, as a lookup of its key would; false at the end
    // of the run. The walk goes on where it stood whatever was looked up meanwhile. Array: false.
    bool NextInRun(UKey& key);

    // The primitives behind the typed reads. ReadField puts the data right-aligned in `size`
    // bytes, zero-filled in front, which restores stripped leading zeros of big-endian values.
    int GetLength(bool& found);
    bool ReadField(void* target, int size);

    int GetVersion() const { return version_; }
    // Open levels, the root included.
    int Depth() const { return level_ + 1; }
    bool IsKeyed() const;
    // The current run of the current record, scanned first when needed; empty for an array.
    std::vector<FieldInfo> IndexedFields();
    // The next field of an array, without consuming it, or the current item of a record;
    // false at the end of the array or when the last lookup found nothing.
    bool PeekField(FieldInfo& info);

private:
    // What a lookup found; its header is read again from the input, which the scan checked.
    struct Field {
        std::int64_t dataPos = 0;  // stream offset of the first data byte
        std::uint32_t length = 0;
        unsigned short key = 0;
        unsigned char type = 0;
    };

    // A growable array of plain values that leaves what it grows into uninitialised: the index
    // writes each value before it is read, and a batch is written straight into the room that
    // Extend makes, without a size kept up to date per value. Against std::vector: 9% of
    // BM_ReadJob, 7% of BM_JobStreamScan (CPU time).
    template <class T>
    class PlainList {
    public:
        std::size_t size() const { return size_; }
        std::size_t capacity() const { return capacity_; }
        T* data() { return data_.get(); }
        T& operator[](std::size_t i) { return data_[i]; }
        const T& operator[](std::size_t i) const { return data_[i]; }
        const T* begin() const { return data_.get(); }
        const T* end() const { return data_.get() + size_; }
        void clear() { size_ = 0; }
        void reserve(std::size_t n) {
            if (n > capacity_) Reallocate(n);
        }
        void push_back(T value) {
            if (size_ == capacity_) Reallocate(std::max<std::size_t>(16, 2 * capacity_));
            data_[size_++] = value;
        }
        // Room for `count` values past the end; Commit then takes the ones written.
        T* Extend(std::size_t count) {
            if (count > capacity_ - size_) Reallocate(std::max(size_ + count, 2 * capacity_));
            return data_.get() + size_;
        }
        void Commit(std::size_t count) { size_ += count; }

    private:
        void Reallocate(std::size_t capacity) {
            std::unique_ptr<T[]> fresh = std::make_unique_for_overwrite<T[]>(capacity);
            if (size_ != 0) std::memcpy(fresh.get(), data_.get(), size_ * sizeof(T));
            data_ = std::move(fresh);
            capacity_ = capacity;
        }
        std::unique_ptr<T[]> data_;
        std::size_t size_ = 0;
        std::size_t capacity_ = 0;
    };
    using KeyList = PlainList<unsigned short>;
    using PositionList = PlainList<std::int64_t>;

    // Open addressing over the keys of one long run, built once the run is indexed, at most half
    // full. From 4096 keys on, one slot per possible key (keys are 16 bits), which needs no
    // probing: a fifth of the scan of a 65536-key record (BM_LargeRecord, CPU time).
    class KeyTable {
    public:
        // Index of the field with this key, or -1.
        int Find(unsigned short key, const KeyList& keys) const {
            const std::size_t mask = slots_.size() - 1;
            for (std::size_t s = Home(key);; s = (s + 1) & mask) {
                const std::uint32_t entry = slots_[s];
                if (entry == 0) return -1;
                if (keys[entry - 1] == key) return static_cast<int>(entry - 1);
            }
        }
        // Indexes a run, whose keys are distinct.
        void Build(const KeyList& keys);

    private:
        std::size_t Home(unsigned short key) const {
            return direct_ ? key : (static_cast<std::uint32_t>(key) * 0x9E3779B1u) >> (32 - bits_);
        }
        std::vector<std::uint32_t> slots_;  // field index + 1, 0 when free
        int bits_ = 0;
        bool direct_ = false;
    };

    // The keys of a level's run: a word per possible key, equal to the run's generation for its
    // keys, so that a repeated key ends a run, and an absent key fails a lookup, with one test; a
    // new run takes a new generation instead of clearing anything (the 64 Ki words are cleared
    // once in 65535 runs). The words are kept per thread from stream to stream: a job is read in
    // a fraction of a millisecond, and taking 128 KiB from the heap for each of its levels cost
    // more than that (the allocator sweeps its free lists for a block that large). Against a bit
    // per key for each level of each stream: 8% of BM_ReadJob, 6% of BM_JobStreamScan (CPU time).
    class KeyMarks {
    public:
        // Before the first mark; may throw std::bad_alloc.
        void Prepare() {
            if (store_ == nullptr) Acquire();
        }
        bool Has(unsigned short key) const {
            return store_ != nullptr && store_->marks[key] == store_->generation;
        }
        // The marks as plain values, which a loop keeps in registers (marks written through
        // the members would make every later access load them again).
        struct Marker {
            std::uint16_t* marks;
            std::uint16_t generation;
            // Marks a key new to the run; false when the run has it already.
            bool MarkNew(unsigned short key) const noexcept {
                if (marks[key] == generation) return false;
                marks[key] = generation;
                return true;
            }
        };
        Marker Open() noexcept { return {store_->marks, store_->generation}; }
        bool MarkNew(unsigned short key) noexcept { return Open().MarkNew(key); }
        void NewRun() {
            if (store_ != nullptr) store_->NewGeneration();
        }

        struct Store {
            std::uint16_t generation = 0;
            std::uint16_t marks[65536] = {};
            void NewGeneration();
        };
        class Stores;

    private:
        struct GiveBack {
            void operator()(Store* store) const noexcept;
        };
        void Acquire();
        static thread_local Stores stores_;
        std::unique_ptr<Store, GiveBack> store_;
    };

    struct Level {
        std::int64_t pos = 0;
        std::int64_t start = 0;
        std::int64_t end = 0;
        bool keyed = true;
        bool scanned = false;  // whether the run ending at `pos` is indexed
        bool indexed = false;  // the table holds the run's keys; short runs are searched in turn
        // The run: each field's key and the stream offset of its header, in stream order.
        KeyList keys;
        PositionList positions;
        KeyMarks marks;
        KeyTable table;
        bool found = false;  // whether the last lookup found a field, then `current`
        Field current;
        // The field after the last one found: callers mostly read fields in the order written.
        std::size_t next = 0;
        std::size_t walked = 0;  // fields of the run NextInRun has made current
    };

    struct Header {
        unsigned short key = 0;
        unsigned char type = 0;
        std::uint32_t length = 0;
        std::int64_t dataPos = 0;
        const unsigned char* inlineData = nullptr;  // the first min(length, 8) data bytes
    };

    // The root level stays open from construction to destruction (Pop refuses to close it).
    Level& Current() { return levels_[level_]; }
    // A number of at most `width` big-endian bytes, stripped leading zeros restored.
    bool ReadUnsigned(std::uint32_t width, std::uint64_t& value);
    bool ReadUnsignedSlowly(std::uint32_t width, std::uint64_t& value);
    bool ReadUnsignedFromArray(std::uint32_t width, std::uint64_t& value);
    // The `length` (at most 8) bytes at p as a big-endian number; reads no byte past them.
    static std::uint64_t BigEndian(const unsigned char* p, std::uint32_t length);
    // A string field holds the text up to its first zero byte.
    static std::size_t TextLength(const unsigned char* data, std::size_t length);
    static void AssignText(ustring& value, const unsigned char* data, std::size_t length);
    [[noreturn]] static void FailLongerThanExpected();
    [[noreturn]] void FailTooMany(const char* what) const;
    [[noreturn]] static void FailStringTooLong(std::size_t size);
    // Readers mostly ask for the fields in the order written, so the item after the last one
    // found is tried first; these are inline so that the common path costs no call.
    void Lookup(unsigned short key);
    void LookupInRun(Level& level, unsigned short key);
    static bool InRun(const Level& level, unsigned short key) { return level.marks.Has(key); }
    // Makes the run's field at `index` current.
    void Select(Level& level, std::size_t index);
    UKeyInStream& ReadText(ustring& value);
    void SelectLongOrOutside(Level& level, std::size_t index);
    void SelectOutsideWindow(Level& level, std::size_t index);
    static Field HeaderOf(const unsigned char* p, std::int64_t pos);
    // Indexes the level's next run; false when no field is left. For a walk the first fields are
    // described for fast steps as they are indexed (most runs are no longer).
    bool ScanRun(Level& level, bool forWalk);
    // Indexes up to `most` (at most kWalkBatch) fields from level.pos on whose short headers and
    // data lie in the window, as far as the first repeated key (then `repeated`); for a walk
    // also describes them in walkFields_. The number indexed.
    template <bool ForWalk>
    std::uint32_t IndexInWindow(Level& level, std::uint32_t most, bool& repeated);
    // Describes the walk's next indexed fields that lie in the window in walkFields_.
    void BeginFastWalk(Level& level);
    bool NextInRunSlowly(UKey& key);
    // Brings the level up to date with the fast steps taken; every other operation does this first.
    void Settle() {
        if (walkEnd_ != 0) SettleWalk();
    }
    void SettleWalk();
    // Whether the field at `pos` of a record ending at `end` (header bytes at p) continues the
    // run; if so it joins the index (and the level's key marks) and `pos` moves past it.
    static bool JoinRun(Level& level, const unsigned char* p, std::int64_t& pos, std::int64_t end);
    // Empties the level's index; a new generation leaves its keys' marks behind.
    static void ForgetRun(Level& level);
    // Parses a field header at pos, checking that header and data lie before end.
    Header ParseHeader(std::int64_t pos, std::int64_t end, bool keyed, const char* where);
    // The same over bytes already fetched: p holds min(end - pos, kMaxHeaderAndInline) bytes.
    static Header DecodeHeader(const unsigned char* p, std::int64_t pos, std::int64_t end, bool keyed,
                               const char* where);
    // Locates the current field's data; on an array level consumes the field. `data` points at
    // the bytes when the window holds them, else it is null.
    bool TakeField(std::uint32_t& length, const unsigned char*& data, std::int64_t& dataPos);
    void CopyData(void* target, std::uint32_t length, const unsigned char* data, std::int64_t dataPos);

    // Input window: small reads are served from memory, long data is read in one piece.
    const unsigned char* Fetch(std::int64_t pos, std::size_t count) {
        const unsigned char* p = InWindow(pos, count);
        return p != nullptr ? p : Refill(pos, count);
    }
    const unsigned char* Refill(std::int64_t pos, std::size_t count);
    // The bytes if the window holds them all, else null; never reads.
    const unsigned char* InWindow(std::int64_t pos, std::size_t count) const {
        return pos >= windowPos_ && pos + std::int64_t(count) <= windowPos_ + std::int64_t(windowLen_)
                   ? window_ + (pos - windowPos_)
                   : nullptr;
    }
    void ReadAt(std::int64_t pos, void* target, std::size_t count);
    void SeekTo(std::int64_t pos);

    [[noreturn]] static void Fail(const std::string& what);
    [[noreturn]] static void FailHeaderCut(const char* where, std::int64_t pos);
    [[noreturn]] static void FailPastEnd(const char* where, std::int64_t pos, std::uint32_t length,
                                         std::int64_t end);

    std::streambuf* in_ = nullptr;
    std::int64_t inputEnd_ = 0;
    std::int64_t bufferPos_ = -1;  // where the stream buffer stands, -1 when unknown
    // The bytes at windowPos_: the whole input when it is a string in memory, else `buffer_`,
    // never zero-filled (only bytes read from the input are looked at).
    const unsigned char* window_ = nullptr;
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t windowSize_ = 0;
    std::int64_t windowPos_ = 0;
    std::size_t windowLen_ = 0;

    vnu::ReadBudget budget_;
    int version_ = 0;
    int level_ = -1;
    std::array<Level, kMaxLevels> levels_;
    // The current field's data when it is a record's field and the window holds it all, else
    // null: the typed reads then take it without looking at the level. Whatever moves the
    // window or changes the current field or level resets it.
    const unsigned char* currentData_ = nullptr;
    std::uint32_t currentLength_ = 0;
    // Fast steps of a walk take walkFields_[walkAt_, walkEnd_): fields of the run described
    // where the window holds them, the first ones by the scan itself. Only the steps touch the
    // walk meanwhile; walkEnd_ is 0 when no fast walk is on. They take a quarter off a
    // 1000-destination job read (BM_ReadJob without the ticket, CPU time).
    struct WalkField {
        const unsigned char* data;
        std::uint32_t length;
        unsigned short key;
    };
    static constexpr std::size_t kWalkBatch = 64;
    std::array<WalkField, kWalkBatch> walkFields_;
    std::uint32_t walkAt_ = 0;
    std::uint32_t walkEnd_ = 0;
};

inline std::uint64_t UKeyInStream::BigEndian(const unsigned char* p, std::uint32_t length) {
    const auto be32 = [](const unsigned char* q) {
        return (std::uint32_t{q[0]} << 24) | (std::uint32_t{q[1]} << 16) | (std::uint32_t{q[2]} << 8) | q[3];
    };
    if (length >= 4) {
        // Two overlapping words: the first four bytes and the last four. Against a byte at a time:
        // 5% of a job read's instructions, 6% of the job-shaped scan's (callgrind).
        const unsigned tail = 8 * (length - 4);
        const std::uint64_t low = be32(p + length - 4) & ((std::uint64_t{1} << tail) - 1);
        return (std::uint64_t{be32(p)} << tail) | low;
    }
    std::uint64_t value = 0;
    for (std::uint32_t i = 0; i < length; ++i) value = (value << 8) | p[i];
    return value;
}

inline void UKeyInStream::Select(Level& level, std::size_t index) {
    const std::int64_t pos = level.positions[index];
    // Mostly a short header whose data the window holds, checked with one subtraction; without it
    // BM_JobStreamScan takes 1.8 times as long, BM_LookupAllKeys 3.3 times (CPU time).
    const auto offset = static_cast<std::uint64_t>(pos - windowPos_);
    const std::uint64_t room = windowLen_;
    if (offset < room && room - offset >= 4) {
        const unsigned char* p = window_ + offset;
        const std::uint32_t length = p[2];
        if (length != kLongLength && room - offset - 4 >= length) {
            level.current = Field{pos + 4, length, static_cast<unsigned short>((p[0] << 8) | p[1]), p[3]};
            level.found = true;
            level.next = index + 1;
            currentData_ = p + 4;
            currentLength_ = length;
            return;
        }
    }
    SelectLongOrOutside(level, index);
}

inline void UKeyInStream::Lookup(unsigned short key) {
    Settle();
    Level& level = levels_[level_];
    if (!level.scanned && level.keyed) ScanRun(level, false);  // an array has no run
    const std::size_t index = level.next;
    if (index < level.keys.size() && level.keys[index] == key) return Select(level, index);
    LookupInRun(level, key);
}

// A fast step makes the batch's next field current.
inline bool UKeyInStream::NextInRun(UKey& key) {
    const std::uint32_t at = walkAt_;
    // Outside a fast walk both are 0.
    if (at == walkEnd_) return NextInRunSlowly(key);
    const WalkField& field = walkFields_[at];
    walkAt_ = at + 1;
    currentData_ = field.data;
    currentLength_ = field.length;
    key = UKey(field.key);
    return true;
}

inline UKeyInStream& UKeyInStream::operator>>(UKey key) {
    Lookup(key);
    return *this;
}

inline bool UKeyInStream::Exists(UKey key) {
    Lookup(key);
    return levels_[level_].found;
}

inline bool UKeyInStream::ReadUnsigned(std::uint32_t width, std::uint64_t& value) {
    const unsigned char* d = currentData_;
    if (d == nullptr) return ReadUnsignedSlowly(width, value);
    const std::uint32_t length = currentLength_;
    if (length > width) FailLongerThanExpected();
    value = BigEndian(d, length);
    return true;
}

inline UKeyInStream& UKeyInStream::operator>>(int& value) {
    std::uint64_t v = 0;
    if (ReadUnsigned(4, v)) value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    return *this;
}

inline UKeyInStream& UKeyInStream::operator>>(bool& value) {
    std::uint64_t v = 0;
    if (ReadUnsigned(1, v)) value = v != 0;
    return *this;
}

inline UKeyInStream& UKeyInStream::operator>>(ustring& value) {
    const unsigned char* data = currentData_;
    if (data == nullptr || version_ < 1) return ReadText(value);
    // Many fields hold empty texts.
    if (currentLength_ == 0 || data[0] == 0)
        value.clear();
    else
        AssignText(value, data, currentLength_);
    return *this;
}

inline UKeyInStream& UKeyInStream::operator>>(double& value) {
    std::uint64_t v = 0;
    if (ReadUnsigned(8, v)) value = std::bit_cast<double>(v);
    return *this;
}
