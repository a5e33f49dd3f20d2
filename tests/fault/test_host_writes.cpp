// The files the host and the plug-in replace: a document, a PDF, the alias file of the Varnel
// application and the plug-in information file. A write that fails midway keeps the earlier file
// and leaves nothing beside it; a writer killed at any moment never leaves a file cut short.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <random>
#include <sstream>
#include <string>

#include "DocumentStore.h"
#include "FileSizeLimit.h"
#include "PdfExport.h"
#include "TestFolders.h"
#include "job/BJobFile.h"
#include "link/UMPluginUtils.h"

namespace {

using testing_support::CountEntries;
using testing_support::ReadFile;

// A document long enough that a write cut anywhere is told from a whole one, in JSON or as a PDF.
void WriteDocument(const std::string& path, int paths, bool pdf) {
    std::ostringstream log;
    vhost::DocumentStore store(log);
    vhost::Document& doc = store.create(595, 842, vhost::kColorModelCMYK);
    vhost::Art art;
    art.segments.resize(4);
    doc.art.assign(paths, art);
    if (pdf)
        vhost::writeDocumentPdf(doc, vhost::withTarget({}, path), log, "test");
    else
        store.save(doc, path);
}

// A plug-in information file with a run per page.
void WriteInfoFile(const std::string& path, int pages) {
    BJobFile job;
    job.SetPluginInfoFile(UFileSpecCore(ustring(path), nullptr));
    auto* range = new BPageRange();
    range->SetPageCount(pages);
    job.GetAbsolutePages().Insert(range);
    job.ExportPluginInfo();
}

// One kind of file: where it lives, and a writer of one of two versions of it (`which`, 1 the
// longer) that reports failure by throwing or by leaving the file alone.
struct Writer {
    const char* name;
    std::string path;
    std::function<void(int which)> write;
};

class HostWrites : public ::testing::Test {
protected:
    HostWrites() {
        environment_.set("XDG_DATA_HOME", folder_ / "data");
        environment_.set("HOME", folder_.path());
    }

    std::vector<Writer> Writers() const {
        const std::string apps[] = {folder_.write("apps/one/Varnel", "#!"),
                                    folder_.write("apps/a folder with a longer name/Varnel", "#!")};
        const std::string json = folder_.makeFolder("json") + "/job.json";
        const std::string pdf = folder_.makeFolder("pdf") + "/job.pdf";
        const std::string info = folder_.makeFolder("info") + "/job.info";
        return {
            {"document", json, [=](int which) { WriteDocument(json, which == 0 ? 10 : 100, false); }},
            {"PDF", pdf, [=](int which) { WriteDocument(pdf, which == 0 ? 10 : 100, true); }},
            {"alias file", folder_ / "data/Corvane/Varnel Plugin Cache",
             [=](int which) { UpdateVarnelAppAlias(UFileSpecCore(ustring(apps[which]), nullptr)); }},
            {"information file", info, [=](int which) { WriteInfoFile(info, which == 0 ? 10 : 1000); }},
        };
    }

    testing_support::ScratchFolder folder_;
    testing_support::ScopedEnvironment environment_;
};

TEST_F(HostWrites, AFailedWriteKeepsTheEarlierFile) {
    for (const Writer& writer : Writers()) {
        SCOPED_TRACE(writer.name);
        writer.write(1);
        const std::size_t newSize = ReadFile(writer.path).size();
        writer.write(0);
        const std::string earlier = ReadFile(writer.path);
        // The disk full from the start, halfway through the new file, one byte before its end.
        for (rlim_t limit : {rlim_t{0}, rlim_t{newSize / 2}, rlim_t{newSize - 1}}) {
            {
                fault::FileSizeLimit full(limit);
                try {
                    writer.write(1);
                } catch (const std::exception&) {  // the host reports it; the plug-in goes on
                }
            }
            EXPECT_EQ(ReadFile(writer.path), earlier) << limit;
            EXPECT_EQ(CountEntries(std::filesystem::path(writer.path).parent_path()), 1u) << limit;
        }
    }
}

TEST_F(HostWrites, AWriterKilledAnywhereLeavesAWholeFile) {
    std::mt19937 random(20240611);
    for (const Writer& writer : Writers()) {
        SCOPED_TRACE(writer.name);
        std::string versions[2];
        for (int which : {1, 0}) {
            writer.write(which);
            versions[which] = ReadFile(writer.path);
        }
        ASSERT_NE(versions[0].size(), versions[1].size());
        int seen[2] = {0, 0};
        for (int kill = 0; kill < 50; ++kill) {
            // The child reports each file it completed, so kills fall after a random number of
            // writes and at a random moment of the next.
            int done[2];
            ASSERT_EQ(::pipe(done), 0);
            const pid_t child = ::fork();
            if (child == 0) {
                try {
                    for (int which = 1;; which ^= 1) {
                        writer.write(which);
                        if (::write(done[1], "w", 1) != 1) break;
                    }
                } catch (...) {
                }
                ::_exit(1);
            }
            ::close(done[1]);
            char report;
            for (int writes = std::uniform_int_distribution<int>(0, 3)(random); writes > 0; --writes)
                if (::read(done[0], &report, 1) != 1) break;  // the child failed: the file shows it
            ::usleep(std::uniform_int_distribution<useconds_t>(0, 3000)(random));
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            ::close(done[0]);
            const std::string now = ReadFile(writer.path);
            ASSERT_TRUE(now == versions[0] || now == versions[1])
                << "after kill " << kill << ": " << now.size() << " bytes";
            ++seen[now == versions[1]];
        }
        // The writer got to replace the file between kills, not only to start.
        EXPECT_GT(seen[0], 0);
        EXPECT_GT(seen[1], 0);
        writer.write(0);  // and the next writer sweeps what the killed ones left
        EXPECT_EQ(CountEntries(std::filesystem::path(writer.path).parent_path()), 1u);
    }
}

}  // namespace
