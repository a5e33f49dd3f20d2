// The plug-in information file is replaced whole or not at all: a write that fails midway keeps
// the earlier file and leaves nothing beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "BJobFile.h"
#include "FileSizeLimit.h"
#include "TestFolders.h"

namespace {

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(InfoFileWrite, AFailedWriteKeepsTheEarlierFile) {
    testing_support::ScratchFolder folder;
    const std::string path = folder.write("job.info", "the earlier file");
    BJobFile job;
    job.SetPluginInfoFile(UFileSpecCore(ustring(path), nullptr));
    auto* pages = new BPageRange();
    pages->SetPageCount(1000);  // a run per page: far more than the limit below lets through
    job.GetAbsolutePages().Insert(pages);

    for (rlim_t limit : {rlim_t{0}, rlim_t{100}, rlim_t{4096}}) {
        {
            fault::FileSizeLimit full(limit);
            job.ExportPluginInfo();
        }
        EXPECT_EQ(Contents(path), "the earlier file") << limit;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1) << limit;
    }
    job.ExportPluginInfo();
    EXPECT_GT(Contents(path).size(), 4096u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

}  // namespace
