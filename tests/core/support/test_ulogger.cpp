#include <gtest/gtest.h>
#include <pthread.h>

#include <regex>
#include <sstream>
#include <string>

#include "support/ulogger.h"

namespace {

std::string threadField() {
    std::ostringstream os;
    os << reinterpret_cast<const void*>(pthread_self());
    return "[" + os.str() + "]";
}

std::string dumped(const vnu::LogEvent& event) {
    std::ostringstream os;
    event.dump(os);
    return os.str();
}

// The items part of a dumped line: what follows the first space.
std::string items(const vnu::LogEvent& event) {
    const std::string line = dumped(event);
    EXPECT_EQ(line.back(), '\n');
    return line.substr(line.find(' ') + 1, line.size() - line.find(' ') - 2);
}

TEST(LogLine, LevelAndLocationFields) {
    // After the time field; '#' stands for the thread field. Unknown levels write nothing.
    const struct {
        unsigned level;
        const char *file, *function, *fields;
    } cases[] = {
        {1, "/a/b/reader", "load", "[FAULT]#[reader:load:7] x"},
        {2, "reader", "load", "[ERROR]#[reader:load:7] x"},
        {4, "/a/b/reader", nullptr, "[WARN]#[reader:7] x"},
        {8, nullptr, "load", "[INFO]#[load] x"},
        {16, nullptr, nullptr, "[DEBUG]# x"},
        {32, "f", "g", "[TRACE]#[f:g:7] x"},
        {64, "f", "g", ""},
    };
    const std::regex time(R"(\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\])");
    for (const auto& c : cases) {
        vnu::LogEvent event(static_cast<vnu::loglevel>(c.level), c.file, 7, c.function);
        event << "x";
        std::string expected = c.fields;
        if (!expected.empty()) expected.replace(expected.find('#'), 1, threadField()) += "\n";
        const std::string line = dumped(event);
        EXPECT_EQ(line.empty() ? line : line.substr(21), expected) << c.level;
        EXPECT_TRUE(line.empty() || std::regex_match(line.substr(0, 21), time)) << line;
    }
}

TEST(LogLine, ItemsAreWrittenBackToBackInAnyLength) {
    vnu::LogEvent event(vnu::loglevel::debug, "f", 1, "g");
    event << true << -5 << false << static_cast<short>(-3) << static_cast<unsigned short>(65535) << 7u << -8L
          << 9UL << -10LL << 11ULL << 0.5 << 1e20 << "|a\nb\n"
          << ustring("cd\0ef", 5) << 255 << ustring("\n");
    // Line feeds are escaped, so the event stays one line; a ustring is cut at its zero byte.
    EXPECT_EQ(items(event), "true-5false-3655357-89-10110.51e+20|a\\nb\\ncd255\\n");

    // Past the inner buffer's 128 bytes, and past twice the heap's first size at once.
    vnu::LogEvent grown(vnu::loglevel::info, "f", 1, "g");
    const std::string text(126, 'a'), longText(400, 'b');
    grown << text.c_str() << 42 << longText.c_str() << true;
    EXPECT_EQ(items(grown), text + "42" + longText + "true");
}

// VARNEL_LOG names the lowest level shown; faults always show.
TEST(LogLevel, StartUpMaskFromTheVariable) {
    const struct {
        const char* value;
        unsigned shown;  // the mask of the levels shown: fault 1, error 2, warn 4, info 8, debug 16
        bool warned;
    } cases[] = {
        {nullptr, 15, false}, {"", 15, false},      {"error", 3, false},  {"warn", 7, false},
        {"info", 15, false},  {"debug", 31, false}, {"DEBUG", 31, false}, {"Warn", 7, false},
        {"trace", 15, true},  {"debugx", 15, true}, {"deb", 15, true},    {"error\n", 15, true},
        {"3", 15, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "unset");
        std::ostringstream warnings;
        EXPECT_EQ(vnu::startupLogMask(c.value, warnings), c.shown);
        if (!c.warned) {
            EXPECT_EQ(warnings.str(), "");
            continue;
        }
        // One line, in the log's own form, the value's line feed escaped.
        std::string value = c.value;
        for (size_t at; (at = value.find('\n')) != std::string::npos;) value.replace(at, 1, "\\n");
        EXPECT_EQ(warnings.str().substr(21), "[WARN]" + threadField() + "[VARNEL_LOG] unknown level \"" +
                                                 value +
                                                 "\" (error, warn, info or debug): logging info and above\n");
    }
}

}  // namespace
