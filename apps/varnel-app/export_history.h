// The exports the plug-in reported, a line each ("2026-12-06 20:14:12 brochure (...): ..."),
// kept in a file so that they survive a restart.
#pragma once

#include <deque>
#include <string>

namespace varnel_app {

class ExportHistory {
public:
    // Takes the last kMostLines lines `file` holds; a missing file is an empty history. Throws
    // std::runtime_error naming the file when it exists and cannot be read.
    explicit ExportHistory(std::string file);

    // Appends `line` to memory and to the file. False, with the reason in `error`, when the file
    // could not take it: the line is then kept for this run only.
    bool add(const std::string& line, std::string* error);
    const std::deque<std::string>& lines() const { return lines_; }
    const std::string& file() const { return file_; }

    static constexpr size_t kMostLines = 1000;

private:
    std::string file_;
    std::deque<std::string> lines_;
    size_t fileLines_ = 0;  // what the file holds, so that it is cut back before it grows long
};

}  // namespace varnel_app
