// The jobs the application holds: one JSON file per job, in varnel-inspect's job shape.
#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace varnel_app {

struct StoredJob {
    std::string file;  // where the job's changes are kept: its file in the state folder
    std::string name;  // its file name without ".json"
    nlohmann::ordered_json data;

    std::string identifier() const { return data.value("identifier", std::string()); }
    std::string title() const { return data.value("DN", std::string()); }
};

class JobStore {
public:
    // Reads every "*.json" file of `folder`, in file-name order, each from `stateFolder` when a
    // changed copy of it is kept there (the one `save` writes). `folder` itself is never written,
    // so that a checkout or an installed tree stays as it is. A file that cannot be read, or that
    // `check` rejects by throwing, is left out, with one line naming it in `problems`; a changed
    // copy that cannot be read gives way to the original, also with a line. Throws
    // std::runtime_error when `folder` itself cannot be read.
    void load(const std::string& folder, const std::string& stateFolder,
              const std::function<void(const StoredJob&)>& check, std::vector<std::string>& problems);

    const std::vector<StoredJob>& jobs() const { return jobs_; }
    // By identifier, else by name, else by "DN"; null when no job matches.
    StoredJob* find(const std::string& key);
    StoredJob* findByIdentifier(const std::string& identifier);
    // Null only while the store holds no job; the first job until another is selected.
    StoredJob* selected();
    void select(const StoredJob& job);

    // Replaces the job's changed copy atomically, making the state folder when it is missing;
    // throws std::runtime_error naming the file.
    static void save(const StoredJob& job);

private:
    StoredJob* findIf(const std::function<bool(const StoredJob&)>& matches);

    std::vector<StoredJob> jobs_;
    size_t selected_ = 0;
};

}  // namespace varnel_app
