// What an export report ('epsT') changes in a stored job, and the history line it leaves.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "job_store.h"

namespace varnel_app {

struct ExportEntry {
    std::string time;  // local time of the report
    std::string job;   // the job's name
    std::string identifier;
    std::vector<std::string> destinations;  // as the report names them
    std::string pdf;                        // where the plug-in wrote the PDF
    size_t activeGroup = 0;                 // 1-based; 0 when every group is exported

    // Everything but the time.
    std::string line() const;
};

// Applies a report, read as JSON with flags 4, to `job`: the destinations it lists as exported
// are marked so, each one with a numeric identifier is entered among the exported destinations
// with the report's pages, and the first group with a destination still to export becomes the
// active group (as the plug-in does in its own copy). `wire` is the job as the plug-in read it:
// the same groups and destinations in the same order, with identifiers in the report's form.
// The local time as the history shows it: "2026-12-06 20:14:12".
std::string localTime();

ExportEntry applyExport(StoredJob& job, const nlohmann::ordered_json& wire,
                        const nlohmann::ordered_json& report);

}  // namespace varnel_app
