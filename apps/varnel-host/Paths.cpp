#include "Paths.h"

#include <filesystem>
#include <initializer_list>

namespace vhost {

std::string programFolder() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

namespace {
std::vector<std::string> below(const std::string& dir, std::initializer_list<const char*> relatives) {
    std::vector<std::string> paths;
    for (const char* relative : relatives)
        paths.push_back((std::filesystem::path(dir) / relative).lexically_normal().string());
    return paths;
}
}  // namespace

std::vector<std::string> bundleCandidates(const std::string& dir) {
    return below(dir, {"VarnelHost", "../share/varnel/VarnelHost"});
}

std::vector<std::string> pluginCandidates(const std::string& dir) {
    return below(dir, {"../../plugin/VarnelPlugin.so", "../lib/varnel/VarnelPlugin.so"});
}

std::string firstExisting(const std::vector<std::string>& candidates) {
    for (const std::string& path : candidates) {
        std::error_code error;
        if (std::filesystem::exists(path, error)) return path;
    }
    return std::string();
}

}  // namespace vhost
