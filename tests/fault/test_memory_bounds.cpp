// Memory bounded by input: each reader, given the legal inputs that cost it the most memory per
// byte, keeps the process within 16 times the input's size (4 times for a job, whose ticket is
// read as an image) and 16 MiB beyond what a tiny input of its kind costs, and refuses what would
// take more, naming what there is too much of and the input's size. Measured in a child process
// (memory_probe) by its peak resident memory.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "DocumentJson.h"
#include "ShapedInputs.h"
#include "TestFolders.h"

namespace {

struct Probe {
    std::string outcome;  // "ok", or the error that ended the read
    std::string log;
    long peakKiB = -1;
};

Probe RunProbe(const std::string& reader, const std::string& input) {
    testing_support::ScratchFolder folder;
    const std::string file = folder.write("input", input);
    FILE* pipe = ::popen((std::string(MEMORY_PROBE) + " " + reader + " " + file).c_str(), "r");
    if (pipe == nullptr) return {};
    std::string text;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
    ::pclose(pipe);
    Probe probe;
    std::istringstream lines(text);
    std::getline(lines, probe.outcome);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("VmHWM ", 0) == 0)
            probe.peakKiB = std::stol(line.substr(6));
        else
            probe.log += line + "\n";
    }
    return probe;
}

// What the reader's program costs with next to nothing to read.
long BaselineKiB(const std::string& reader) {
    static std::map<std::string, long> known;
    static const std::map<std::string, std::string> tiny = {
        {"message", shaped::EmptyMessages(1)},
        {"job", shaped::EmptyDestinations(1)},
        {"strings", shaped::StringTable(1)},
        {"document", shaped::Document(shaped::kTinyArt, 1)},
    };
    if (!known.contains(reader)) known[reader] = RunProbe(reader, tiny.at(reader)).peakKiB;
    return known[reader];
}

struct Case {
    const char* reader;
    const char* shape;
    std::function<std::string()> input;
    const char* refusal;  // what the error or log names; null when the input is read
};

TEST(MemoryBound, EveryReaderStaysWithinAFixedMultipleOfItsInput) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's redzones and quarantine are memory of its own";
#endif
    testing_support::ScratchFolder data;
    testing_support::ScopedEnvironment environment;
    environment.set("XDG_DATA_HOME", data.path());
    using namespace shaped;
    const Case cases[] = {
        {"message", "empty nested messages of four bytes", [] { return EmptyMessages(2000000); },
         "too many nested messages"},
        {"message", "empty nested messages of one byte", [] { return EmptyMessages(8000000, 4); },
         "too many "},
        {"message", "a tree of nested messages", [] { return NestedTree(20); }, "too many "},
        {"message", "one-value arrays", [] { return OneValueArrays(1000000); }, "too many "},
        {"message", "a long name in every entry",
         [] { return OneValueArrays(100000, std::string(1000, 'n')); }, "too many "},
        {"message", "a long string as every value", [] { return RepeatedString(100000, 1000); },
         "too many values"},
        {"message", "a million names", [] { return ManyNames(1000000); }, nullptr},
        {"job", "a ticket of empty nested messages of four bytes",
         [] { return TicketReply(EmptyMessages(2000000)); }, nullptr},
        {"job", "a ticket of empty nested messages of one byte",
         [] { return TicketReply(EmptyMessages(12000000, 4)); }, "too many nested messages"},
        {"job", "a ticket of a tree of nested messages", [] { return TicketReply(NestedTree(20)); }, nullptr},
        {"job", "a ticket of one-value arrays", [] { return TicketReply(OneValueArrays(1000000)); }, nullptr},
        {"job", "empty destinations", [] { return EmptyDestinations(1000000); }, "too many destinations"},
        {"job", "empty groups", [] { return EmptyGroups(1000000); }, "too many groups"},
        {"job", "empty page ranges", [] { return EmptyPageRanges(4000000); }, "too many page ranges"},
        {"job", "empty exported destinations", [] { return EmptyExportedDestinations(4000000); },
         "too many exported destinations"},
        {"job", "tiny comments", [] { return TinyComments(1000000); }, "too many comments"},
        {"job", "settings records", [] { return TicketReply(SettingsRecords(30000)); },
         "too many check settings"},
        {"strings", "tiny entries, last first", [] { return StringTable(2000000, true); },
         "too many entries"},
        // The host reads a document straight into its objects: what is not art is refused at once.
        {"document", "empty arrays", [] { return Document("[]", 1000000); }, "expected an object"},
        {"document", "flags", [] { return Document(ArtWithFlags(300000), 1); }, nullptr},
        {"document", "tiny art objects", [] { return Document(kTinyArt, 100000); }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.reader) + ": " + c.shape);
        const std::string input = c.input();
        const Probe probe = RunProbe(c.reader, input);
        ASSERT_GT(probe.peakKiB, 0) << probe.outcome;
        const std::size_t factor = std::string(c.reader) == "job" ? 4 : 16;
        const long allowedKiB = static_cast<long>((factor * input.size() + (16 << 20)) / 1024);
        EXPECT_LE(probe.peakKiB - BaselineKiB(c.reader), allowedKiB);
        if (c.refusal == nullptr) {
            EXPECT_EQ(probe.outcome, "ok") << probe.log;
            continue;
        }
        // A message's reader logs why it failed, as does a job's when its ticket is too large.
        const std::string reason = probe.outcome + "\n" + probe.log;
        EXPECT_NE(reason.find(c.refusal), std::string::npos) << reason;
        // Refused for its size, it says how large it is.
        if (std::string(c.refusal).starts_with("too many")) {
            const std::string of = std::string(c.reader) == "document" ? " for a file of " : " for an input of ";
            EXPECT_NE(reason.find(of + std::to_string(input.size()) + " bytes"), std::string::npos) << reason;
        }
    }
}

// The host builds a document's tree itself, to charge it as it goes: the tree is the one
// json::parse makes, for the documents of the fuzz corpus and for values of every kind.
TEST(MemoryBound, DocumentTreesAreTheParsersOwn) {
    std::vector<std::string> texts = {
        R"({"a": [1, -2, 18446744073709551615, 3.5e300, true, null, "\u00e9", {"b": {}}, []],
                                          "a": 2, "c": {"a": 1, "a": [[], {}]}})",
        "[]",
        "7",
        R"("s")",
        "[1,]",
        R"({"a" 1})",
        "[1] 2",
        ""};
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(VARNEL_FUZZ_CORPUS) + "/document"))
        texts.push_back(testing_support::ReadFile(entry.path()));
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(0, 60));
        nlohmann::json expected;
        std::string expectedError;
        try {
            expected = nlohmann::json::parse(text);
        } catch (const nlohmann::json::exception& e) {
            expectedError = e.what();
        }
        try {
            EXPECT_EQ(vhost::parseJson(text, "t"), expected);
            EXPECT_EQ(expectedError, "");
        } catch (const std::runtime_error& e) {
            // The nesting limit is the host's own.
            if (std::string(e.what()).find("nesting deeper") != std::string::npos) continue;
            EXPECT_NE(expectedError, "") << e.what();
            EXPECT_NE(expectedError.find(std::string(e.what()).substr(3)), std::string::npos) << e.what();
        }
    }
}

}  // namespace
