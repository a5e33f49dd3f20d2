// A vector that keeps its first N elements inside itself. Most message entries hold one value
// and most messages few entries, so this spares one heap block per array and per message. The
// elements' place is told by the capacity (N: inside), which keeps the vector a pointer smaller
// than one that points at them: a ticket holds hundreds of thousands of these.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

namespace vnu {

template <class T, std::size_t N>
class small_vector {
    static_assert(N > 0, "small_vector needs room for at least one element inside");
    static_assert(std::is_nothrow_move_constructible_v<T>, "elements are relocated by moving");

public:
    using value_type = T;
    using size_type = std::size_t;
    using difference_type = std::ptrdiff_t;
    using reference = T&;
    using const_reference = const T&;
    using pointer = T*;
    using const_pointer = const T*;
    using iterator = T*;
    using const_iterator = const T*;

    small_vector() noexcept = default;
    // Copies go element by element through the owner (a deep copy of messages, for one).
    small_vector(const small_vector&) = delete;
    small_vector& operator=(const small_vector&) = delete;
    small_vector(small_vector&& other) noexcept { take(other); }
    small_vector& operator=(small_vector&& other) noexcept {
        if (this != &other) {
            release();
            take(other);
        }
        return *this;
    }
    ~small_vector() { release(); }

    iterator begin() noexcept { return data(); }
    iterator end() noexcept { return data() + size_; }
    const_iterator begin() const noexcept { return data(); }
    const_iterator end() const noexcept { return data() + size_; }
    T* data() noexcept { return isInline() ? inlineData() : heap_; }
    const T* data() const noexcept { return isInline() ? inlineData() : heap_; }

    size_type size() const noexcept { return size_; }
    size_type capacity() const noexcept { return capacity_; }
    bool empty() const noexcept { return size_ == 0; }
    size_type max_size() const noexcept {
        return std::min<size_type>(
            std::numeric_limits<std::uint32_t>::max(),
            static_cast<size_type>(std::numeric_limits<difference_type>::max()) / sizeof(T));
    }

    T& operator[](size_type i) noexcept { return data()[i]; }
    const T& operator[](size_type i) const noexcept { return data()[i]; }
    T& front() noexcept { return data()[0]; }
    const T& front() const noexcept { return data()[0]; }
    T& back() noexcept { return data()[size_ - 1]; }
    const T& back() const noexcept { return data()[size_ - 1]; }

    void reserve(size_type n) {
        if (n > capacity_) relocate(n);
    }

    template <class... Args>
    T& emplace_back(Args&&... args) {
        if (size_ == capacity_) {
            // Built in the new block before the old elements move, as args may refer to one.
            const size_type grown = grow();
            T* fresh = allocate(grown);
            try {
                ::new (static_cast<void*>(fresh + size_)) T(std::forward<Args>(args)...);
            } catch (...) {
                deallocate(fresh, grown);
                throw;
            }
            moveInto(fresh);
            adopt(fresh, grown);
        } else {
            ::new (static_cast<void*>(data() + size_)) T(std::forward<Args>(args)...);
        }
        return data()[size_++];
    }
    void push_back(const T& value) { emplace_back(value); }
    void push_back(T&& value) { emplace_back(std::move(value)); }
    void pop_back() noexcept { data()[--size_].~T(); }

    template <class... Args>
    iterator emplace(const_iterator pos, Args&&... args) {
        const auto at = static_cast<size_type>(pos - data());
        emplace_back(std::forward<Args>(args)...);
        T* d = data();
        std::rotate(d + at, d + size_ - 1, d + size_);
        return d + at;
    }
    iterator insert(const_iterator pos, T&& value) { return emplace(pos, std::move(value)); }
    iterator insert(const_iterator pos, const T& value) { return emplace(pos, value); }

    iterator erase(const_iterator pos) {
        T* d = data();
        const auto at = static_cast<size_type>(pos - d);
        std::move(d + at + 1, d + size_, d + at);
        pop_back();
        return d + at;
    }

    void clear() noexcept {
        T* d = data();
        std::destroy(d, d + size_);
        size_ = 0;
    }

    friend bool operator==(const small_vector& a, const small_vector& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    template <class A>
    friend bool operator==(const small_vector& a, const std::vector<T, A>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    bool isInline() const noexcept { return capacity_ == N; }
    T* inlineData() noexcept { return reinterpret_cast<T*>(inline_); }
    const T* inlineData() const noexcept { return reinterpret_cast<const T*>(inline_); }

    size_type grow() const {
        if (capacity_ >= max_size() / 2) {
            if (capacity_ == max_size()) throw std::length_error("small_vector");
            return max_size();
        }
        return capacity_ * 2;
    }
    T* allocate(size_type n) {
        if (n > max_size()) throw std::length_error("small_vector");
        return std::allocator<T>().allocate(n);
    }
    static void deallocate(T* p, size_type n) noexcept { std::allocator<T>().deallocate(p, n); }

    // Moves the elements to `fresh` and ends them where they were.
    void moveInto(T* fresh) noexcept {
        T* d = data();
        for (size_type i = 0; i < size_; ++i) {
            ::new (static_cast<void*>(fresh + i)) T(std::move(d[i]));
            d[i].~T();
        }
    }
    // The elements already moved to `fresh`, a heap block of more than N.
    void adopt(T* fresh, size_type capacity) noexcept {
        if (!isInline()) deallocate(heap_, capacity_);
        heap_ = fresh;
        capacity_ = static_cast<std::uint32_t>(capacity);
    }
    void relocate(size_type n) {
        T* fresh = allocate(n);
        moveInto(fresh);
        adopt(fresh, n);
    }
    void release() noexcept {
        clear();
        if (!isInline()) deallocate(heap_, capacity_);
        capacity_ = N;
    }
    // Leaves `other` empty; a heap block changes hands, inline elements move one by one.
    void take(small_vector& other) noexcept {
        size_ = other.size_;
        if (other.isInline()) {
            capacity_ = N;
            other.moveInto(inlineData());
        } else {
            heap_ = other.heap_;
            capacity_ = other.capacity_;
            other.capacity_ = N;
        }
        other.size_ = 0;
    }

    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = N;
    union {
        alignas(T) unsigned char inline_[N * sizeof(T)];
        T* heap_;
    };
};

}  // namespace vnu
