// The plug-in's requests reach varnel-app through the event channel and come back as replies.
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "jobjson/job_json.h"
#include "support/hexcodec.h"

namespace app_test {
namespace {

using json = nlohmann::ordered_json;
using namespace varnel_app;
using testing::Not;

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
    ASSERT_EQ(runApp({"export", "--wait", "0", "brochure"}).status, 0);
    const auto reply = takeReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->id, kExportReply);
    EXPECT_EQ(decoded(*reply)["identifier"], exampleJob("brochure")["identifier"]);
    EXPECT_EQ(app.stop(), 0) << "terminated cleanly";
}

// `export` waits for the plug-in's report; one that never comes leaves the export in the history
// as asked and not reported.
TEST(AppRequests, ExportWaitsForTheReport) {
    ServedApp app;
    app.send(kJobListRequest, "");
    ASSERT_TRUE(PumpEventsUntil([&] { return app.printed().find("* brochure") != std::string::npos; }));

    testing_support::Child reported({VARNEL_APP_BIN, "export", "brochure"});
    const auto reply = takeReply();
    ASSERT_TRUE(reply);
    app.send(kExportDoneRequest, vnu::HexDecode(reply->vnmp));
    EXPECT_EQ(reported.wait(), 0) << reported.err();
    EXPECT_THAT(reported.out(), HasSubstr("sent 'expY' with brochure"));
    EXPECT_THAT(reported.out(), HasSubstr(" to " + app.out()));

    const Outcome unreported = runApp({"export", "--wait", "1", "poster"});
    EXPECT_EQ(unreported.status, 1);
    EXPECT_EQ(unreported.err,
              "varnel-app: no export report for poster within 1 s: the plug-in did not export it (see "
              "'varnel-app history')\n");
    const std::string history = runApp({"history"}).out;
    EXPECT_THAT(history, HasSubstr("brochure (" + exampleJob("brochure")["identifier"].get<std::string>() + "):"));
    EXPECT_THAT(history, HasSubstr("poster (" + exampleJob("poster")["identifier"].get<std::string>() +
                                   "): asked, not reported"));
    EXPECT_THAT(history, Not(HasSubstr("brochure (" + exampleJob("brochure")["identifier"].get<std::string>() +
                                       "): asked")));
}

// The served folder is never written: a reported export changes the application's own copy of
// the job, which the next start takes up, with the history.
TEST(AppState, AnExportChangesTheApplicationsOwnCopyWhichOutlivesARestart) {
    ServedApp app;
    const std::string given = ReadFile(app.jobs() + "/brochure.json");
    app.send(kJobListRequest, "");
    ASSERT_TRUE(PumpEventsUntil([&] { return app.printed().find("* brochure") != std::string::npos; }));

    testing_support::Child asked({VARNEL_APP_BIN, "export", "--wait", "5", "brochure"});
    const auto reply = takeReply();
    ASSERT_TRUE(reply);
    // The plug-in's report: the first group's destinations exported.
    json report = decoded(*reply);
    for (json& destination : report["groups"][0]["destinations"]) destination["exported"] = true;
    app.send(kExportDoneRequest, inspect::jobFromJson(report, 4));
    ASSERT_EQ(asked.wait(), 0) << asked.err() << app.logged();

    EXPECT_EQ(ReadFile(app.jobs() + "/brochure.json"), given) << "the served folder was written";
    const std::string keptText = ReadFile(app.data() + "/varnel/jobs/brochure.json");
    ASSERT_FALSE(keptText.empty()) << app.logged();
    const json kept = json::parse(keptText);
    EXPECT_EQ(kept["groups"][1]["active"], true);
    EXPECT_THAT(runApp({"list"}).out, HasSubstr("group 2 active"));

    app.restart();
    EXPECT_THAT(runApp({"list"}).out, HasSubstr("group 2 active"));
    EXPECT_THAT(runApp({"history"}).out, HasSubstr("brochure (" + kept["identifier"].get<std::string>() + "): "));
}

}  // namespace
}  // namespace app_test
