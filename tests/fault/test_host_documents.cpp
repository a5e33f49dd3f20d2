// Document files nested at the host's limit, one past it and a million levels deep: the last two
// are refused, naming the file and the place, before anything recurses.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "DocumentJson.h"
#include "DocumentStore.h"
#include "HostError.h"
#include "TestFolders.h"

namespace {

std::string Nested(int levels) {
    return R"({"format": "varnel-host document 1", "art": )" + std::string(levels - 1, '[') +
           std::string(levels - 1, ']') + "}";
}

TEST(HostDocuments, NestingAtPastAndFarPastTheLimit) {
    testing_support::ScratchFolder folder;
    const struct {
        int levels;
        bool refused;
    } cases[] = {{vhost::kMaxJsonDepth, false}, {vhost::kMaxJsonDepth + 1, true}, {1000000, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.levels);
        const std::string path = folder.write("deep.json", Nested(c.levels));
        std::ostringstream log;
        vhost::DocumentStore store(log);
        try {
            store.open(path, false);
            ADD_FAILURE() << "opened";
        } catch (const vhost::HostError& e) {
            // Within the limit the document is read, and refused only for what it holds.
            const std::string deeper = "nesting deeper than " + std::to_string(vhost::kMaxJsonDepth) + " levels";
            EXPECT_EQ(std::string(e.what()).find(deeper) != std::string::npos, c.refused) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind(path + ": ", 0), 0u) << e.what();
        }
    }
}

}  // namespace
