// The files the host and the plug-in replace: a document, a PDF and the alias file of the Varnel
// application. A write that fails midway keeps the earlier file and leaves nothing beside it; a
// writer killed at any moment never leaves a file cut short.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <sstream>
#include <string>

#include "Aliases.h"
#include "DocumentJson.h"
#include "DocumentStore.h"
#include "FileSizeLimit.h"
#include "PdfExport.h"
#include "TestFolders.h"
#include "UMPluginUtils.h"

namespace {

using testing_support::ScratchFolder;

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::size_t Entries(const std::string& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

// A document whose text is long enough that a write cut anywhere is told from a whole one.
vhost::Document& LargeDocument(vhost::DocumentStore& store, int paths) {
    vhost::Document& doc = store.create(595, 842, vhost::kColorModelCMYK);
    for (int i = 0; i < paths; ++i) {
        vhost::Art art;
        art.segments.resize(4);
        for (int k = 0; k < 4; ++k) art.segments[k].p = {AIReal(i), AIReal(k)};
        doc.art.push_back(art);
    }
    return doc;
}

// One kind of file: where it lives in `folder`, and a writer of a new version of it (`which`
// picks one of two versions) that reports failure by throwing or by leaving the file alone.
struct Writer {
    const char* name;
    std::function<std::string(const ScratchFolder& folder)> path;
    std::function<void(const std::string& path, int which)> write;
};

class HostWrites : public ::testing::Test {
protected:
    HostWrites() {
        environment_.set("XDG_DATA_HOME", folder_ / "data");
        environment_.set("HOME", folder_.path());
        apps_[0] = folder_.write("apps/one/Varnel", "#!");
        apps_[1] = folder_.write("apps/a folder with a longer name/Varnel", "#!");
    }

    std::vector<Writer> Writers() {
        return {
            {"document", [](const ScratchFolder& f) { return f.makeFolder("document") + "/job.json"; },
             [this](const std::string& path, int which) {
                 std::ostringstream log;
                 vhost::DocumentStore store(log);
                 store.save(LargeDocument(store, which == 0 ? 10 : 100), path);
             }},
            {"PDF", [](const ScratchFolder& f) { return f.makeFolder("pdf") + "/job.pdf"; },
             [this](const std::string& path, int which) {
                 std::ostringstream log;
                 vhost::DocumentStore store(log);
                 vhost::writeDocumentPdf(LargeDocument(store, which == 0 ? 10 : 100),
                                         vhost::withTarget({}, path), log, "test");
             }},
            {"alias file", [](const ScratchFolder& f) { return f / "data/Corvane/Varnel Plugin Cache"; },
             [this](const std::string&, int which) {
                 UpdateVarnelAppAlias(UFileSpecCore(ustring(apps_[which]), nullptr));
             }},
        };
    }

    ScratchFolder folder_;
    testing_support::ScopedEnvironment environment_;
    std::string apps_[2];
};

TEST_F(HostWrites, AFailedWriteKeepsTheEarlierFile) {
    for (const Writer& writer : Writers()) {
        SCOPED_TRACE(writer.name);
        const std::string path = writer.path(folder_);
        writer.write(path, 1);
        const std::size_t newSize = Contents(path).size();
        writer.write(path, 0);
        const std::string earlier = Contents(path);
        const std::string folder = std::filesystem::path(path).parent_path();
        // The disk full from the start, halfway through the new file, one byte before its end.
        for (rlim_t limit : {rlim_t{0}, rlim_t{newSize / 2}, rlim_t{newSize - 1}}) {
            {
                fault::FileSizeLimit full(limit);
                try {
                    writer.write(path, 1);
                } catch (const std::exception&) {  // the host reports it; the plug-in goes on
                }
            }
            EXPECT_EQ(Contents(path), earlier) << limit;
            EXPECT_EQ(Entries(folder), 1u) << limit;
        }
    }
}

TEST_F(HostWrites, AWriterKilledAnywhereLeavesAWholeFile) {
    constexpr int kKills = 50;
    std::mt19937 random(20240611);
    for (const Writer& writer : Writers()) {
        SCOPED_TRACE(writer.name);
        const std::string path = writer.path(folder_);
        std::string versions[2];
        for (int which : {1, 0}) {
            writer.write(path, which);
            versions[which] = Contents(path);
        }
        ASSERT_NE(versions[0].size(), versions[1].size());
        int seen[2] = {0, 0};
        for (int kill = 0; kill < kKills; ++kill) {
            // The child reports each file it completed, so kills fall after a random number of
            // writes and at a random moment of the next.
            int done[2];
            ASSERT_EQ(::pipe(done), 0);
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                try {
                    for (int which = 1;; which ^= 1) {
                        writer.write(path, which);
                        if (::write(done[1], "w", 1) != 1) break;
                    }
                } catch (...) {
                }
                ::_exit(1);
            }
            ::close(done[1]);
            char report;
            for (int writes = std::uniform_int_distribution<int>(0, 3)(random); writes > 0; --writes) {
                if (::read(done[0], &report, 1) != 1) break;  // the child failed: the file shows it
            }
            ::usleep(std::uniform_int_distribution<useconds_t>(0, 3000)(random));
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            ::close(done[0]);
            const std::string now = Contents(path);
            ASSERT_TRUE(now == versions[0] || now == versions[1]) << "after kill " << kill << ": "
                                                                  << now.size() << " bytes";
            ++seen[now == versions[1]];
        }
        // The writer got to replace the file between kills, not only to start.
        EXPECT_GT(seen[0], 0);
        EXPECT_GT(seen[1], 0);
    }
}

}  // namespace
