#include "job_store.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "support/ReplaceFile.h"
#include "support/uuid.h"

namespace varnel_app {
namespace {

namespace fs = std::filesystem;

StoredJob readJob(const fs::path& file, const fs::path& keptAs) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot be read");
    StoredJob job{keptAs.string(), file.stem().string(), nlohmann::ordered_json::parse(in)};
    if (!job.data.is_object()) throw std::runtime_error("expected a job, a JSON object");
    // Without one, every reply would carry a fresh identifier and no request could name the
    // job again. The identifier given here reaches the file with the job's next stored export.
    const auto given = job.data.find("identifier");
    if (given == job.data.end() || *given == "") job.data["identifier"] = vnu::NewUUIDText().str();
    return job;
}

}  // namespace

void JobStore::load(const std::string& folder, const std::string& stateFolder,
                    const std::function<void(const StoredJob&)>& check, std::vector<std::string>& problems) {
    std::vector<fs::path> files;
    try {
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().extension() == ".json" && !entry.is_directory()) files.push_back(entry.path());
    } catch (const fs::filesystem_error& e) {
        throw std::runtime_error(folder + ": " + e.code().message());
    }
    std::sort(files.begin(), files.end());
    jobs_.clear();
    selected_ = 0;
    for (const fs::path& file : files) {
        const fs::path kept = fs::path(stateFolder) / file.filename();
        std::error_code missing;
        if (kept != file && fs::exists(kept, missing)) {
            try {
                StoredJob job = readJob(kept, kept);
                check(job);
                jobs_.push_back(std::move(job));
                continue;
            } catch (const std::exception& e) {
                problems.push_back(kept.string() + ": " + e.what() + "; the job starts again from " + file.string());
            }
        }
        try {
            StoredJob job = readJob(file, kept);
            check(job);
            jobs_.push_back(std::move(job));
        } catch (const std::exception& e) {
            problems.push_back(file.string() + ": " + e.what());
        }
    }
}

StoredJob* JobStore::find(const std::string& key) {
    if (StoredJob* job = findByIdentifier(key)) return job;
    if (StoredJob* job = findIf([&](const StoredJob& j) { return j.name == key; })) return job;
    return findIf([&](const StoredJob& j) { return !key.empty() && j.title() == key; });
}

StoredJob* JobStore::findByIdentifier(const std::string& identifier) {
    return findIf([&](const StoredJob& j) { return !identifier.empty() && j.identifier() == identifier; });
}

StoredJob* JobStore::findIf(const std::function<bool(const StoredJob&)>& matches) {
    const auto it = std::find_if(jobs_.begin(), jobs_.end(), matches);
    return it == jobs_.end() ? nullptr : &*it;
}

StoredJob* JobStore::selected() {
    return jobs_.empty() ? nullptr : &jobs_[selected_];
}

void JobStore::select(const StoredJob& job) {
    selected_ = static_cast<size_t>(&job - jobs_.data());
}

void JobStore::save(const StoredJob& job) {
    try {
        fs::create_directories(fs::path(job.file).parent_path());
        vnu::ReplaceFileContentsOrThrow(job.file, job.data.dump(2) + "\n");
    } catch (const fs::filesystem_error& e) {
        throw std::runtime_error(job.file + ": " + e.code().message());
    } catch (const std::system_error& e) {
        throw std::runtime_error(job.file + ": " + e.what());
    }
}

}  // namespace varnel_app
