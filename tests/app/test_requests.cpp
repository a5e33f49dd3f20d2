// The plug-in's requests reach varnel-app through the event channel and come back as replies.
#include <gtest/gtest.h>

#include <sstream>

#include "AppTestSupport.h"
#include "BJobFile.h"
#include "hexcodec.h"
#include "job_json.h"

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
        {"details that are no job file", kDetailsRequest, kDetailsReply, "not a job", "flyer"},
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

TEST(AppRequests, ExportGoesToTheLastRequesterItsReportIsStoredAboutRecordsLogged) {
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
    // The plug-in exports the active group and reports back.
    BJobFile job;
    std::istringstream in(vnu::HexDecode(reply->vnmp));
    job.JobFileReadFromBuffer(in, 4);
    std::ostringstream report;
    job.JobFileWriteToBufferForExport(report);
    app.send(kExportDoneRequest, report.str());

    ASSERT_TRUE(PumpEventsUntil(
        [&] { return runApp({"history"}).out.find(app.out() + "/brochure.pdf") != std::string::npos; }));
    const json stored = json::parse(ReadFile(app.jobs() + "/brochure.json"));
    for (const json& destination : stored["groups"][0]["destinations"]) EXPECT_TRUE(destination["exported"]);
    EXPECT_FALSE(stored["groups"][0]["active"]);
    EXPECT_TRUE(stored["groups"][1]["active"]);
    EXPECT_EQ(stored["exportedDestinations"].size(), stored["groups"][0]["destinations"].size());
    EXPECT_EQ(testing_support::CountEntries(app.jobs()), 3u);  // no temporary left

    const std::string record =
        std::string("\x00\x02\x00\x00\x00\x12Illustrator Plugin\x00\x00\x00\x10", 28) + "Corvane Holdings";
    app.send(kAboutRequest, record);
    app.send(kAboutRequest, record.substr(0, 10));
    EXPECT_TRUE(PumpEventsUntil(
        [&] { return app.log().find("unreadable plug-in information") != std::string::npos; }));
    EXPECT_THAT(app.log(), HasSubstr("Illustrator Plugin of Corvane Holdings"));
    EXPECT_EQ(app.stop(), 0) << "terminated cleanly";
}

}  // namespace
}  // namespace app_test
