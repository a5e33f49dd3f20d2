#include "export_history.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "support/ReplaceFile.h"

namespace varnel_app {
namespace {

// A line longer than this is no line of ours: the file is not read further.
constexpr size_t kLongestLine = 64 * 1024;

bool appendLine(const std::string& file, const std::string& line, std::string* error) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    bool written = fd >= 0;
    const std::string text = line + "\n";
    for (size_t done = 0; written && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) done += size_t(n);
    }
    // A full disk may only show on close.
    if (fd >= 0 && ::close(fd) != 0) written = false;
    if (!written) *error = file + ": " + std::strerror(errno);
    return written;
}

}  // namespace

ExportHistory::ExportHistory(std::string file) : file_(std::move(file)) {
    std::ifstream in(file_, std::ios::binary);
    if (!in) {
        std::error_code missing;
        if (std::filesystem::exists(file_, missing)) throw std::runtime_error(file_ + ": cannot be read");
        return;
    }
    for (std::string line; std::getline(in, line);) {
        if (line.size() > kLongestLine) throw std::runtime_error(file_ + ": not a history (a line too long)");
        ++fileLines_;
        if (line.empty()) continue;
        lines_.push_back(std::move(line));
        if (lines_.size() > kMostLines) lines_.pop_front();
    }
}

bool ExportHistory::add(const std::string& line, std::string* error) {
    lines_.push_back(line);
    if (lines_.size() > kMostLines) lines_.pop_front();
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(file_).parent_path(), ignored);
    if (fileLines_ + 1 < 2 * kMostLines) {
        if (!appendLine(file_, line, error)) return false;
        ++fileLines_;
        return true;
    }
    // Cut back to what is kept, in one replacement, so that a crash never leaves half a history.
    std::string text;
    for (const std::string& kept : lines_) text += kept + "\n";
    if (const int failure = vnu::ReplaceFileContents(file_, text, 0600); failure != 0) {
        *error = file_ + ": cannot write: " + std::strerror(failure);
        return false;
    }
    fileLines_ = lines_.size();
    return true;
}

}  // namespace varnel_app
