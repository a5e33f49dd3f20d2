// Scratch folders, files and environment variables for tests that touch the file system.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "support/ulogger.h"

namespace testing_support {

// The whole file; "" when there is none, or a folder stands in its place.
inline std::string ReadFile(const std::string& path) {
    if (!std::filesystem::is_regular_file(path)) return "";
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::size_t CountEntries(const std::filesystem::path& folder) {
    return std::distance(std::filesystem::directory_iterator(folder), {});
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "varnel-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

    // Writes `bytes` to the relative path, creating the folders on the way.
    std::string write(const std::string& relative, const std::string& bytes) const {
        std::filesystem::create_directories(std::filesystem::path(*this / relative).parent_path());
        std::ofstream(*this / relative, std::ios::binary) << bytes;
        return *this / relative;
    }
    std::string makeFolder(const std::string& relative) const {
        std::filesystem::create_directories(*this / relative);
        return *this / relative;
    }

private:
    std::string path_;
};

// Sets or unsets environment variables for one scope and restores them afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }
    void set(const std::string& name, const std::string& value) {
        remember(name);
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    void unset(const std::string& name) {
        remember(name);
        ::unsetenv(name.c_str());
    }

private:
    void remember(const std::string& name) {
        const char* value = ::getenv(name.c_str());
        if (saved_.count(name) == 0) saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }
    std::map<std::string, std::optional<std::string>> saved_;
};

// Captures the process logger's lines for one scope, with every level enabled.
class CapturedLog {
public:
    CapturedLog() : previousStream_(vnu::logger.stream()), previousMask_(vnu::logger.mask) {
        vnu::logger.setStream(&lines_);
        vnu::logger.mask = 63;
    }
    ~CapturedLog() {
        vnu::logger.setStream(previousStream_);
        vnu::logger.mask = previousMask_;
    }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    std::string text() const { return lines_.str(); }
    // The number of lines that contain `fragment`.
    int count(const std::string& fragment) const {
        std::istringstream in(lines_.str());
        int n = 0;
        for (std::string line; std::getline(in, line);) n += line.find(fragment) != std::string::npos;
        return n;
    }

private:
    std::ostringstream lines_;
    std::ostream* previousStream_;
    unsigned previousMask_;
};

}  // namespace testing_support
