// Jobs as the plug-in receives them in replies.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "job_store.h"

namespace varnel_app {

// Replies and the requests they answer carry job files written with these flags.
constexpr int kReplyFlags = 4;

class ReplyBuilder {
public:
    // `outFolder`: absolute; where jobs without an absolute document file export to.
    explicit ReplyBuilder(std::string outFolder) : outFolder_(std::move(outFolder)) {}

    // The stored job with its file paths made absolute (an empty "documentFile" becomes
    // <out>/<job name>, relative paths are taken in the output folder), the problem-description
    // catalogue with the job's own entries, its ticket (an empty one when it has none), and the
    // required boxes of the active group for every box the job does not give itself.
    nlohmann::ordered_json resolve(const StoredJob& job) const;

    // resolve() as a job file written with flags 4. Throws std::runtime_error naming what is
    // wrong with the job.
    std::string bytes(const StoredJob& job) const;

    const std::string& outFolder() const { return outFolder_; }

private:
    std::string outFolder_;
};

}  // namespace varnel_app
