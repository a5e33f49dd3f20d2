// The plug-in inside one stand-in host for the whole suite: menus, requests to the Varnel
// application, replies parked and handled on the timer, guides and the PDF export.
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>

#include "PluginTestSupport.h"

namespace {

using namespace plugin_test;

constexpr const char* kGuideMark = "DA127AE0-01B3-42C6-BADB-8D6C6E488FC8";
constexpr const char* kTrimMark = "DA949A67-1B85-4922-B775-511D1A0504E6";

class PluginInHost : public ::testing::Test {
protected:
    // One host for the suite: the plug-in's timer is made by the first start-up of the process.
    static void SetUpTestSuite() {
        s_host = std::make_unique<vhost::Host>(vhost::HostOptions{
            .pluginMain = PluginMain, .bundlePath = VARNEL_HOST_BUNDLE, .log = &s_hostLog});
    }
    static void TearDownTestSuite() { s_host.reset(); }
    void TearDown() override {
        run("tick");
        run("version 27");
        while (run("docs").find('"') != std::string::npos) run("close");
    }

    static std::string run(const std::string& command) { return s_host->execute(command); }
    static json show() { return json::parse(run("show --json")); }
    static json lastAction() { return json::parse(run("actions --json")).back(); }
    // A reply parked and handled on the next timer message.
    template <class Payload>
    static void Deliver(SRefCon kind, const Payload& payload) {
        Reply(kind, payload);
        run("tick");
    }
    // The job the next request to the Varnel application carries, once its id is checked.
    static ordered_json requested(const std::string& id) {
        const auto [got, payload] = g_session->nextRequest();
        EXPECT_EQ(got, id);
        return inspect::jobToJson(payload, 4);
    }
    static json guides() {
        json marked = json::array();
        const json document = show();
        for (const json& art : document["art"])
            if (art["dictionary"].contains(kGuideMark)) marked.push_back(art);
        return marked;
    }

    static inline std::ostringstream s_hostLog;
    static inline std::unique_ptr<vhost::Host> s_host;
};

TEST_F(PluginInHost, RequestsCarryTheAboutRecordAndTheJob) {
    run("menu About Varnel...");
    EXPECT_EQ(g_session->nextRequest(),
              std::make_pair(std::string("AboT"),
                             std::string("\x00\x02\x00\x00\x00\x12Illustrator Plugin\x00\x00\x00\x10", 28) +
                                 "Corvane Holdings"));

    run("menu Job Details / Export...");
    EXPECT_TRUE(requested("dneT")["groups"].empty());

    run("new 300 400");
    run("menu Job Details / Export...");
    const ordered_json job = requested("detT");
    EXPECT_EQ(job["placement"]["width"], 300);
    EXPECT_EQ(job["placement"]["depth"], 400);
}

// The name the host gives back through an out-parameter must reach the request: "x" for x.json,
// "?" for a document never saved.
TEST_F(PluginInHost, DetailsRequestsNameTheDocumentByItsFile) {
    run("new");
    run("menu Job Details / Export...");
    EXPECT_EQ(requested("detT")["DN"], "?");
    run("save " + std::string(g_session->home() / "x.json"));
    run("menu Job Details / Export...");
    EXPECT_EQ(requested("detT")["DN"], "x");
}

TEST_F(PluginInHost, OnlyTheNewestReplyWaitsForTheTick) {
    run("new");
    ordered_json first = Job(595, 842), second = Job(595, 842);
    first["identifier"] = "first";
    second["identifier"] = "second";
    testing_support::CapturedLog log;
    Reply(kReplyNewDetails, first);
    Reply(kReplyDetails, second);
    EXPECT_EQ(log.count("[WARN]"), 1);
    EXPECT_EQ(log.count("EVENT QUEUE OVERFLOWED"), 1);
    run("tick");
    EXPECT_EQ(StoredJob(*s_host)["identifier"], "second");
    EXPECT_EQ(std::ranges::count(run("docs"), '\n'), 1) << "the new-details reply was dropped";
}

TEST_F(PluginInHost, FailingOrOrphanedRepliesLeaveTheDocumentAlone) {
    run("new");
    Deliver(kReplyDetails, Job(595, 842));
    const std::string stored = run("dict Varnel5SLUGData");
    testing_support::CapturedLog log;
    Deliver(kReplyDetails, std::string("not a job"));
    EXPECT_EQ(log.count("[ERROR]"), 1);
    EXPECT_EQ(log.count("reply 9120 failed, code 1: UKeyInStream: meta key mismatch"), 1) << log.text();
    EXPECT_EQ(run("dict Varnel5SLUGData"), stored);

    // Unloaded, the plug-in has no object to park a reply in.
    run("unload");
    Reply(kReplyDetails, Job(100, 100));
    run("reload");
    run("tick");
    EXPECT_EQ(log.count("reply 9120 dropped"), 1);
    EXPECT_EQ(run("dict Varnel5SLUGData"), stored);
}

TEST_F(PluginInHost, GuidesFollowTrimAndBleed) {
    // An earlier guide of ours, and a path whose guide mark is false.
    run("new 595 842");
    json document = show();
    const auto marked = [](bool value) {
        json art = json::parse(R"({"type": "path", "selected": false, "locked": true, "hidden": false,
                                   "guide": true, "closed": true, "segments": []})");
        art["dictionary"][kGuideMark]["boolean"] = value;
        return art;
    };
    document["art"] = {marked(true), marked(false)};
    run("close");
    run("open " + g_session->home().write("marked.json", document.dump()));

    Deliver(kReplyDetails, Job(595, 842));
    json art = show()["art"];
    ASSERT_EQ(art.size(), 1u) << "no bleed: no trim guide, the earlier guide removed";
    EXPECT_EQ(art[0]["dictionary"][kGuideMark]["boolean"], false);
    EXPECT_EQ(StoredJob(*s_host)["placement"],
              ordered_json({{"horizontalOffset", 0}, {"verticalOffset", 0}, {"width", 595}, {"depth", 842}}));

    Deliver(kReplyDetails, Job(595, 842, 8.5));
    EXPECT_EQ(show()["artboards"][0], json({{"bottom", 0}, {"left", 0}, {"right", 595}, {"top", 842}}));
    run("menu Adjust Size...");
    run("menu Adjust Size...");
    const json drawn = guides();
    ASSERT_EQ(drawn.size(), 2u);  // ours and the one marked false
    const json& trim = drawn[0]["dictionary"].contains(kTrimMark) ? drawn[0] : drawn[1];
    EXPECT_TRUE(trim["guide"]);
    json corners = json::array();
    for (const json& segment : trim["segments"]) corners.push_back(segment["p"]);
    EXPECT_EQ(corners, json({{0, 0}, {595, 0}, {595, 842}, {0, 842}}));
    EXPECT_EQ(show()["artboards"][0],
              json({{"bottom", -8.5}, {"left", -8.5}, {"right", 603.5}, {"top", 850.5}}));
    EXPECT_EQ(StoredJob(*s_host)["placement"]["horizontalOffset"], 8.5);
}

TEST_F(PluginInHost, ExportReplyFailsWithoutADocumentAndWritesTheCopyAndReportsBackWithOne) {
    testing_support::CapturedLog log;
    Deliver(kReplyExport, Job(595, 842));
    EXPECT_EQ(log.count("ILLE "), 1) << "the host has no document to export";
    EXPECT_EQ(log.count("[WARN]"), 1) << "a job without a document file";
    EXPECT_EQ(lastAction()["parameters"][53]["value"], ".pdf");

    const std::string documentFile = g_session->home() / "report.ai";
    ordered_json job = WithPdfVersion(Job(595, 842), 1.4);
    job["documentFile"] = documentFile;
    run("new");
    Deliver(kReplyExport, job);

    const json action = lastAction();
    EXPECT_EQ(action["name"], "adobe_saveACopyAs");
    std::string keys;
    for (const json& parameter : action["parameters"]) keys += parameter["key"].get<std::string>() + " ";
    EXPECT_EQ(
        keys,
        "optn opnm comp rdtr thum fwev aclr cknd ctil crsl cres crab gknd gtil grsl gres grab mknd mrsl "
        "mres mrab cart ptrm pclb ppgi preg pmtp ptmw post btop bbtm blft brht rato povp flsy flsn fmax "
        "fmin fvba fccr fosk fotx fprs vpdf usrq usps pmpr pmch ebcp ebac ebca ebpt name frmt extn bdoc "
        "blnk sall sran smab ");
    EXPECT_EQ(action["parameters"][53]["value"], documentFile + ".pdf");
    EXPECT_EQ(requested("epsT")["groups"][0]["destinations"][0]["exported"], true);
}

// Replies that another program of the user sends (a flood of them) never reach the document:
// only the connection that owns the Varnel application's name drives the plug-in.
TEST_F(PluginInHost, RepliesFromAnyOtherProgramAreDropped) {
    run("new");
    Deliver(kReplyDetails, Job(595, 842));
    const std::string stored = run("dict Varnel5SLUGData");
    const size_t actions = json::parse(run("actions --json")).size();
    testing_support::CapturedLog log;
    testing_support::Child flood({EVENT_FLOOD, "com.corvane.Process.p" + std::to_string(::getpid()), "1"});
    while (::kill(flood.pid(), 0) == 0 && ::waitpid(flood.pid(), nullptr, WNOHANG) == 0) run("run 0.2");
    run("run 0.5");
    run("tick");
    EXPECT_GT(log.count("dropped: not the Varnel application"), 0);
    EXPECT_EQ(log.count("failed, code"), 0) << "a foreign reply was read";
    EXPECT_EQ(run("dict Varnel5SLUGData"), stored);
    EXPECT_EQ(json::parse(run("actions --json")).size(), actions) << "a foreign export was played";
}

// An export the host could not write is not reported, whichever way the host exports.
TEST_F(PluginInHost, AFailedExportIsNotReported) {
    for (const int version : {27, 14}) {
        SCOPED_TRACE(version);
        run("new");
        run("save " + std::string(g_session->home() / "failing.json"));
        run("version " + std::to_string(version));
        testing_support::CapturedLog log;
        ordered_json job = Job(595, 842);
        job["documentFile"] = "/proc/varnel-test/unwritable";
        Deliver(kReplyExport, job);
        EXPECT_EQ(log.count("ILLE "), 1) << log.text();
        EXPECT_FALSE(std::filesystem::exists("/proc/varnel-test/unwritable.pdf"));
        run("close");
        // The next request the companion sees is this one, not an export report.
        run("menu About Varnel...");
        EXPECT_EQ(g_session->nextRequest().first, "AboT");
    }
}

TEST_F(PluginInHost, ExportFallsBackOnUnmappedVersionsAndOlderHosts) {
    run("new");
    run("save " + std::string(g_session->home() / "older.json"));
    run("version 14");
    testing_support::CapturedLog log;
    ordered_json job = WithPdfVersion(Job(595, 842), 1.45);
    job["documentFile"] = std::string(g_session->home() / "older");
    Deliver(kReplyExport, job);
    EXPECT_EQ(log.count("couldn't map PDF VER 1.45"), 1);

    const json action = lastAction();
    EXPECT_EQ(action["name"], "adobe_saveDocumentAs");
    ASSERT_EQ(action["parameters"].size(), 56u);
    EXPECT_EQ(action["parameters"][2]["value"], 19);
    EXPECT_EQ(g_session->nextRequest().first, "epsT");
}

// The module the host program loads.
TEST(PluginModule, ExportsPluginMainOnly) {
    const auto nm =
        testing_support::RunProgram({NM_PROGRAM, "-D", "--defined-only", "-j", VARNEL_PLUGIN_MODULE});
    EXPECT_EQ(nm.status, 0) << nm.err;
    EXPECT_EQ(nm.out, "PluginMain\n");
}

}  // namespace
