// The one string type of the system: a byte string holding UTF-8 by convention.
#pragma once

#include <compare>
#include <cstdarg>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

class ustring {
public:
    using size_type = std::string::size_type;
    using value_type = char;
    using iterator = std::string::iterator;
    using const_iterator = std::string::const_iterator;
    static constexpr size_type npos = std::string::npos;
    // Any operation that would reach this length throws std::length_error("ustring").
    static constexpr size_type kMaxLength = 0xFFFFFE;

    ustring() = default;
    ustring(const char* text);  // NOLINT: implicit like std::string
    ustring(const char* bytes, size_type count);
    ustring(size_type count, char byte);
    ustring(const ustring& other, size_type pos, size_type count = npos);
    ustring(const std::string& s);  // NOLINT
    ustring(std::string&& s);       // NOLINT
    explicit ustring(std::string_view s);
    ustring(const ustring&) = default;
    ustring(ustring&&) noexcept = default;
    ustring& operator=(const ustring&) = default;
    ustring& operator=(ustring&&) noexcept = default;
    ustring& operator=(const char* text) { return assign(text); }
    ~ustring() = default;

    void init(const char* bytes, unsigned long count) { assign(bytes, count); }
    void init(unsigned long count, char byte);

    ustring& assign(const char* text);
    ustring& assign(const char* bytes, size_type count);
    // Replaces the content with the UTF-8 form of UTF-16 units; on an unpaired or truncated
    // surrogate only the whole 512-byte blocks converted before it are kept.
    ustring& assign(const unsigned short* units, unsigned long count);
    // Inline: readers append many short texts. The length stays within kMaxLength.
    ustring& append(const char* bytes, size_type count) {
        if (count > kMaxLength - s_.size()) throwTooLong();
        s_.append(bytes, count);
        return *this;
    }
    ustring& append(size_type count, char byte);
    ustring& append(const char* text);
    ustring& append(const ustring& other) { return append(other.data(), other.size()); }
    ustring& operator+=(const ustring& other) { return append(other); }
    ustring& operator+=(const char* text) { return append(text); }
    ustring& operator+=(char byte) {
        push_back(byte);
        return *this;
    }
    void push_back(char byte);
    void reserve(size_type capacity);
    void resize(size_type count, char byte = '\0');
    void clear() noexcept { s_.clear(); }

    ustring& erase(size_type pos = 0, size_type count = npos);
    ustring& replace(size_type pos, size_type count, const char* bytes, size_type n);
    ustring& replace(size_type pos, size_type count, const ustring& with) {
        return replace(pos, count, with.data(), with.size());
    }

    size_type find(const ustring& what, size_type pos = 0) const noexcept { return s_.find(what.s_, pos); }
    size_type find(const char* what, size_type pos = 0) const { return s_.find(what, pos); }
    size_type find(char byte, size_type pos = 0) const noexcept { return s_.find(byte, pos); }
    size_type rfind(char byte, size_type pos = npos) const noexcept { return s_.rfind(byte, pos); }
    size_type rfind(const ustring& what, size_type pos = npos) const noexcept {
        return s_.rfind(what.s_, pos);
    }
    size_type find_first_of(const char* set, size_type pos, size_type count) const {
        return s_.find_first_of(set, pos, count);
    }
    size_type find_first_of(const char* set, size_type pos = 0) const { return s_.find_first_of(set, pos); }
    size_type find_last_of(const char* set, size_type pos, size_type count) const {
        return s_.find_last_of(set, pos, count);
    }
    size_type find_last_of(const char* set, size_type pos = npos) const { return s_.find_last_of(set, pos); }
    ustring substr(size_type pos = 0, size_type count = npos) const { return ustring(*this, pos, count); }

    int compare(size_type pos, size_type count, const char* bytes, size_type n) const;
    int compare(const char* text) const { return s_.compare(text); }
    int compare(const ustring& other) const noexcept { return s_.compare(other.s_); }

    const char* c_str() const noexcept { return s_.c_str(); }
    const char* data() const noexcept { return s_.data(); }
    char* data() noexcept { return s_.data(); }
    size_type size() const noexcept { return s_.size(); }
    size_type length() const noexcept { return s_.size(); }
    size_type capacity() const noexcept { return s_.capacity(); }
    bool empty() const noexcept { return s_.empty(); }
    char& operator[](size_type i) { return s_[i]; }
    const char& operator[](size_type i) const { return s_[i]; }
    char& back() { return s_.back(); }
    const char& back() const { return s_.back(); }
    char& front() { return s_.front(); }
    const char& front() const { return s_.front(); }
    iterator begin() noexcept { return s_.begin(); }
    iterator end() noexcept { return s_.end(); }
    const_iterator begin() const noexcept { return s_.begin(); }
    const_iterator end() const noexcept { return s_.end(); }

    const std::string& str() const noexcept { return s_; }
    operator std::string_view() const noexcept { return s_; }  // NOLINT

    // The UTF-16 form; stops at a zero byte and keeps the units converted before a bad sequence.
    std::u16string utf16() const;
    // No normalised form is required by the file systems we run on.
    ustring fileSystemRepresentation() const { return *this; }

    // printf-style formatting with positional (%2$s) and sequential arguments.
    static ustring format(const char* fmt, ...);
    static ustring format(const char* fmt, va_list args);
    // Replaces the lowest-numbered placeholder %0..%9 with value.
    ustring arg(int value, int fieldWidth = 0, int base = 10, char fillChar = ' ') const;

    friend bool operator==(const ustring& a, const ustring& b) noexcept { return a.s_ == b.s_; }
    friend bool operator==(const ustring& a, const char* b) { return a.s_ == b; }
    // Byte-wise as unsigned bytes, the shorter first on a common prefix (std::string's order).
    friend std::strong_ordering operator<=>(const ustring& a, const ustring& b) noexcept {
        return a.s_.compare(b.s_) <=> 0;
    }

private:
    // Returns n, or throws std::length_error when n is beyond kMaxLength.
    static size_type checkLength(size_type n);
    [[noreturn]] static void throwTooLong();
    std::string s_;
};

ustring operator+(const ustring& a, const char* b);
ustring operator+(const ustring& a, const ustring& b);
ustring operator+(const char* a, const ustring& b);
ustring operator+(const ustring& a, char b);
// Writes the bytes up to the first zero byte.
std::ostream& operator<<(std::ostream& os, const ustring& s);

template <>
struct std::hash<ustring> {
    size_t operator()(const ustring& s) const noexcept { return std::hash<std::string>{}(s.str()); }
};
