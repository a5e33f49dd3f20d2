#include "os/DesktopEntry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <vector>

namespace vnplatform {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::vector<std::string> SplitColons(const std::string& list) {
    std::vector<std::string> parts;
    std::istringstream in(list);
    for (std::string part; std::getline(in, part, ':');) parts.push_back(part);
    return parts;
}

// Relative folders in these variables are invalid and skipped, as the base directory rules say.
std::vector<std::string> DataFolders() {
    std::vector<std::string> folders;
    std::string home = Environment("XDG_DATA_HOME");
    if (home.empty() || home[0] != '/')
        home = Environment("HOME").empty() ? "" : Environment("HOME") + "/.local/share";
    folders.push_back(home);
    std::string dirs = Environment("XDG_DATA_DIRS");
    for (const std::string& dir : SplitColons(dirs.empty() ? "/usr/local/share:/usr/share" : dirs))
        folders.push_back(dir);
    return folders;
}

bool IsRegularFile(const std::string& path, struct stat* info) {
    return ::stat(path.c_str(), info) == 0 && S_ISREG(info->st_mode);
}

// A value's escapes (\s \n \t \r \\).
std::string UnescapeValue(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char c = value[++i];
        out += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    return out;
}

// The first argument of an Exec value: a quoted word (where \" \` \$ \\ stand for the character)
// or the characters up to the first blank.
std::string FirstArgument(const std::string& exec) {
    std::string word;
    if (exec.empty() || exec[0] != '"') return exec.substr(0, exec.find_first_of(" \t"));
    for (size_t i = 1; i < exec.size(); ++i) {
        if (exec[i] == '"') return word;
        if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
        word += exec[i];
    }
    return "";  // no closing quote
}

}  // namespace

std::string FindDesktopEntry(const std::string& bundleId) {
    for (const std::string& folder : DataFolders()) {
        if (folder.empty() || folder[0] != '/') continue;
        const std::string path = folder + "/applications/" + bundleId + ".desktop";
        struct stat info;
        if (IsRegularFile(path, &info)) return path;
    }
    return "";
}

std::string DesktopEntryProgram(const std::string& text) {
    std::istringstream in(text);
    bool inMainGroup = false;
    std::string exec;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const size_t equals = line.find('=');
        if (!inMainGroup || equals == std::string::npos) continue;
        std::string key = line.substr(0, equals);
        key.erase(key.find_last_not_of(" \t") + 1);
        const size_t start = line.find_first_not_of(" \t", equals + 1);
        const std::string value = UnescapeValue(start == std::string::npos ? "" : line.substr(start));
        if (key == "Hidden" && value == "true") return "";
        if (key == "Exec") exec = value;
    }
    return FirstArgument(exec);
}

std::string ResolveExecutable(const std::string& program) {
    if (program.empty()) return "";
    std::vector<std::string> candidates;
    if (program.find('/') != std::string::npos) {
        if (program[0] == '/') candidates.push_back(program);
    } else {
        const std::string path = Environment("PATH");
        for (const std::string& dir : SplitColons(path.empty() ? "/usr/local/bin:/usr/bin:/bin" : path))
            if (!dir.empty() && dir[0] == '/') candidates.push_back(dir + "/" + program);
    }
    for (const std::string& candidate : candidates) {
        struct stat info;
        if (IsRegularFile(candidate, &info) && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

}  // namespace vnplatform
