#include "reply_builder.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <sstream>

#include "catalogue.h"
#include "job/BJobFile.h"
#include "jobjson/job_json.h"
#include "support/UFileSpecCore.h"

namespace varnel_app {
namespace {

using json = nlohmann::ordered_json;

void resolvePath(json& job, const char* member, const UFileSpecCore& out, const std::string& whenEmpty) {
    const auto it = job.find(member);
    if (it != job.end() && !it->is_string()) return;  // the job-file writer names the mistake
    const std::string given = it != job.end() ? it->get<std::string>() : std::string();
    const std::string path = given.empty() ? whenEmpty : given;
    UFileSpecCore spec;
    if (!path.empty() && spec.init(ustring(path), &out)) job[member] = spec.path().str();
}

json rectJson(const vnu::Rect2D& r) {
    if (!std::isfinite(r.x) || !std::isfinite(r.y)) return nullptr;
    return json{{"x", r.x}, {"y", r.y}, {"width", r.width}, {"height", r.height}};
}

// The plug-in sizes documents from these boxes; a job file that leaves them out would arrive
// with null boxes, so they are worked out from the groups the way the plug-in does.
void fillRequiredBoxes(json& job) {
    const char* const members[] = {"bleedBox", "trimBox", "typeAreaBox"};
    if (std::all_of(std::begin(members), std::end(members), [&](const char* m) { return job.contains(m); }))
        return;
    json plain = job;
    plain.erase("ticket");
    plain.erase("problemDescriptions");
    BJobFile model;
    std::istringstream in(inspect::jobFromJson(plain, kReplyFlags));
    model.JobFileReadFromBuffer(in, kReplyFlags);
    if (model.GetGroups().GetActiveGroup() == nullptr && !model.GetCombineAllGroups()) return;
    model.ComputeRequiredBoxesForActiveGroup();
    const vnu::Rect2D* boxes[] = {&model.GetRequiredBleedBox(), &model.GetRequiredTrimBox(),
                                  &model.GetRequiredTypeAreaBox()};
    for (size_t i = 0; i < std::size(members); ++i)
        if (!job.contains(members[i])) job[members[i]] = rectJson(*boxes[i]);
}

}  // namespace

json ReplyBuilder::resolve(const StoredJob& stored) const {
    json job = stored.data;
    const UFileSpecCore out(ustring(outFolder_), nullptr);
    resolvePath(job, "documentFile", out, stored.name);
    for (const char* member : {"TF", "PD", "pluginInfoFile"}) resolvePath(job, member, out, "");
    fillRequiredBoxes(job);
    const auto own = job.find("problemDescriptions");
    job["problemDescriptions"] = descriptionsFor(own != job.end() ? &*own : nullptr);
    if (!job.contains("ticket")) job["ticket"] = json::object();
    return job;
}

std::string ReplyBuilder::bytes(const StoredJob& job) const {
    return inspect::jobFromJson(resolve(job), kReplyFlags);
}

}  // namespace varnel_app
