// Document files nested at the host's limit, one past it and a million levels deep: the last two
// are refused, naming the file and the place, before anything recurses.
#include <gmock/gmock.h>

#include <sstream>
#include <string>

#include "DocumentJson.h"
#include "DocumentStore.h"
#include "HostError.h"
#include "TestFolders.h"

namespace {

TEST(HostDocuments, NestingAtPastAndFarPastTheLimit) {
    testing_support::ScratchFolder folder;
    const std::string deeper = "nesting deeper than " + std::to_string(vhost::kMaxJsonDepth) + " levels";
    for (const int levels : {vhost::kMaxJsonDepth, vhost::kMaxJsonDepth + 1, 1000000}) {
        SCOPED_TRACE(levels);
        const std::string art = std::string(levels - 1, '[') + std::string(levels - 1, ']');
        const std::string path =
            folder.write("deep.json", R"({"format": "varnel-host document 1", "art": )" + art + "}");
        std::ostringstream log;
        vhost::DocumentStore store(log);
        // Within the limit the document is read, and refused only for what it holds.
        EXPECT_THAT([&] { store.open(path, false); },
                    testing::ThrowsMessage<vhost::HostError>(testing::AllOf(
                        testing::StartsWith(path + ": "),
                        testing::Conditional(levels > vhost::kMaxJsonDepth, testing::HasSubstr(deeper),
                                             testing::Not(testing::HasSubstr(deeper))))));
    }
}

}  // namespace
