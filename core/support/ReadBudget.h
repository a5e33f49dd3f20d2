// The memory a reader may build from outside input: a fixed number of bytes for each byte of
// input, and a fixed allowance. Without it a few bytes can stand for a large object (an empty
// nested message, a record of one empty field, a one-letter table entry) and a legal input of
// tens of megabytes would cost gigabytes. Readers charge what they build as they build it, one
// subtraction and one comparison per element, and refuse the input once it is spent.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace vnu {

class ReadBudget {
public:
    // What a reader may build per byte of input when its caller holds the input once: of the 16
    // bytes per input byte a whole process may spend on it, one is the input. A tree of messages
    // takes nearly 14 per byte of a large ticket; a job, whose ticket is read as an image, is
    // read within 3 (see BJobFile).
    static constexpr std::uint64_t kPerInputByte = 15;
    // Of the 16 MiB a process may spend on any input beside that.
    static constexpr std::uint64_t kAllowance = std::uint64_t{8} << 20;

    ReadBudget() = default;
    explicit ReadBudget(std::uint64_t inputBytes, std::uint64_t perInputByte = kPerInputByte)
        : perInputByte_(perInputByte) {
        credit(inputBytes);
    }

    // Input read: more room to build in.
    void credit(std::uint64_t bytes) {
        const std::uint64_t most = (std::numeric_limits<std::uint64_t>::max() - left_) / perInputByte_;
        bytes = std::min(bytes, most);
        left_ += bytes * perInputByte_;
        inputBytes_ += bytes;
    }
    // False, taking nothing, when `bytes` is more than is left.
    [[nodiscard]] bool take(std::uint64_t bytes) {
        if (bytes > left_) [[unlikely]]
            return false;
        left_ -= bytes;
        return true;
    }
    std::uint64_t left() const { return left_; }
    // For a reader that counts on its own while it runs.
    void setLeft(std::uint64_t left) { left_ = left; }
    std::uint64_t perInputByte() const { return perInputByte_; }
    // For messages that name the input.
    std::uint64_t inputBytes() const { return inputBytes_; }

private:
    std::uint64_t perInputByte_ = kPerInputByte;
    std::uint64_t left_ = kAllowance;
    std::uint64_t inputBytes_ = 0;
};

// What a heap block of `bytes` costs: the allocator's header, rounded to its 16-byte grain.
constexpr std::uint64_t HeapBlockCost(std::uint64_t bytes) {
    return (bytes + 8 + 15) / 16 * 16;
}

// The heap a string of `length` bytes holds beyond its object; short ones are kept inside it.
constexpr std::uint64_t TextHeapCost(std::uint64_t length) {
    return length < 16 ? 0 : HeapBlockCost(length + 1);
}

}  // namespace vnu
