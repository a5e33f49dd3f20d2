// Typed multi-valued key/value message: each name holds one or more values of one element type.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#include "support/flat_map.h"
#include "support/small_vector.h"
#include "text/ustring.h"

using umessage_type_id = std::int32_t;

// The type ids of the element types; 0 is "no type" (as a lookup argument of hasData: any type).
enum : umessage_type_id {
    umessage_type_null = 0,
    umessage_type_int = 1,
    umessage_type_bool = 2,
    umessage_type_double = 3,
    umessage_type_string = 4,
    umessage_type_message = 5,
    umessage_type_longlong = 6,
};

class umessage;

namespace vnu {
class ReadBudget;
}

namespace type_list {
struct true_t {};
struct false_t {};
template <class A, class B>
struct vector2 {
    using first = A;
    using second = B;
};
}  // namespace type_list

namespace umessage_details {

// The element type that belongs to each type id.
template <class T>
struct type_of;
template <>
struct type_of<int> {
    static constexpr umessage_type_id id = umessage_type_int;
};
template <>
struct type_of<bool> {
    static constexpr umessage_type_id id = umessage_type_bool;
};
template <>
struct type_of<double> {
    static constexpr umessage_type_id id = umessage_type_double;
};
template <>
struct type_of<ustring> {
    static constexpr umessage_type_id id = umessage_type_string;
};
template <>
struct type_of<std::shared_ptr<umessage>> {
    static constexpr umessage_type_id id = umessage_type_message;
};
template <>
struct type_of<long long> {
    static constexpr umessage_type_id id = umessage_type_longlong;
};

// The memory the messages and arrays read from one flattened form share: one allocation instead
// of one per object. It goes when the last of them does.
struct array_block {
    // One per live object in the block, one for its reader while it reads. The objects of one
    // block may belong to different messages, which may be let go on different threads.
    std::atomic<std::size_t> refs;
    static void release(array_block* block) noexcept {
        if (block->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) free(block);
    }
    static void free(array_block* block) noexcept;
};

class dyn_array {
public:
    dyn_array() = default;
    dyn_array(const dyn_array&) = delete;
    dyn_array& operator=(const dyn_array&) = delete;
    virtual ~dyn_array() = default;
    virtual umessage_type_id type() const = 0;
    // A deep copy owned by the caller.
    virtual dyn_array* clone() const = 0;
    virtual unsigned count() const = 0;
    virtual bool equal(const dyn_array* other) const = 0;
    // `index` must be below count().
    virtual void eraseData(unsigned index) = 0;

private:
    friend struct array_delete;
    friend struct unflattener;
    array_block* block_ = nullptr;  // null for an array allocated on its own
};

// Frees an array allocated on its own; one inside a block only lets go of the block.
struct array_delete {
    void operator()(dyn_array* array) const noexcept {
        if (array_block* block = array->block_) {
            array->~dyn_array();
            array_block::release(block);
        } else {
            delete array;
        }
    }
};
using array_ptr = std::unique_ptr<dyn_array, array_delete>;

// Nested messages are copied and compared through the message, not the pointer.
std::shared_ptr<umessage> clone_value(const std::shared_ptr<umessage>& value);
bool equal_value(const std::shared_ptr<umessage>& a, const std::shared_ptr<umessage>& b);
template <class T>
T clone_value(const T& value) {
    return value;
}
template <class T>
bool equal_value(const T& a, const T& b) {
    return a == b;  // doubles numerically: NaN never equal, 0.0 == -0.0
}

template <class T>
class dyn_array_impl final : public dyn_array {
public:
    explicit dyn_array_impl(umessage_type_id id, bool asArray = false) noexcept : isArray(asArray), typeId(id) {}

    umessage_type_id type() const override { return typeId; }
    dyn_array* clone() const override {
        auto* copy = new dyn_array_impl<T>(typeId, isArray);
        try {
            copy->values.reserve(values.size());
            for (const auto& v : values) copy->values.push_back(clone_value(v));
        } catch (...) {
            delete copy;
            throw;
        }
        return copy;
    }
    unsigned count() const override { return static_cast<unsigned>(values.size()); }
    bool equal(const dyn_array* other) const override {
        auto* o = dynamic_cast<const dyn_array_impl<T>*>(other);
        if (o == nullptr || o->typeId != typeId || o->values.size() != values.size()) return false;
        for (std::size_t i = 0; i < values.size(); ++i)
            if (!equal_value(values[i], o->values[i])) return false;
        return true;
    }
    void eraseData(unsigned index) override {
        values.erase(values.begin() + static_cast<std::ptrdiff_t>(index));
    }

    // A second value turns the entry into an array for good.
    void addData(const T& value) {
        const bool hadValues = !values.empty();
        values.push_back(value);
        if (hadValues) isArray = true;
    }
    void addData(T&& value) {
        const bool hadValues = !values.empty();
        values.push_back(std::move(value));
        if (hadValues) isArray = true;
    }

    bool isArray;
    umessage_type_id typeId;
    // Most entries hold one value, kept inside the array; bool is the packed bit vector.
    using values_type =
        std::conditional_t<std::is_same_v<T, bool>, std::vector<bool>, vnu::small_vector<T, 1>>;
    values_type values;
};

extern template class dyn_array_impl<int>;
extern template class dyn_array_impl<bool>;
extern template class dyn_array_impl<double>;
extern template class dyn_array_impl<ustring>;
extern template class dyn_array_impl<std::shared_ptr<umessage>>;
extern template class dyn_array_impl<long long>;

// A name is non-empty and holds neither '/' nor '?'.
inline bool valid_name(const ustring& name) {
    return !name.empty() && std::memchr(name.data(), '/', name.size()) == nullptr &&
           std::memchr(name.data(), '?', name.size()) == nullptr;
}

// The isArray flag of any entry's array.
bool is_array(const dyn_array& array);

// What find<T> looks up first (stored element type and id) and which types it falls back to.
template <class T>
struct find_traits;
template <>
struct find_traits<ustring> {
    using stored = ustring;
    using compatible = type_list::true_t;
};
template <>
struct find_traits<bool> {
    using stored = bool;
    using compatible = type_list::true_t;
};
template <>
struct find_traits<long long> {
    using stored = long long;
    using compatible = type_list::true_t;
};
template <>
struct find_traits<std::shared_ptr<umessage const>> {
    using stored = std::shared_ptr<umessage>;
    using compatible = type_list::true_t;
};
template <>
struct find_traits<double> {
    using stored = double;
    using compatible = type_list::vector2<int, long long>;
};
template <>
struct find_traits<int> {
    using stored = int;
    using compatible = type_list::vector2<double, long long>;
};

// Conversions of a compatible value into the requested type.
inline void convert(int from, double& to) {
    to = from;
}
inline void convert(long long from, double& to) {
    to = static_cast<double>(from);
}
inline void convert(double from, int& to) {
    // Out of range or NaN: the integer indefinite value.
    double t = std::trunc(from);
    to = (t >= -2147483648.0 && t <= 2147483647.0) ? static_cast<int>(t) : std::numeric_limits<int>::min();
}
inline void convert(long long from, int& to) {
    to = static_cast<int>(static_cast<std::uint32_t>(static_cast<unsigned long long>(from)));
}

struct unflattener;

}  // namespace umessage_details

class umessage {
public:
    // Most messages of a ticket (checks, descriptions) hold one or two entries, kept inside the
    // message.
    using map_type = vnu::flat_map<ustring, umessage_details::array_ptr, std::less<ustring>,
                                   vnu::small_vector<std::pair<ustring, umessage_details::array_ptr>, 2>>;

    umessage() = default;
    umessage(const umessage& other);
    umessage(umessage&& other) noexcept = default;
    umessage& operator=(const umessage& other);
    umessage& operator=(umessage&& other) noexcept = default;
    ~umessage();

    bool empty() const noexcept { return data_.empty(); }
    // The entry names in key order.
    std::vector<ustring> getNames() const;
    bool hasData(const ustring& name) const;
    // `type` 0 matches any type.
    bool hasData(const ustring& name, umessage_type_id type, unsigned index) const;
    bool getInfo(const ustring& name, unsigned& count) const;
    // Read-only access to the entries in key order (for writers and inspectors).
    const map_type& entries() const noexcept { return data_; }

    void clear() noexcept;
    void erase(const ustring& name);

    // Throws std::invalid_argument "type is null" / "empty or invalid name", std::logic_error
    // "incompatible type"; a failed add leaves the message unchanged.
    template <class T>
    void addData_priv(const ustring& name, umessage_type_id type, const T& value, bool asArray);

    template <class T>
    bool findData_priv(const ustring& name, unsigned index, umessage_type_id type, T& out) const;

    // Typed lookup with the compatible-type fallbacks; `out` is untouched on failure.
    template <class T>
    bool find(const ustring& name, unsigned index, T& out) const {
        using traits = umessage_details::find_traits<T>;
        using stored = typename traits::stored;
        if constexpr (std::is_same_v<stored, T>) {
            if (findData_priv<T>(name, index, umessage_details::type_of<T>::id, out)) return true;
        } else {
            stored value;
            if (findData_priv<stored>(name, index, umessage_details::type_of<stored>::id, value)) {
                out = value;
                return true;
            }
        }
        if constexpr (std::is_same_v<typename traits::compatible, type_list::true_t>) {
            return false;
        } else {
            return findCompatibleType<T, typename traits::compatible>(name, index, out, type_list::false_t());
        }
    }

    template <class T, class List>
    bool findCompatibleType(const ustring& name, unsigned index, T& out, type_list::false_t const&) const {
        using A = typename List::first;
        using B = typename List::second;
        A a;
        if (findData_priv<A>(name, index, umessage_details::type_of<A>::id, a)) {
            umessage_details::convert(a, out);
            return true;
        }
        B b;
        if (findData_priv<B>(name, index, umessage_details::type_of<B>::id, b)) {
            umessage_details::convert(b, out);
            return true;
        }
        return false;
    }

    template <class T>
    T get(const ustring& name, unsigned index, const T& defaultValue) const {
        T out = defaultValue;
        find<T>(name, index, out);
        return out;
    }

    friend bool operator==(const umessage& a, const umessage& b);

    // Nested message levels below the top that the flattened form may hold; the reader refuses
    // deeper input before recursing further, and the writer refuses to produce it.
    static constexpr int kMaxNesting = 64;

    // Clears the message and reads one flattened message; false (message empty) on any failure.
    // The message may take memory of at most a fixed multiple of the stream's size (see
    // vnu::ReadBudget); a larger one fails naming what there is too much of.
    bool unflatten(std::istream& in);
    // The same within the budget of an enclosing input, which keeps what the message took.
    bool unflatten(std::istream& in, vnu::ReadBudget& budget);
    // Reads one message body, appending its entries; throws on bad input.
    void unflatten_priv(std::istream& in, int version, const std::vector<ustring>& strings);
    // Writes the flattened form (versions 1 to 4). Throws std::invalid_argument for a version out
    // of range, a body of more than 131072 entries, nesting deeper than kMaxNesting or a long
    // long in versions 1 and 2.
    void flatten(std::ostream& out, int version = 4) const;

private:
    friend struct umessage_details::unflattener;
    bool unflattenWithin(std::istream& in, vnu::ReadBudget* budget);
    map_type data_;
};

extern template void umessage::addData_priv<int>(const ustring&, umessage_type_id, const int&, bool);
extern template void umessage::addData_priv<bool>(const ustring&, umessage_type_id, const bool&, bool);
extern template void umessage::addData_priv<double>(const ustring&, umessage_type_id, const double&, bool);
extern template void umessage::addData_priv<ustring>(const ustring&, umessage_type_id, const ustring&, bool);
extern template void umessage::addData_priv<std::shared_ptr<umessage>>(const ustring&, umessage_type_id,
                                                                       const std::shared_ptr<umessage>&,
                                                                       bool);
extern template void umessage::addData_priv<long long>(const ustring&, umessage_type_id, const long long&,
                                                       bool);
extern template bool umessage::findData_priv<int>(const ustring&, unsigned, umessage_type_id, int&) const;
extern template bool umessage::findData_priv<bool>(const ustring&, unsigned, umessage_type_id, bool&) const;
extern template bool umessage::findData_priv<double>(const ustring&, unsigned, umessage_type_id,
                                                     double&) const;
extern template bool umessage::findData_priv<ustring>(const ustring&, unsigned, umessage_type_id,
                                                      ustring&) const;
extern template bool umessage::findData_priv<std::shared_ptr<umessage>>(const ustring&, unsigned,
                                                                        umessage_type_id,
                                                                        std::shared_ptr<umessage>&) const;
extern template bool umessage::findData_priv<long long>(const ustring&, unsigned, umessage_type_id,
                                                        long long&) const;

// Splits at every occurrence of `separator`, dropping empty pieces.
template <class S>
std::vector<S> Split(const S& text, char separator);
extern template std::vector<ustring> Split<ustring>(const ustring& text, char separator);
