// What the application does with the plug-in's requests and with its own commands.
#pragma once

#include <deque>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "control_service.h"
#include "event_channel.h"
#include "export_history.h"
#include "export_record.h"
#include "job_store.h"
#include "reply_builder.h"

namespace varnel_app {

class Companion : public ControlHandler {
public:
    // The job list goes to `listOut` when the plug-in asks for the job list window.
    Companion(JobStore& store, const ReplyBuilder& replies, ExportHistory& history, std::ostream& listOut)
        : store_(store), replies_(replies), history_(history), listOut_(listOut) {}

    // Answers one request, logging one line for it.
    void handle(const Request& request);
    // Called with the job's identifier and the history line of every export report.
    void onExportReported(std::function<void(const std::string&, const std::string&)> listener) {
        exportReported_ = std::move(listener);
    }

    std::string select(const std::string& job) override;
    ExportAsked exportJob(const std::string& job) override;
    std::string list() override;
    std::string history() override;

private:
    void about(const Request& request);
    void jobList(const Request& request);
    void details(const Request& request);
    void newDetails(const Request& request);
    void exportDone(const Request& request);
    // Sends the job as `reply` to the request's sender; false, logged, when it could not.
    bool answer(const Request& request, AEEventID reply, const StoredJob& job);
    StoredJob& job(const std::string& key);

    JobStore& store_;
    const ReplyBuilder& replies_;
    ExportHistory& history_;
    std::ostream& listOut_;
    ProcessSerialNumber lastRequester_;  // zero until a request names its sender
    // Exports asked and not yet reported, oldest first: (time asked, job); only the newest are kept.
    static constexpr size_t kMostUnanswered = 256;
    std::deque<std::pair<std::string, std::string>> unanswered_;
    std::function<void(const std::string&, const std::string&)> exportReported_;
};

}  // namespace varnel_app
