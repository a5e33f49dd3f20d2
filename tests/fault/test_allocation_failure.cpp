// Every allocation made while reading each byte example fails in turn: the read ends with
// std::bad_alloc or the reader's own error, nothing leaks (LeakSanitizer in the asan build), and
// what the read leaves behind is whole: an empty message, a job that can still be written.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "FailingAllocation.h"
#include "TestFolders.h"
#include "job/BJobFile.h"
#include "keystream/UKeyStream.h"
#include "keystream_walk.h"
#include "message/umessage.h"
#include "support/hexcodec.h"
#include "text/ustring_load.h"

namespace {

// The byte examples: seeds small enough that failing each of their allocations in turn stays
// cheap (the work grows with the square of the allocations); larger fuzzing finds are replayed
// whole by their own tests.
std::vector<std::string> Examples(const std::string& corpus) {
    std::vector<std::string> examples;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(VARNEL_FUZZ_CORPUS) + "/" + corpus))
        if (entry.file_size() <= 1024) examples.push_back(testing_support::ReadFile(entry.path()));
    return examples;
}

// Runs `read` with allocation n failing; whether the failure fired. The read may end with
// std::bad_alloc or its reader's own error: a key stream's, or with `anyError` any.
bool FailingAt(std::size_t n, const std::function<void()>& read, bool anyError = false) {
    fault::AllocationFailure failure(n);
    try {
        read();
    } catch (const std::bad_alloc&) {
    } catch (const std::runtime_error& e) {
        if (!anyError && !fuzz_support::IsKeyStreamError(e)) throw;
    }
    return failure.stop();
}

bool Unflatten(const std::string& bytes, std::size_t n) {
    std::istringstream in(bytes);
    umessage message;
    bool ok = false;
    const bool fired = FailingAt(n, [&] { ok = message.unflatten(in); });
    // An allocation that failed cannot have gone unnoticed, and no partial message survives.
    EXPECT_FALSE(fired && ok) << "allocation " << n;
    EXPECT_TRUE(ok || message.empty()) << "allocation " << n;
    return fired;
}

// The job-file seeds start with one byte that picks the fuzz target's flags; here all read in full.
bool ReadJob(const std::string& bytes, std::size_t n) {
    const int flags = BJobFile::kFlagFull;
    std::istringstream in(bytes.substr(1));
    BJobFile job;
    const bool fired = FailingAt(n, [&] { job.JobFileReadFromBuffer(in, flags); });
    // Whatever the read got to, the job's lists and records hold together.
    std::ostringstream out;
    job.JobFileWriteToBuffer(out, flags);
    std::istringstream back(out.str());
    BJobFile again;
    again.JobFileReadFromBuffer(back, flags);
    EXPECT_EQ(again.GetGroups().size(), job.GetGroups().size()) << "allocation " << n;
    return fired;
}

TEST(AllocationFailure, EveryReaderEndsCleanlyWhereverAllocationFails) {
    testing_support::ScratchFolder scratch;
    testing_support::ScopedEnvironment environment;
    // Profile references resolve in the colour-profile folder below the data folder.
    environment.set("XDG_DATA_HOME", scratch.path());
    testing_support::CapturedLog log;  // readers log what they refuse
    const struct {
        const char* corpus;
        std::function<bool(const std::string& bytes, std::size_t n)> attempt;
    } readers[] = {
        {"hexcodec",
         [](auto& bytes, auto n) { return FailingAt(n, [&] { vnu::HexEncode(vnu::HexDecode(bytes)); }); }},
        {"unflatten", Unflatten},
        {"keystream",
         [](auto& bytes, auto n) {
             std::istringstream is(bytes);
             return FailingAt(n, [&] {
                 UKeyInStream in(is);
                 fuzz_support::WalkKeyStream(in);
             });
         }},
        {"jobfile", ReadJob},
        {"stringtable",
         [](auto& bytes, auto n) {
             std::istringstream in(bytes);
             vnu::flat_map<ustring, ustring> entries;
             return FailingAt(
                 n, [&] { parseStringTable(in, entries); }, true);  // syntax errors too
         }},
    };
    for (const auto& reader : readers) {
        std::size_t mostAllocations = 0;
        for (const std::string& bytes : Examples(reader.corpus)) {
            SCOPED_TRACE(std::string(reader.corpus) + ": " + testing::PrintToString(bytes.substr(0, 32)));
            // Allocation n fails, for n = 1, 2, ... until the read ends with fewer allocations.
            std::size_t n = 1;
            while (reader.attempt(bytes, n)) ++n;
            mostAllocations = std::max(mostAllocations, n);
        }
        // The replacement operator new is in effect: every reader allocates for some example.
        EXPECT_GT(mostAllocations, 1u) << reader.corpus;
    }
}

}  // namespace
