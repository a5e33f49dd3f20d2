// The plug-in in a stand-in host, in a session of its own (SessionEnvironment.h) where event_peer
// plays the Varnel application; jobs built from the inspector's JSON.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "Host.h"
#include "SessionEnvironment.h"
#include "jobjson/job_json.h"
#include "link/menuHandler.h"
#include "support/hexcodec.h"

extern "C" SPErr PluginMain(char* caller, char* selector, void* message);

namespace plugin_test {

using nlohmann::json;
using nlohmann::ordered_json;
using testing::HasSubstr;
using testing::Not;

class Environment : public testing_support::SessionEnvironment {
public:
    Environment() : SessionEnvironment("") {}  // the host registers
    void SetUp() override {
        SessionEnvironment::SetUp();
        varnel_ = std::make_unique<testing_support::Peer>("com.corvane.Varnel", home().path());
    }
    void TearDown() override {
        varnel_.reset();
        SessionEnvironment::TearDown();
    }
    // The next request the Varnel application received: its id and payload bytes.
    std::pair<std::string, std::string> nextRequest() {
        for (std::string line = varnel_->nextLine(); !line.empty(); line = varnel_->nextLine()) {
            if (line == "activated") continue;
            const size_t vnmp = line.find(" vnmp=") + 6;
            return {line.substr(5, 4), vnu::HexDecode(line.substr(vnmp, line.find(" sender=") - vnmp))};
        }
        return {"", ""};
    }

private:
    std::unique_ptr<testing_support::Peer> varnel_;
};

// Once for the program, whichever test file includes this first.
inline Environment* const g_session =
    static_cast<Environment*>(::testing::AddGlobalTestEnvironment(new Environment));

// One active destination of trim W x H with `bleed` on every side.
inline ordered_json Job(double width, double height, double bleed = 0) {
    const ordered_json margins = {{"left", bleed}, {"right", bleed}, {"top", bleed}, {"bottom", bleed}};
    return {{"DN", "Job"},
            {"groups",
             {{{"active", true},
               {"destinations",
                {{{"width", width}, {"height", height}, {"bleed", margins}, {"identifier", "d1"}}}}}}}};
}

// A job whose check settings ask for PDF `version`.
inline ordered_json WithPdfVersion(ordered_json job, double version) {
    job["problemDescriptions"] = {
        {"Setting_PDFVersion", {{"message", {{"type", {{"string", "parameter"}}}}}}}};
    const ordered_json check = {{"Setting_PDFVersion", {{"message", {{"note", {{"double", version}}}}}}}};
    const ordered_json destination = {{"identifier", {{"string", "d1"}}},
                                      {"qcs", {{"message", {{"checks", {{"message", check}}}}}}}};
    job["ticket"] = {{"destinations", {{"message", {destination}}}}};
    return job;
}

// Parks a reply in the plug-in as the event channel does: its payload as hexadecimal 'Vnmp'.
inline void Reply(SRefCon kind, const std::string& payload) {
    const testing_support::TestEvent event(kVarnelEventClass, FOUR_CHAR_CODE("savY"), {},
                                           {{FOUR_CHAR_CODE("Vnmp"), vnu::HexEncode(payload)}});
    EXPECT_EQ(ReceiveEvent(&event.event, nullptr, kind), noErr);
}

inline void Reply(SRefCon kind, const ordered_json& job) {
    Reply(kind, inspect::jobFromJson(job, 4));
}

// The job the current document holds.
inline ordered_json StoredJob(vhost::Host& host) {
    return inspect::jobToJson(vnu::HexDecode(host.execute("dict Varnel5SLUGData")), 2);
}

}  // namespace plugin_test
