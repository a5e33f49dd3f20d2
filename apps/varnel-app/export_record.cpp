#include "export_record.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <ctime>
#include <set>

namespace varnel_app {
namespace {

using json = nlohmann::ordered_json;

const json& member(const json& object, const char* name) {
    static const json kEmpty = json::array();
    const auto it = object.find(name);
    return it != object.end() && it->is_array() ? *it : kEmpty;
}

// Exported-destination entries hold a 32-bit number; an identifier that is not one is only
// marked exported in its group.
bool numericIdentifier(const std::string& text, int& value) {
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
        return false;
    const long long n = std::stoll(text);
    if (n > INT_MAX) return false;
    value = static_cast<int>(n);
    return true;
}

void enterExported(json& job, int identifier, const json& pages) {
    json& list = job["exportedDestinations"];
    if (!list.is_array()) list = json::array();
    const auto it = std::find_if(list.begin(), list.end(),
                                 [&](const json& e) { return e.value("identifier", -1) == identifier; });
    if (it != list.end())
        (*it)["pages"] = pages;
    else
        list.push_back({{"identifier", identifier}, {"pages", pages}});
}

size_t makeNextGroupActive(json& job) {
    json& groups = job["groups"];
    for (size_t g = 0; g < groups.size(); ++g) {
        const json& destinations = member(groups[g], "destinations");
        if (std::all_of(destinations.begin(), destinations.end(),
                        [](const json& d) { return d.value("exported", false); }))
            continue;
        for (size_t other = 0; other < groups.size(); ++other) groups[other]["active"] = other == g;
        return g + 1;
    }
    return 0;
}

}  // namespace

std::string localTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

ExportEntry applyExport(StoredJob& job, const json& wire, const json& report) {
    ExportEntry entry;
    entry.time = localTime();
    entry.job = job.name;
    entry.identifier = job.identifier();
    entry.pdf = report.value("documentFile", std::string()) + ".pdf";

    std::set<std::string> exported;
    for (const json& group : member(report, "groups"))
        for (const json& d : member(group, "destinations"))
            if (d.value("exported", false)) {
                exported.insert(d.value("identifier", std::string()));
                entry.destinations.push_back(d.value("identifier", std::string()));
            }

    json pages = member(report, "absolutePages");
    if (pages.empty())
        pages = json::array({{{"firstPage", 1}, {"pageCount", 1}}});  // the host writes one page
    // The job passed the job-file writer when it was loaded: "groups" and each "destinations",
    // where present, are arrays of objects.
    // Exported-destination entries are added after the walk: adding a member to the job can
    // move its other members, which the walk holds references into.
    std::vector<int> numbers;
    const json& wireGroups = member(wire, "groups");
    for (size_t g = 0; g < wireGroups.size() && g < member(job.data, "groups").size(); ++g) {
        json& group = job.data["groups"][g];
        if (!group.contains("destinations")) continue;
        const json& wireDestinations = member(wireGroups[g], "destinations");
        json& destinations = group["destinations"];
        for (size_t d = 0; d < wireDestinations.size() && d < destinations.size(); ++d) {
            const std::string identifier = wireDestinations[d].value("identifier", std::string());
            if (exported.count(identifier) == 0) continue;
            destinations[d]["exported"] = true;
            if (int number = 0; numericIdentifier(identifier, number)) numbers.push_back(number);
        }
    }
    for (int number : numbers) enterExported(job.data, number, pages);
    entry.activeGroup = member(job.data, "groups").empty() ? 0 : makeNextGroupActive(job.data);
    return entry;
}

std::string ExportEntry::line() const {
    std::string text = job + " (" + identifier + "): ";
    if (destinations.empty()) text += "no destinations";
    for (size_t i = 0; i < destinations.size(); ++i)
        text += (i == 0 ? "destinations " : ", ") + destinations[i];
    text += " to " + pdf + "; ";
    text +=
        activeGroup == 0 ? "every group exported" : "group " + std::to_string(activeGroup) + " now active";
    return text;
}

}  // namespace varnel_app
