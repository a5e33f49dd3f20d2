#include <gtest/gtest.h>
#include <pthread.h>

#include <ctime>
#include <regex>
#include <sstream>
#include <string>

#include "ulogger.h"

namespace {

std::string localTime(time_t t) {
    struct tm local {};
    localtime_r(&t, &local);
    char text[64];
    std::strftime(text, sizeof text, "[%Y-%m-%dT%H:%M:%S]", &local);
    return text;
}

std::string threadField() {
    std::ostringstream os;
    os << reinterpret_cast<const void*>(pthread_self());
    return os.str();
}

std::string dumped(const vnu::LogEvent& event) {
    std::ostringstream os;
    event.dump(os);
    return os.str();
}

// The items part of a dumped line: what follows the first space.
std::string items(const vnu::LogEvent& event) {
    const std::string line = dumped(event);
    const size_t space = line.find(' ');
    EXPECT_NE(space, std::string::npos);
    EXPECT_EQ(line.back(), '\n');
    return line.substr(space + 1, line.size() - space - 2);
}

TEST(LogLine, FieldsInOrder) {
    const time_t before = time(nullptr);
    vnu::LogEvent event(vnu::loglevel::error, "/work/src/reader", 12, "load");
    const time_t after = time(nullptr);
    event << "x";
    const std::string line = dumped(event);
    ASSERT_TRUE(std::regex_match(line, std::regex(R"(\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\]\[ERROR\][^\n]*\n)")))
        << line;
    // The time field is the local time when the event was made (the clock may tick meanwhile).
    const std::string rest = "[ERROR][" + threadField() + "][reader:load:12] x\n";
    EXPECT_TRUE(line == localTime(before) + rest || line == localTime(after) + rest) << line;
}

TEST(LogLine, LevelWordsAndUnknownLevels) {
    const std::pair<unsigned, const char*> words[] = {{1, "[FAULT]"}, {2, "[ERROR]"},  {4, "[WARN]"},
                                                      {8, "[INFO]"},  {16, "[DEBUG]"}, {32, "[TRACE]"}};
    for (const auto& [level, word] : words) {
        vnu::LogEvent event(static_cast<vnu::loglevel>(level), "f", 1, "g");
        const std::string line = dumped(event);
        EXPECT_EQ(line.substr(21, std::string(word).size()), word) << line;
    }
    for (unsigned level : {0u, 3u, 64u, 128u}) {
        vnu::LogEvent event(static_cast<vnu::loglevel>(level), "f", 1, "g");
        event << "text";
        EXPECT_EQ(dumped(event), "") << level;
    }
}

TEST(LogLine, LocationField) {
    struct Case {
        const char* file;
        const char* function;
        const char* location;
    };
    const Case cases[] = {{"/a/b/reader", "load", "[reader:load:7] "},
                          {"reader", "load", "[reader:load:7] "},
                          {"/a/b/reader", nullptr, "[reader:7] "},
                          {nullptr, "load", "[load] "},
                          {nullptr, nullptr, " "},
                          {"libs/utils/UFileSpecCore", "fopen", "[UFileSpecCore:fopen:7] "}};
    for (const Case& c : cases) {
        vnu::LogEvent event(vnu::loglevel::info, c.file, 7, c.function);
        const std::string line = dumped(event);
        EXPECT_EQ(line.substr(21), "[INFO][" + threadField() + "]" + c.location + "\n");
    }
}

TEST(LogLine, ItemsAreWrittenBackToBack) {
    vnu::LogEvent event(vnu::loglevel::debug, "f", 1, "g");
    event << true << -5 << false << static_cast<short>(-3) << static_cast<unsigned short>(65535) << 7u << -8L
          << 9UL << -10LL << 11ULL << 0.5 << 1e20 << "|a\nb\n"
          << ustring("cd\0ef", 5) << 7 << ustring("\n");
    // Line feeds are escaped, so the event stays one line; a ustring is cut at its zero byte.
    EXPECT_EQ(items(event), "true-5false-3655357-89-10110.51e+20|a\\nb\\ncd7\\n");
    const std::string line = dumped(event);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
}

TEST(LogLine, NumbersUseTheStreamsFormatting) {
    vnu::LogEvent event(vnu::loglevel::info, "f", 1, "g");
    event << 255 << " " << 0.25;
    std::ostringstream os;
    os << std::hex << std::scientific;
    event.dump(os);
    EXPECT_NE(os.str().find(" ff 2.500000e-01\n"), std::string::npos) << os.str();
}

TEST(LogEvent, InnerBufferThenHeap) {
    vnu::LogEvent event(vnu::loglevel::info, "f", 1, "g");
    const std::string text(126, 'a');  // tag + 126 bytes + zero = 128
    event << text.c_str();
    EXPECT_EQ(event.used(), 128u);
    EXPECT_EQ(event.capacity(), 128u);
    EXPECT_FALSE(event.onHeap());

    event << 42;
    EXPECT_TRUE(event.onHeap());
    EXPECT_EQ(event.capacity(), 256u);
    EXPECT_EQ(event.used(), 133u);
    EXPECT_EQ(items(event), text + "42");

    const std::string longText(400, 'b');  // needs 133 + 402 bytes, more than twice 256
    event << longText.c_str();
    EXPECT_EQ(event.capacity(), 535u);
    event << true;
    EXPECT_EQ(event.capacity(), 1070u);
    EXPECT_EQ(items(event), text + "42" + longText + "true");
}

// Routes vnu::logger to a string for the duration of a test.
class CapturedLogger : public testing::Test {
protected:
    void SetUp() override {
        savedStream_ = vnu::logger.stream();
        savedMask_ = vnu::logger.mask;
        vnu::logger.setStream(&out_);
    }
    void TearDown() override {
        vnu::logger.setStream(savedStream_);
        vnu::logger.mask = savedMask_;
    }
    std::ostringstream out_;

private:
    std::ostream* savedStream_ = nullptr;
    unsigned savedMask_ = 0;
};

int countCalls(int& calls) {
    return ++calls;
}

TEST_F(CapturedLogger, MaskedLevelEvaluatesNothing) {
    EXPECT_EQ(vnu::logger.mask, 127u);
    int calls = 0;
    vnu::logger.mask = 127u & ~16u;
    VN_LOG_DEBUG("never " << countCalls(calls));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(out_.str(), "");

    VN_LOG_ERROR("once " << countCalls(calls));
    EXPECT_EQ(calls, 1);
    vnu::logger.mask = 0;
    VN_LOG_FAULT(countCalls(calls));
    EXPECT_EQ(calls, 1);
    EXPECT_NE(out_.str().find("[ERROR]"), std::string::npos);
    EXPECT_NE(out_.str().find("] once 1\n"), std::string::npos);
}

TEST_F(CapturedLogger, MacrosFillTheLocation) {
    const int line = __LINE__ + 1;
    VN_LOG_INFO("here");
    VN_LOG_FN(vnu::loglevel::warn, "~ActionReleaser", "labelled");
    VN_LOG_AT(vnu::loglevel::debug, "libs/utils/UFileSpecCore", 1042, "fopen", "fixed " << 3);

    std::istringstream lines(out_.str());
    std::string first, second, third, extra;
    std::getline(lines, first);
    std::getline(lines, second);
    std::getline(lines, third);
    EXPECT_FALSE(std::getline(lines, extra));
    const std::string thread = "[" + threadField() + "]";
    EXPECT_EQ(first.substr(21),
              "[INFO]" + thread + "[test_ulogger.cpp:TestBody:" + std::to_string(line) + "] here");
    EXPECT_EQ(second.substr(21), "[WARN]" + thread + "[test_ulogger.cpp:~ActionReleaser:" +
                                     std::to_string(line + 1) + "] labelled");
    EXPECT_EQ(third.substr(21), "[DEBUG]" + thread + "[UFileSpecCore:fopen:1042] fixed 3");
}

}  // namespace
