// Every allocation made while reading each byte example fails in turn: the read ends with
// std::bad_alloc or the reader's own error, nothing leaks (LeakSanitizer in the asan build), and
// what the read leaves behind is whole: an empty message, a job that can still be written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "BJobFile.h"
#include "FailingAllocation.h"
#include "TestFolders.h"
#include "UKeyStream.h"
#include "hexcodec.h"
#include "keystream_walk.h"
#include "umessage.h"
#include "ustring_load.h"

namespace {

using fault::AllocationFailure;
using fault::ForEveryAllocation;

// The byte examples: seeds small enough that failing each of their allocations in turn stays
// cheap (the work grows with the square of the allocations); larger fuzzing finds are replayed
// whole by their own tests.
constexpr std::uintmax_t kLargestExample = 1024;

std::vector<std::string> Examples(const std::string& corpus) {
    std::vector<std::string> examples;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(VARNEL_FUZZ_CORPUS) + "/" + corpus)) {
        if (entry.file_size() > kLargestExample) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        examples.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return examples;
}

// One read with allocation n failing; returns whether the failure fired.
using Attempt = std::function<bool(const std::string& bytes, std::size_t n)>;

bool DecodeHex(const std::string& bytes, std::size_t n) {
    AllocationFailure failure(n);
    try {
        (void)vnu::HexDecode(bytes);
        (void)vnu::HexEncode(bytes);
    } catch (const std::bad_alloc&) {
    }
    return failure.stop();
}

bool Unflatten(const std::string& bytes, std::size_t n) {
    std::istringstream in(bytes);
    umessage message;
    bool ok = false;
    AllocationFailure failure(n);
    try {
        ok = message.unflatten(in);
    } catch (const std::bad_alloc&) {
    }
    const bool fired = failure.stop();
    // An allocation that failed cannot have gone unnoticed, and no partial message survives.
    EXPECT_FALSE(fired && ok) << "allocation " << n;
    if (!ok) {
        EXPECT_TRUE(message.empty()) << "allocation " << n;
    }
    return fired;
}

bool WalkKeyStream(const std::string& bytes, std::size_t n) {
    std::istringstream is(bytes);
    AllocationFailure failure(n);
    try {
        UKeyInStream in(is);
        fuzz_support::WalkKeyStream(in);
    } catch (const std::bad_alloc&) {
    } catch (const std::runtime_error& e) {
        if (!fuzz_support::IsKeyStreamError(e)) throw;
    }
    return failure.stop();
}

bool ReadJob(const std::string& bytes, std::size_t n, int flags) {
    std::istringstream in(bytes);
    BJobFile job;
    AllocationFailure failure(n);
    try {
        job.JobFileReadFromBuffer(in, flags);
    } catch (const std::bad_alloc&) {
    } catch (const std::runtime_error& e) {
        if (!fuzz_support::IsKeyStreamError(e)) throw;
    }
    const bool fired = failure.stop();
    // Whatever the read got to, the job's lists and records hold together.
    std::ostringstream out;
    job.JobFileWriteToBuffer(out, flags);
    std::istringstream back(out.str());
    BJobFile again;
    again.JobFileReadFromBuffer(back, flags);
    EXPECT_EQ(again.GetGroups().size(), job.GetGroups().size()) << "allocation " << n;
    return fired;
}

bool ParseStringTable(const std::string& bytes, std::size_t n) {
    std::istringstream in(bytes);
    vnu::flat_map<ustring, ustring> entries;
    AllocationFailure failure(n);
    try {
        parseStringTable(in, entries);
    } catch (const std::bad_alloc&) {
    } catch (const std::runtime_error&) {  // a syntax error, or an empty input
    }
    return failure.stop();
}

class AllocationFailureTest : public ::testing::Test {
protected:
    // Profile references resolve in the colour-profile folder below the data folder.
    AllocationFailureTest() { environment_.set("XDG_DATA_HOME", scratch_.path()); }

    testing_support::ScratchFolder scratch_;
    testing_support::ScopedEnvironment environment_;
    testing_support::CapturedLog log_;  // readers log what they refuse
};

TEST_F(AllocationFailureTest, EveryReaderEndsCleanlyWhereverAllocationFails) {
    const struct {
        const char* corpus;
        Attempt attempt;
    } readers[] = {
        {"hexcodec", DecodeHex},
        {"unflatten", Unflatten},
        {"keystream", WalkKeyStream},
        // The job-file seeds start with one byte that picks the fuzz target's flags.
        {"jobfile", [](const std::string& b, std::size_t n) { return ReadJob(b.substr(1), n, BJobFile::kFlagPlacement); }},
        {"jobfile", [](const std::string& b, std::size_t n) { return ReadJob(b.substr(1), n, BJobFile::kFlagFull); }},
        {"stringtable", ParseStringTable},
    };
    for (const auto& reader : readers) {
        std::size_t mostAllocations = 0;
        for (const std::string& bytes : Examples(reader.corpus)) {
            SCOPED_TRACE(std::string(reader.corpus) + ": " + testing::PrintToString(bytes.substr(0, 32)));
            mostAllocations = std::max(mostAllocations, ForEveryAllocation([&](std::size_t n) {
                                           return reader.attempt(bytes, n);
                                       }));
        }
        // The replacement operator new is in effect: every reader allocates for some example.
        EXPECT_GT(mostAllocations, 1u) << reader.corpus;
    }
}

}  // namespace
