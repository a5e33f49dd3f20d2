// The plug-in's requests reach varnel-app through the event channel and come back as replies.
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "jobjson/job_json.h"
#include "support/hexcodec.h"

namespace app_test {
namespace {

using json = nlohmann::ordered_json;
using namespace varnel_app;

json exampleJob(const std::string& name) {
    return json::parse(ReadFile(std::string(VARNEL_EXAMPLE_JOBS) + "/" + name + ".json"));
}

json decoded(const Reply& reply) {
    return inspect::jobToJson(vnu::HexDecode(reply.vnmp), 4);
}

TEST(AppRequests, DetailsAreOfTheJobNamedElseOfTheSelectedOneUnderBothKeywords) {
    ServedApp app;
    ASSERT_EQ(runApp({"select", "flyer"}).status, 0);
    const json poster = exampleJob("poster");
    const auto naming = [](const json& identifier) {
        return inspect::jobFromJson(json{{"identifier", identifier}}, 4);
    };
    const struct {
        const char* what;
        AEEventID request, reply;
        std::string payload;
        const char* job;
    } cases[] = {
        {"new details", kNewDetailsRequest, kNewDetailsReply, inspect::jobFromJson(json::object(), 4),
         "flyer"},
        {"details of an unknown job", kDetailsRequest, kDetailsReply, naming("not-held"), "flyer"},
        {"details of a job held", kDetailsRequest, kDetailsReply, naming(poster["identifier"]), "poster"},
    };
    std::optional<Reply> reply;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        app.send(c.request, c.payload);
        reply = takeReply();
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->id, c.reply);
        EXPECT_EQ(reply->direct, reply->vnmp);
        EXPECT_EQ(reply->sender.lowLongOfPSN, app.psn().lowLongOfPSN);
        EXPECT_EQ(decoded(*reply)["identifier"], exampleJob(c.job)["identifier"]);
    }
    // The message keeps its entries sorted by name; the file need not.
    EXPECT_EQ(nlohmann::json::parse(decoded(*reply)["ticket"].dump()),
              nlohmann::json::parse(poster["ticket"].dump()));
}

TEST(AppRequests, ExportIsAskedOfTheLastRequesterOnly) {
    ServedApp app;
    const Outcome early = runApp({"export", "brochure"});
    EXPECT_EQ(early.status, 1);
    EXPECT_THAT(early.err, HasSubstr("no plug-in has sent a request yet"));

    app.send(kJobListRequest, "");
    EXPECT_TRUE(PumpEventsUntil([&] { return app.printed().find("* brochure") != std::string::npos; }))
        << app.printed();
    ASSERT_EQ(runApp({"export", "brochure"}).status, 0);
    const auto reply = takeReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->id, kExportReply);
    EXPECT_EQ(decoded(*reply)["identifier"], exampleJob("brochure")["identifier"]);
    EXPECT_EQ(app.stop(), 0) << "terminated cleanly";
}

}  // namespace
}  // namespace app_test
