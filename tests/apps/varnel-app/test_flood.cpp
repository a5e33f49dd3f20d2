// A flood at the application's name from a program of the same user that is no plug-in: the
// application stays up, answers the plug-in right after, gives the memory back, and tells of
// what it refused once, not once an event.
#include <gtest/gtest.h>

#include <algorithm>

#include "AppTestSupport.h"
#include "ProcStatus.h"

namespace app_test {
namespace {

using testing_support::StatusKiB;

size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}
using namespace varnel_app;

TEST(AppFlood, TheApplicationOutlivesAFloodAndAnswersRightAfter) {
    ServedApp app;
    const long before = StatusKiB(app.pid(), "VmRSS");
    ASSERT_GT(before, 0);

    const Outcome flooded =
        testing_support::RunProgram({EVENT_FLOOD, "com.corvane.Varnel", "1", testing_support::FloodEvents()});
    ASSERT_EQ(flooded.status, 0) << flooded.err;

    // What the bus holds of the flood comes first; on a busy machine that may take a while.
    app.send(kNewDetailsRequest, "");
    auto reply = takeReply();
    for (int wait = 0; !reply && wait < 5; ++wait) reply = takeReply();
    ASSERT_TRUE(reply) << "no answer after the flood: " << app.logged().substr(0, 4000);
    EXPECT_EQ(reply->id, kNewDetailsReply);
    EXPECT_EQ(runApp({"list"}).status, 0);
    if (!testing_support::kSanitized) {
        EXPECT_LE(StatusKiB(app.pid(), "VmRSS"), before + std::max(before / 10, 1024L));
    }

    // The flood's requests name the flood as their sender, which registered as no process.
    const std::string log = app.logged();
    EXPECT_EQ(CountOf(log, "refused 'detT'"), 1u) << log;
    EXPECT_LT(std::count(log.begin(), log.end(), '\n'), 100) << log;
}

}  // namespace
}  // namespace app_test
