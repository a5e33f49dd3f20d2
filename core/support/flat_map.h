// A map kept as one sorted vector of pairs: compact, cache-friendly lookups by binary search.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace vnu {

// `Container` is any contiguous vector of the pairs (a small_vector for maps that are mostly tiny).
template <class Key, class Value, class Compare = std::less<Key>,
          class Container = std::vector<std::pair<Key, Value>>>
class flat_map {
public:
    using key_type = Key;
    using mapped_type = Value;
    using value_type = std::pair<Key, Value>;
    using container_type = Container;
    using iterator = typename container_type::iterator;
    using const_iterator = typename container_type::const_iterator;
    using size_type = typename container_type::size_type;

    flat_map() = default;

    iterator begin() noexcept { return data_.begin(); }
    iterator end() noexcept { return data_.end(); }
    const_iterator begin() const noexcept { return data_.begin(); }
    const_iterator end() const noexcept { return data_.end(); }
    size_type size() const noexcept { return data_.size(); }
    bool empty() const noexcept { return data_.empty(); }
    void clear() noexcept { data_.clear(); }
    void reserve(size_type n) { data_.reserve(n); }

    iterator lower_bound(const Key& key) {
        return std::lower_bound(data_.begin(), data_.end(), key, KeyLess{});
    }
    const_iterator lower_bound(const Key& key) const {
        return std::lower_bound(data_.begin(), data_.end(), key, KeyLess{});
    }

    iterator find(const Key& key) {
        iterator it = lower_bound(key);
        return it != data_.end() && !Compare{}(key, it->first) ? it : data_.end();
    }
    const_iterator find(const Key& key) const {
        const_iterator it = lower_bound(key);
        return it != data_.end() && !Compare{}(key, it->first) ? it : data_.end();
    }

    Value& operator[](const Key& key) {
        iterator it = lower_bound(key);
        if (it == data_.end() || Compare{}(key, it->first)) it = data_.emplace(it, key, Value());
        return it->second;
    }

    // Inserts at `pos`, which the caller has found with lower_bound for this key.
    iterator insert(const_iterator pos, value_type&& pair) { return data_.insert(pos, std::move(pair)); }

    iterator erase(const_iterator pos) { return data_.erase(pos); }

    // Replaces the whole content at once; `sorted` must be ascending with unique keys. Lets a
    // reader build a large map in one sort instead of one shifting insertion per key.
    void assign_sorted(container_type&& sorted) { data_ = std::move(sorted); }
    // Gives the vector up, leaving the map empty (the counterpart of assign_sorted).
    container_type release() { return std::exchange(data_, container_type()); }

private:
    struct KeyLess {
        bool operator()(const value_type& pair, const Key& key) const { return Compare{}(pair.first, key); }
    };
    container_type data_;
};

}  // namespace vnu
