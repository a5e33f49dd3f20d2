// A growable array of plain values whose large storage is pages mapped for it alone. A reader can
// reserve the most an input could need, since pages never written take no memory, and its cost
// stays proportional to what it writes whatever the allocator kept from earlier inputs: the heap
// gives a large block back to the system or keeps it as it sees fit, so that the same read was
// cheap or dear depending on what came before it.
#pragma once

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace vnu {

template <class T>
class page_array {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    page_array() = default;
    page_array(const page_array&) = delete;
    page_array& operator=(const page_array&) = delete;
    page_array(page_array&& other) noexcept { swap(other); }
    page_array& operator=(page_array&& other) noexcept {
        page_array(std::move(other)).swap(*this);
        return *this;
    }
    ~page_array() { release(data_, capacity_); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T* data() { return data_; }
    const T* data() const { return data_; }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }

    void reserve(std::size_t n) {
        if (n > capacity_) reallocate(n);
    }
    void push_back(T value) {
        if (size_ == capacity_) reallocate(std::max<std::size_t>(16, 2 * capacity_));
        data_[size_++] = value;
    }
    // New values are zero.
    void resize(std::size_t n) {
        if (n > capacity_) reallocate(std::max(n, 2 * capacity_));
        if (n > size_) std::memset(data_ + size_, 0, (n - size_) * sizeof(T));
        size_ = n;
    }
    void clear() { size_ = 0; }

private:
    // Below this, the heap's blocks are the cheaper way.
    static constexpr std::size_t kMappedBytes = std::size_t{1} << 20;
    static constexpr std::size_t kHugePage = std::size_t{2} << 20;

    void swap(page_array& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }
    static bool mapped(std::size_t capacity) { return capacity * sizeof(T) >= kMappedBytes; }
    // Whole huge pages, so that every end the mapping is cut at is aligned for munmap.
    static std::size_t span(std::size_t capacity) {
        return (capacity * sizeof(T) + kHugePage - 1) & ~(kHugePage - 1);
    }
    static T* allocate(std::size_t capacity) {
        if (capacity > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        if (!mapped(capacity)) return static_cast<T*>(::operator new(capacity * sizeof(T)));
        // Aligned to a huge page and marked for them: a fault then fills 2 MiB instead of 4 KiB,
        // where the system allows it.
        const std::size_t bytes = span(capacity);
        const std::size_t reserved = bytes + kHugePage;
        void* p = ::mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        const auto start = reinterpret_cast<std::uintptr_t>(p);
        const std::uintptr_t aligned = (start + kHugePage - 1) & ~std::uintptr_t{kHugePage - 1};
        if (aligned > start) ::munmap(p, aligned - start);
        if (aligned - start < kHugePage) ::munmap(reinterpret_cast<void*>(aligned + bytes), kHugePage - (aligned - start));
#ifdef MADV_HUGEPAGE
        ::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
#endif
        return reinterpret_cast<T*>(aligned);
    }
    static void release(T* data, std::size_t capacity) noexcept {
        if (data == nullptr) return;
        if (mapped(capacity))
            ::munmap(data, span(capacity));
        else
            ::operator delete(data);
    }
    void reallocate(std::size_t capacity) {
        T* fresh = allocate(capacity);
        if (size_ != 0) std::memcpy(fresh, data_, size_ * sizeof(T));
        release(data_, capacity_);
        data_ = fresh;
        capacity_ = capacity;
    }

    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace vnu
