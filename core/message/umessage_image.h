// A flattened message checked once and indexed where it lies: the entries of every body in name
// order, a few words each, with values decoded from the input when asked for. Reading a large
// ticket this way builds no tree of objects, so it costs a fraction of the memory and time of
// unflattening it, and nothing to tear down. What it accepts and how it reads it (repeated names
// merged, the "what" of version 1, the compatible types) is what umessage::unflatten does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "message/umessage.h"
#include "support/page_array.h"

namespace vnu {
class ReadBudget;
}

class umessage_image;
class umessage_view;

// One entry of a body: a name and one or more values of one type.
class umessage_entry {
public:
    // Entry names are ranked in byte order when the image is read: equal names share a rank.
    std::uint32_t rank() const { return word(0) >> 3; }
    inline std::string_view name() const;
    umessage_type_id type() const { return static_cast<umessage_type_id>(word(0) & 7u); }
    unsigned count() const { return word(1) >> 1; }
    bool isArray() const { return (word(1) & 1u) != 0; }

    // Value `index` (below count()) of the entry's own type; walks the values before it, so a
    // sequential reader should use a umessage_cursor.
    int intAt(unsigned index) const;
    bool boolAt(unsigned index) const;
    double doubleAt(unsigned index) const;
    std::string_view stringAt(unsigned index) const;
    long long longlongAt(unsigned index) const;
    inline umessage_view messageAt(unsigned index) const;

    // The first value as umessage::find reads it, compatible types converted; false (out
    // untouched) when the entry holds no such value.
    bool firstNumber(double& out) const;
    bool firstInteger(int& out) const;
    // The first string; false when the entry holds no strings.
    bool firstString(std::string_view& out) const;

private:
    friend class umessage_image;
    friend class umessage_view;
    friend class umessage_cursor;
    umessage_entry(const umessage_image* image, std::uint32_t at) : image_(image), at_(at) {}
    inline std::uint32_t word(int i) const;
    const unsigned char* values() const;

    const umessage_image* image_;
    std::uint32_t at_;  // index of the entry's first word
};

// An entry's values read in order, each in constant time: the way to walk a long array.
class umessage_cursor {
public:
    explicit umessage_cursor(const umessage_entry& entry);
    // Each reads the next value; the caller keeps to the entry's type and count.
    int nextInt();
    bool nextBool() { return *p_++ != 0; }
    double nextDouble();
    std::string_view nextString();
    long long nextLonglong();
    umessage_view nextMessage();

private:
    const umessage_entry entry_;
    const unsigned char* p_;
    unsigned index_ = 0;  // of the next message
};

// One message of an image (the whole or a nested one); a null view holds no image. Cheap to copy;
// valid while its image lives.
class umessage_view {
public:
    umessage_view() = default;

    bool null() const { return image_ == nullptr; }
    // Entries in name order; an empty message, or a null view, has none.
    inline unsigned size() const;
    umessage_entry entry(unsigned index) const { return umessage_entry(image_, head_ + 1 + 3 * index); }
    // The entry of that name, when there is one: `index` is set to its place.
    bool find(std::string_view name, unsigned& index) const;
    // The same by rank (umessage_image::rankOf).
    bool findRank(std::uint32_t rank, unsigned& index) const;
    // The first value of `name` when it is a message: what find<message>(name, 0) gives.
    umessage_view firstMessage(std::string_view name) const;
    // Value `index` of `name` when the entry holds messages; a null view otherwise.
    umessage_view message(std::string_view name, unsigned index) const;
    // The number of values of `name`, of any type; 0 when absent.
    unsigned countOf(std::string_view name) const;

    // A message of its own with the same entries and values.
    umessage toMessage() const;

private:
    friend class umessage_image;
    friend class umessage_entry;
    umessage_view(const umessage_image* image, std::uint32_t head) : image_(image), head_(head) {}

    const umessage_image* image_ = nullptr;
    std::uint32_t head_ = 0;  // index of the body's head word in the image's entry words
};

class umessage_image {
public:
    umessage_image() { words_.push_back(0); }
    umessage_image(const umessage_image&) = delete;
    umessage_image& operator=(const umessage_image&) = delete;
    umessage_image(umessage_image&&) noexcept = default;
    umessage_image& operator=(umessage_image&&) noexcept = default;

    // Reads the flattened message at the start of `bytes`, which must stay unchanged while the
    // image is used (they are not copied); the budget is charged with what the index takes. False,
    // the image left empty, when the bytes do not hold a message; like unflatten, a reason is
    // logged unless they start with no version at all.
    bool read(std::string_view bytes, vnu::ReadBudget& budget);
    // The same for bytes the image keeps.
    bool read(std::string&& bytes, vnu::ReadBudget& budget);
    // A message's own flattened form, kept by the image; throws what flatten throws.
    static umessage_image of(const umessage& message);

    // The whole message; an empty image reads as an empty message.
    umessage_view root() const { return umessage_view(this, root_); }
    bool empty() const { return root().size() == 0; }

    // The rank entries named `name` have, or kNoRank when no entry can have that name.
    static constexpr std::uint32_t kNoRank = UINT32_MAX;
    std::uint32_t rankOf(std::string_view name) const;
    // Twice the rank of `name`, or for a name no entry has the odd number between the ranks
    // around it: names and entries then compare as numbers.
    std::int64_t keyOf(std::string_view name) const;
    // The names entries may have, in rank order.
    std::size_t rankCount() const { return names_.size(); }
    std::string_view nameOfRank(std::uint32_t rank) const { return names_[rank]; }

    // The memory the index fills beside the input, in bytes (room reserved and never used is
    // never touched, so it takes no pages).
    std::size_t indexBytes() const;

private:
    friend class umessage_entry;
    friend class umessage_view;
    friend class umessage_cursor;
    friend struct image_reader;

    void clear();

    // The bytes when the image keeps them, where a move of the image leaves them.
    std::unique_ptr<const std::string> owned_;
    std::string_view bytes_;     // the flattened message
    std::string merged_;         // values of a repeated name, gathered from their places
    std::vector<std::string_view> strings_;  // the string table by index; 0 is unused
    std::vector<std::string_view> names_;    // the distinct entry names by rank
    // Per body a head word (its entry count), then three words per entry: rank << 3 | type,
    // count << 1 | array flag, and where the values are: the first nested body's place in
    // `bodies_` for messages, else an offset into the bytes (kMerged set: into `merged_`). Word 0
    // is the head of every empty body.
    vnu::page_array<std::uint32_t> words_;
    std::uint32_t root_ = 0;  // the head of the whole message
    // The head of each nested message, those of one entry side by side.
    vnu::page_array<std::uint32_t> bodies_;

    static constexpr std::uint32_t kMerged = 0x80000000u;
};

// The accessors a walk over many entries calls for each.
inline std::uint32_t umessage_entry::word(int i) const {
    return image_->words_[at_ + static_cast<std::uint32_t>(i)];
}
inline std::string_view umessage_entry::name() const {
    return image_->names_[rank()];
}
inline umessage_view umessage_entry::messageAt(unsigned index) const {
    return umessage_view(image_, image_->bodies_[word(2) + index]);
}
inline unsigned umessage_view::size() const {
    return image_ == nullptr ? 0 : image_->words_[head_];
}
