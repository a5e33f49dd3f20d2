#include "text/ustring.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <stdexcept>

ustring::size_type ustring::checkLength(size_type n) {
    if (n > kMaxLength) throwTooLong();
    return n;
}

void ustring::throwTooLong() {
    throw std::length_error("ustring");
}

ustring::ustring(const char* text) : ustring(text, std::strlen(text)) {}

// Constructed in place: assigning to an empty string would take the general replace path.
ustring::ustring(const char* bytes, size_type count) : s_(bytes, checkLength(count)) {}

ustring::ustring(size_type count, char byte) {
    init(count, byte);
}

ustring::ustring(const ustring& other, size_type pos, size_type count) {
    if (pos > other.size()) throw std::out_of_range("ustring");
    s_.assign(other.s_, pos, count);
}

ustring::ustring(const std::string& s) : ustring(s.data(), s.size()) {}

ustring::ustring(std::string&& s) {
    checkLength(s.size());
    s_ = std::move(s);
}

ustring::ustring(std::string_view s) : ustring(s.data(), s.size()) {}

void ustring::init(unsigned long count, char byte) {
    checkLength(count);
    s_.assign(count, byte);
}

ustring& ustring::assign(const char* text) {
    return assign(text, std::strlen(text));
}

ustring& ustring::assign(const char* bytes, size_type count) {
    checkLength(count);
    s_.assign(bytes, count);
    return *this;
}

ustring& ustring::append(size_type count, char byte) {
    if (count > kMaxLength) throw std::length_error("ustring");
    checkLength(s_.size() + count);
    s_.append(count, byte);
    return *this;
}

ustring& ustring::append(const char* text) {
    return append(text, std::strlen(text));
}

void ustring::push_back(char byte) {
    checkLength(s_.size() + 1);
    s_.push_back(byte);
}

void ustring::reserve(size_type capacity) {
    checkLength(capacity);
    s_.reserve(capacity);
}

void ustring::resize(size_type count, char byte) {
    checkLength(count);
    s_.resize(count, byte);
}

ustring& ustring::erase(size_type pos, size_type count) {
    if (pos > s_.size()) throw std::out_of_range("ustring");
    s_.erase(pos, count);
    return *this;
}

ustring& ustring::replace(size_type pos, size_type count, const char* bytes, size_type n) {
    if (pos > s_.size()) throw std::out_of_range("ustring");
    const size_type removed = std::min(count, s_.size() - pos);
    if (n > kMaxLength) throw std::length_error("ustring");
    checkLength(s_.size() - removed + n);
    s_.replace(pos, removed, bytes, n);
    return *this;
}

int ustring::compare(size_type pos, size_type count, const char* bytes, size_type n) const {
    if (pos > s_.size()) throw std::out_of_range("ustring");
    return s_.compare(pos, count, bytes, n);
}

ustring operator+(const ustring& a, const char* b) {
    ustring r(a);
    r.append(b);
    return r;
}

ustring operator+(const ustring& a, const ustring& b) {
    ustring r(a);
    r.append(b);
    return r;
}

ustring operator+(const char* a, const ustring& b) {
    ustring r(a);
    r.append(b);
    return r;
}

ustring operator+(const ustring& a, char b) {
    ustring r(a);
    r.push_back(b);
    return r;
}

std::ostream& operator<<(std::ostream& os, const ustring& s) {
    return os << s.c_str();
}
