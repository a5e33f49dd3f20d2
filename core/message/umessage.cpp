#include "message/umessage.h"

#include <stdexcept>

namespace umessage_details {

std::shared_ptr<umessage> clone_value(const std::shared_ptr<umessage>& value) {
    return value ? std::make_shared<umessage>(*value) : nullptr;
}

bool equal_value(const std::shared_ptr<umessage>& a, const std::shared_ptr<umessage>& b) {
    if (!a || !b) return !a && !b;
    return *a == *b;
}

template class dyn_array_impl<int>;
template class dyn_array_impl<bool>;
template class dyn_array_impl<double>;
template class dyn_array_impl<ustring>;
template class dyn_array_impl<std::shared_ptr<umessage>>;
template class dyn_array_impl<long long>;

void array_block::free(array_block* block) noexcept {
    block->~array_block();
    ::operator delete(block);
}

bool is_array(const dyn_array& array) {
    switch (array.type()) {
        case umessage_type_int: return static_cast<const dyn_array_impl<int>&>(array).isArray;
        case umessage_type_bool: return static_cast<const dyn_array_impl<bool>&>(array).isArray;
        case umessage_type_double: return static_cast<const dyn_array_impl<double>&>(array).isArray;
        case umessage_type_string: return static_cast<const dyn_array_impl<ustring>&>(array).isArray;
        case umessage_type_message:
            return static_cast<const dyn_array_impl<std::shared_ptr<umessage>>&>(array).isArray;
        case umessage_type_longlong: return static_cast<const dyn_array_impl<long long>&>(array).isArray;
        default: return false;
    }
}

}  // namespace umessage_details

using umessage_details::array_ptr;
using umessage_details::dyn_array;
using umessage_details::dyn_array_impl;

umessage::umessage(const umessage& other) {
    map_type::container_type copy;
    copy.reserve(other.data_.size());
    for (const auto& [name, array] : other.data_) copy.emplace_back(name, array_ptr(array->clone()));
    data_.assign_sorted(std::move(copy));
}

umessage& umessage::operator=(const umessage& other) {
    if (this != &other) {
        clear();
        umessage copy(other);
        data_ = std::move(copy.data_);
    }
    return *this;
}

umessage::~umessage() = default;

std::vector<ustring> umessage::getNames() const {
    std::vector<ustring> names;
    names.reserve(data_.size());
    for (const auto& entry : data_) names.push_back(entry.first);
    return names;
}

bool umessage::hasData(const ustring& name) const {
    auto it = data_.find(name);
    return it != data_.end() && it->second->count() > 0;
}

bool umessage::hasData(const ustring& name, umessage_type_id type, unsigned index) const {
    auto it = data_.find(name);
    if (it == data_.end()) return false;
    if (type != umessage_type_null && type != it->second->type()) return false;
    return it->second->count() > index;
}

bool umessage::getInfo(const ustring& name, unsigned& count) const {
    count = 0;
    auto it = data_.find(name);
    if (it == data_.end()) return false;
    count = it->second->count();
    return true;
}

void umessage::clear() noexcept {
    data_.clear();
}

void umessage::erase(const ustring& name) {
    auto it = data_.find(name);
    if (it != data_.end()) data_.erase(it);
}

template <class T>
void umessage::addData_priv(const ustring& name, umessage_type_id type, const T& value, bool asArray) {
    if (type == umessage_type_null) throw std::invalid_argument("type is null");
    if (!umessage_details::valid_name(name)) throw std::invalid_argument("empty or invalid name");
    auto it = data_.lower_bound(name);
    if (it == data_.end() || it->first != name) {
        auto array = std::make_unique<dyn_array_impl<T>>(type, asArray);
        array->addData(value);
        data_.insert(it, map_type::value_type(name, array_ptr(array.release())));
        return;
    }
    auto* array = dynamic_cast<dyn_array_impl<T>*>(it->second.get());
    if (array == nullptr || array->typeId != type) throw std::logic_error("incompatible type");
    array->addData(value);
}

template <class T>
bool umessage::findData_priv(const ustring& name, unsigned index, umessage_type_id type, T& out) const {
    auto it = data_.find(name);
    if (it == data_.end()) return false;
    auto* array = dynamic_cast<const dyn_array_impl<T>*>(it->second.get());
    if (array == nullptr || array->typeId != type || array->values.size() <= index) return false;
    out = array->values[index];
    return true;
}

#define VN_UMESSAGE_INSTANTIATE(T)                                                             \
    template void umessage::addData_priv<T>(const ustring&, umessage_type_id, const T&, bool); \
    template bool umessage::findData_priv<T>(const ustring&, unsigned, umessage_type_id, T&) const;
VN_UMESSAGE_INSTANTIATE(int)
VN_UMESSAGE_INSTANTIATE(bool)
VN_UMESSAGE_INSTANTIATE(double)
VN_UMESSAGE_INSTANTIATE(ustring)
VN_UMESSAGE_INSTANTIATE(std::shared_ptr<umessage>)
VN_UMESSAGE_INSTANTIATE(long long)
#undef VN_UMESSAGE_INSTANTIATE

bool operator==(const umessage& a, const umessage& b) {
    if (a.data_.size() != b.data_.size()) return false;
    for (auto i = a.data_.begin(), j = b.data_.begin(); i != a.data_.end(); ++i, ++j) {
        if (i->first != j->first || i->second->type() != j->second->type() ||
            i->second->count() != j->second->count())
            return false;
    }
    for (auto i = a.data_.begin(), j = b.data_.begin(); i != a.data_.end(); ++i, ++j)
        if (!i->second->equal(j->second.get())) return false;
    return true;
}

template <class S>
std::vector<S> Split(const S& text, char separator) {
    std::vector<S> pieces;
    typename S::size_type start = 0;
    while (start < text.size()) {
        typename S::size_type end = text.find(separator, start);
        if (end == S::npos) end = text.size();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

template std::vector<ustring> Split<ustring>(const ustring& text, char separator);
