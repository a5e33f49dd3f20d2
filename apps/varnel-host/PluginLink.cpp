#include "PluginLink.h"

#include <dlfcn.h>

#include <stdexcept>

namespace vhost {

PluginLink::PluginLink(const std::string& modulePath) : path_(modulePath) {
    map();
}

void PluginLink::map() {
    if (entry_ != nullptr) return;
    module_ = ::dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) {
        const char* why = ::dlerror();
        throw std::runtime_error("cannot load the plug-in " + path_ + ": " +
                                 (why != nullptr ? why : "dlopen failed"));
    }
    entry_ = reinterpret_cast<PluginMainProc>(::dlsym(module_, "PluginMain"));
    if (entry_ == nullptr) {
        ::dlclose(module_);
        module_ = nullptr;
        throw std::runtime_error("the plug-in " + path_ + " has no PluginMain");
    }
}

void PluginLink::unmap() {
    if (module_ == nullptr) return;
    ::dlclose(module_);
    module_ = nullptr;
    entry_ = nullptr;
}

}  // namespace vhost
