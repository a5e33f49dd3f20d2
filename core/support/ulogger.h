// One text line per event on the process's log stream.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <ctime>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string_view>

#include "text/ustring.h"

namespace vnu {

enum class loglevel : unsigned { fault = 1, error = 2, warn = 4, info = 8, debug = 16, trace = 32 };

// The mask of `lowest` and every level above it.
constexpr unsigned logMaskDownTo(loglevel lowest) {
    return static_cast<unsigned>(lowest) * 2 - 1;
}
// "error", "warn", "info" or "debug" in any case; nothing for another word.
std::optional<loglevel> logLevelNamed(std::string_view name);
// The mask a process starts with for VARNEL_LOG's `value`: info and above when it is unset or
// empty, or when it names no level, which is said in a WARN line on `warnings`.
unsigned startupLogMask(const char* value, std::ostream& warnings);

// One event: values are stored in binary as tagged items and formatted only when written.
class LogEvent {
public:
    static constexpr unsigned kInnerSize = 128;

    LogEvent(loglevel level, const char* file, int line, const char* function);
    LogEvent(const LogEvent&) = delete;
    LogEvent& operator=(const LogEvent&) = delete;

    LogEvent& operator<<(const char* text);
    LogEvent& operator<<(const ustring& text);
    LogEvent& operator<<(bool value);
    LogEvent& operator<<(short value);
    LogEvent& operator<<(unsigned short value);
    LogEvent& operator<<(int value);
    LogEvent& operator<<(unsigned int value);
    LogEvent& operator<<(long value);
    LogEvent& operator<<(unsigned long value);
    LogEvent& operator<<(long long value);
    LogEvent& operator<<(unsigned long long value);
    LogEvent& operator<<(double value);

    void dump(std::ostream& os) const;

    loglevel level() const { return level_; }
    unsigned capacity() const { return capacity_; }
    unsigned used() const { return used_; }
    bool onHeap() const { return heap_ != nullptr; }

private:
    void append(unsigned char tag, const void* data, unsigned size);
    const unsigned char* buffer() const { return capacity_ <= kInnerSize ? inner_ : heap_.get(); }

    loglevel level_;
    const char* file_;
    int line_;
    const char* function_;
    time_t time_;
    pthread_t thread_;
    unsigned char inner_[kInnerSize];
    unsigned capacity_ = kInnerSize;
    unsigned used_ = 0;
    std::unique_ptr<unsigned char[]> heap_;
};

class LoggerBase {
public:
    explicit LoggerBase(std::ostream* out) : out_(out) {}
    virtual ~LoggerBase();
    // The emit operation of the logging pattern: writes the event at once; compares nothing.
    void operator==(LogEvent& event) const;
    std::ostream* stream() const { return out_; }
    void setStream(std::ostream* out) { out_ = out; }

private:
    std::ostream* out_;
};

template <unsigned InitialMask>
class Logger : public LoggerBase {
public:
    explicit Logger(std::ostream* out) : LoggerBase(out) {}
    Logger(std::ostream* out, unsigned startMask) : LoggerBase(out), mask(startMask) {}
    bool enabled(loglevel level) const { return (mask & static_cast<unsigned>(level)) != 0; }
    unsigned mask = InitialMask;
};

// Starts at the level VARNEL_LOG names: a plug-in module's own copy of the core follows the
// same variable as the program that loads it.
extern Logger<127> logger;

}  // namespace vnu

// Tests the level before anything is built or evaluated; `items` is a chain such as a << b << c.
#define VN_LOG_AT(level, file, line, func, items)                           \
    do {                                                                    \
        if (::vnu::logger.enabled(level)) {                                 \
            ::vnu::LogEvent vn_log_event_((level), (file), (line), (func)); \
            vn_log_event_ << items;                                         \
            ::vnu::logger == vn_log_event_;                                 \
        }                                                                   \
    } while (0)
#define VN_LOG(level, items) VN_LOG_AT(level, __FILE__, __LINE__, __func__, items)
// For call sites whose log lines carry a function label other than the enclosing function.
#define VN_LOG_FN(level, func, items) VN_LOG_AT(level, __FILE__, __LINE__, func, items)
#define VN_LOG_FAULT(items) VN_LOG(::vnu::loglevel::fault, items)
#define VN_LOG_ERROR(items) VN_LOG(::vnu::loglevel::error, items)
#define VN_LOG_WARN(items) VN_LOG(::vnu::loglevel::warn, items)
#define VN_LOG_INFO(items) VN_LOG(::vnu::loglevel::info, items)
#define VN_LOG_DEBUG(items) VN_LOG(::vnu::loglevel::debug, items)
#define VN_LOG_TRACE(items) VN_LOG(::vnu::loglevel::trace, items)
