#include "support/ulogger.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <utility>

namespace vnu {

namespace {

enum Tag : unsigned char {
    kText = 0,
    kBool,
    kShort,
    kUShort,
    kInt,
    kUInt,
    kLong,
    kULong,
    kLongLong,
    kULongLong,
    kDouble,
};

const char* levelWord(loglevel level) {
    switch (level) {
        case loglevel::fault: return "FAULT";
        case loglevel::error: return "ERROR";
        case loglevel::warn: return "WARN";
        case loglevel::info: return "INFO";
        case loglevel::debug: return "DEBUG";
        case loglevel::trace: return "TRACE";
    }
    return nullptr;
}

// Writes the number stored at p and returns the byte after it.
template <typename T>
const unsigned char* writeNumber(std::ostream& os, const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    os << v;
    return p + sizeof v;
}

}  // namespace

std::optional<loglevel> logLevelNamed(std::string_view name) {
    static constexpr std::pair<std::string_view, loglevel> kNames[] = {
        {"error", loglevel::error},
        {"warn", loglevel::warn},
        {"info", loglevel::info},
        {"debug", loglevel::debug},
    };
    for (const auto& [word, level] : kNames) {
        if (std::equal(name.begin(), name.end(), word.begin(), word.end(),
                       [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; }))
            return level;
    }
    return std::nullopt;
}

unsigned startupLogMask(const char* value, std::ostream& warnings) {
    constexpr unsigned kDefault = logMaskDownTo(loglevel::info);
    if (value == nullptr || *value == '\0') return kDefault;
    if (const auto level = logLevelNamed(value)) return logMaskDownTo(*level);
    LogEvent event(loglevel::warn, nullptr, 0, "VARNEL_LOG");
    event << "unknown level \"" << value << "\" (error, warn, info or debug): logging info and above";
    event.dump(warnings);
    return kDefault;
}

// Defined after the function it calls at start-up; <iostream> above has set std::clog up.
Logger<127> logger(&std::clog, startupLogMask(std::getenv("VARNEL_LOG"), std::clog));

LogEvent::LogEvent(loglevel level, const char* file, int line, const char* function)
    : level_(level),
      file_(file),
      line_(line),
      function_(function),
      time_(::time(nullptr)),
      thread_(pthread_self()) {}

void LogEvent::append(unsigned char tag, const void* data, unsigned size) {
    const unsigned need = used_ + 1 + size;
    if (capacity_ < need) {
        const unsigned grown = std::max(capacity_ * 2, need);
        auto fresh = std::make_unique<unsigned char[]>(grown);
        std::memcpy(fresh.get(), buffer(), used_);
        heap_ = std::move(fresh);
        capacity_ = grown;
    }
    unsigned char* out = const_cast<unsigned char*>(buffer()) + used_;
    out[0] = tag;
    if (size != 0) std::memcpy(out + 1, data, size);
    used_ = need;
}

LogEvent& LogEvent::operator<<(const char* text) {
    append(kText, text, static_cast<unsigned>(std::strlen(text) + 1));
    return *this;
}

LogEvent& LogEvent::operator<<(const ustring& text) {
    // Only up to the first zero byte: dump finds a text's end by its zero, so bytes after an
    // inner zero would be read as further items.
    append(kText, text.c_str(), static_cast<unsigned>(std::strlen(text.c_str()) + 1));
    return *this;
}

LogEvent& LogEvent::operator<<(bool value) {
    const unsigned char b = value ? 1 : 0;
    append(kBool, &b, 1);
    return *this;
}

#define VN_LOG_EVENT_SCALAR(T, tag)           \
    LogEvent& LogEvent::operator<<(T value) { \
        append(tag, &value, sizeof value);    \
        return *this;                         \
    }
VN_LOG_EVENT_SCALAR(short, kShort)
VN_LOG_EVENT_SCALAR(unsigned short, kUShort)
VN_LOG_EVENT_SCALAR(int, kInt)
VN_LOG_EVENT_SCALAR(unsigned int, kUInt)
VN_LOG_EVENT_SCALAR(long, kLong)
VN_LOG_EVENT_SCALAR(unsigned long, kULong)
VN_LOG_EVENT_SCALAR(long long, kLongLong)
VN_LOG_EVENT_SCALAR(unsigned long long, kULongLong)
VN_LOG_EVENT_SCALAR(double, kDouble)
#undef VN_LOG_EVENT_SCALAR

void LogEvent::dump(std::ostream& os) const {
    const char* word = levelWord(level_);
    if (word == nullptr) return;

    struct tm local {};
    localtime_r(&time_, &local);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    os << '[' << stamp << "][" << word << "][" << reinterpret_cast<const void*>(thread_) << ']';

    if (file_ != nullptr) {
        const char* slash = std::strrchr(file_, '/');
        os << '[' << (slash != nullptr ? slash + 1 : file_) << ':';
        if (function_ != nullptr) os << function_ << ':';
        os << line_ << ']';
    } else if (function_ != nullptr) {
        os << '[' << function_ << ']';
    }
    os << ' ';

    const unsigned char* p = buffer();
    const unsigned char* const end = p + used_;
    while (p < end) {
        const unsigned char tag = *p++;
        switch (tag) {
            case kText: {
                const unsigned char* text = p;
                while (*p != 0) ++p;
                for (const unsigned char* c = text; c != p; ++c) {
                    if (*c == '\n')
                        os << "\\n";
                    else
                        os << static_cast<char>(*c);
                }
                ++p;  // the terminating zero
                break;
            }
            case kBool: os << (*p++ != 0 ? "true" : "false"); break;
            case kShort: p = writeNumber<short>(os, p); break;
            case kUShort: p = writeNumber<unsigned short>(os, p); break;
            case kInt: p = writeNumber<int>(os, p); break;
            case kUInt: p = writeNumber<unsigned int>(os, p); break;
            case kLong: p = writeNumber<long>(os, p); break;
            case kULong: p = writeNumber<unsigned long>(os, p); break;
            case kLongLong: p = writeNumber<long long>(os, p); break;
            case kULongLong: p = writeNumber<unsigned long long>(os, p); break;
            case kDouble: p = writeNumber<double>(os, p); break;
            default: break;  // an unknown tag carries no data of its own
        }
    }
    os << '\n';
}

LoggerBase::~LoggerBase() {
    if (out_ != nullptr) out_->flush();
}

void LoggerBase::operator==(LogEvent& event) const {
    if (out_ != nullptr) event.dump(*out_);
}

}  // namespace vnu
