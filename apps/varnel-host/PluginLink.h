// The plug-in's code: a module loaded with dlopen, or an entry point linked into the program.
#pragma once

#include <string>

#include "sdk/SPMessages.h"

namespace vhost {

class PluginLink {
public:
    // Loads the module and finds PluginMain; throws std::runtime_error saying why not.
    explicit PluginLink(const std::string& modulePath);
    explicit PluginLink(PluginMainProc entry) : entry_(entry) {}
    ~PluginLink() { unmap(); }
    PluginLink(const PluginLink&) = delete;
    PluginLink& operator=(const PluginLink&) = delete;

    // Calls PluginMain with a message whose header the caller filled.
    SPErr call(const char* caller, const char* selector, void* message) const {
        return entry_(const_cast<char*>(caller), const_cast<char*>(selector), message);
    }

    // The module leaves memory and comes back, as a host purging an unused plug-in does. An
    // entry point linked in stays.
    void unmap();
    void map();
    bool mapped() const { return entry_ != nullptr; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    void* module_ = nullptr;
    PluginMainProc entry_ = nullptr;
};

}  // namespace vhost
