#include "companion.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>

#include "about_record.h"
#include "jobjson/job_json.h"
#include "support/ulogger.h"

namespace varnel_app {
namespace {

using json = nlohmann::ordered_json;

std::string from(const Request& request) {
    return "'" + eventName(request.id) + "' from " +
           (request.sender.lowLongOfPSN == 0 ? std::string("an unnamed sender")
                                             : "pid " + std::to_string(request.sender.lowLongOfPSN));
}

std::string describe(const StoredJob& job) {
    return job.name + " (" + job.identifier() + ")";
}

std::string groupsText(const json& job) {
    const auto it = job.find("groups");
    const size_t count = it != job.end() && it->is_array() ? it->size() : 0;
    if (count == 0) return "no groups";
    std::string text = std::to_string(count) + (count == 1 ? " group, " : " groups, ");
    for (size_t g = 0; g < count; ++g)
        if ((*it)[g].value("active", false)) return text + "group " + std::to_string(g + 1) + " active";
    return text + "none active";
}

}  // namespace

void Companion::handle(const Request& request) {
    if (request.sender.lowLongOfPSN != 0) lastRequester_ = request.sender;
    try {
        switch (request.id) {
            case kAboutRequest: about(request); break;
            case kJobListRequest: jobList(request); break;
            case kDetailsRequest: details(request); break;
            case kNewDetailsRequest: newDetails(request); break;
            case kExportDoneRequest: exportDone(request); break;
            default: VN_LOG_WARN(from(request) << ": not a request this application answers"); break;
        }
    } catch (const std::exception& e) {
        VN_LOG_ERROR(from(request) << ": " << e.what());
    }
}

void Companion::about(const Request& request) {
    try {
        const PluginInfo info = decodePluginInfo(request.payload);
        VN_LOG_INFO(from(request) << ": " << info.product << " of " << info.company);
    } catch (const std::runtime_error& e) {
        VN_LOG_WARN(from(request) << ": unreadable plug-in information: " << e.what());
    }
}

void Companion::jobList(const Request& request) {
    listOut_ << list() << std::flush;
    VN_LOG_INFO(from(request) << ": job list printed");
}

void Companion::details(const Request& request) {
    std::string named;
    try {
        named = inspect::jobToJson(request.payload, kReplyFlags).value("identifier", std::string());
    } catch (const std::exception& e) {
        VN_LOG_WARN(from(request) << ": unreadable job file (" << e.what() << "), taken as naming no job");
    }
    StoredJob* job = store_.findByIdentifier(named);
    const bool known = job != nullptr;
    if (!known) job = store_.selected();
    if (job == nullptr) {
        VN_LOG_WARN(from(request) << ": no job to answer with");
        return;
    }
    if (answer(request, kDetailsReply, *job))
        VN_LOG_INFO(from(request) << (known ? "" : " naming no job held") << ": answered 'savY' with "
                                  << describe(*job));
}

void Companion::newDetails(const Request& request) {
    const StoredJob* job = store_.selected();
    if (job == nullptr) {
        VN_LOG_WARN(from(request) << ": no job to answer with");
        return;
    }
    if (answer(request, kNewDetailsReply, *job))
        VN_LOG_INFO(from(request) << ": answered 'sanY' with " << describe(*job));
}

void Companion::exportDone(const Request& request) {
    const json report = inspect::jobToJson(request.payload, kReplyFlags);
    const std::string identifier = report.value("identifier", std::string());
    StoredJob* job = store_.findByIdentifier(identifier);
    if (job == nullptr)
        throw std::runtime_error("export report of job " + identifier + ", which is not held");
    const json wire = inspect::jobToJson(replies_.bytes(*job), kReplyFlags);
    const ExportEntry entry = applyExport(*job, wire, report);
    const std::string asked = describe(*job);
    if (const auto it = std::find_if(unanswered_.begin(), unanswered_.end(),
                                     [&](const auto& ask) { return ask.second == asked; });
        it != unanswered_.end())
        unanswered_.erase(it);
    if (std::string error; !history_.add(entry.time + " " + entry.line(), &error))
        VN_LOG_ERROR("the history keeps this export until exit only: " << error);
    // Stored before whoever waits for the export hears of it.
    try {
        JobStore::save(*job);
        VN_LOG_INFO(from(request) << ": " << entry.line() << "; stored in " << job->file);
    } catch (const std::runtime_error& e) {
        VN_LOG_ERROR(from(request) << ": " << entry.line() << "; not stored, kept until exit: " << e.what());
    }
    if (exportReported_) exportReported_(identifier, entry.line());
}

bool Companion::answer(const Request& request, AEEventID reply, const StoredJob& job) {
    if (request.sender.lowLongOfPSN == 0) {
        VN_LOG_WARN(from(request) << ": no sender to answer");
        return false;
    }
    if (const OSErr status = postEvent(reply, request.sender, replies_.bytes(job)); status != noErr) {
        VN_LOG_ERROR(from(request) << ": sending '" << eventName(reply) << "' failed with status " << status);
        return false;
    }
    return true;
}

StoredJob& Companion::job(const std::string& key) {
    StoredJob* found = store_.find(key);
    if (found == nullptr) throw std::runtime_error("no job '" + key + "' (see varnel-app list)");
    return *found;
}

std::string Companion::select(const std::string& key) {
    StoredJob& selected = job(key);
    store_.select(selected);
    VN_LOG_INFO("selected " << describe(selected));
    return "selected " + describe(selected) + "\n";
}

ExportAsked Companion::exportJob(const std::string& key) {
    const StoredJob& exported = job(key);
    if (lastRequester_.lowLongOfPSN == 0)
        throw std::runtime_error("no plug-in has sent a request yet: nowhere to send 'expY'");
    const std::string to = "pid " + std::to_string(lastRequester_.lowLongOfPSN);
    if (const OSErr status = postEvent(kExportReply, lastRequester_, replies_.bytes(exported));
        status != noErr)
        throw std::runtime_error("sending 'expY' to " + to + " failed with status " + std::to_string(status));
    VN_LOG_INFO("sent 'expY' with " << describe(exported) << " to " << to);
    if (unanswered_.size() == kMostUnanswered) unanswered_.pop_front();
    unanswered_.emplace_back(localTime(), describe(exported));
    return {"sent 'expY' with " + describe(exported) + " to " + to + "\n", exported.identifier()};
}

std::string Companion::list() {
    if (store_.jobs().empty()) return "no jobs\n";
    std::string text;
    for (const StoredJob& job : store_.jobs()) {
        text += &job == store_.selected() ? "* " : "  ";
        text += job.name + "  " + job.identifier() + "  \"" + job.title() + "\"  " + groupsText(job.data) +
                "  " + replies_.resolve(job).value("documentFile", std::string()) + "\n";
    }
    return text;
}

std::string Companion::history() {
    std::string text;
    for (const std::string& line : history_.lines()) text += line + "\n";
    if (text.empty()) text = "no exports reported yet\n";
    for (const auto& [time, job] : unanswered_) text += time + " " + job + ": asked, not reported\n";
    return text;
}

}  // namespace varnel_app
