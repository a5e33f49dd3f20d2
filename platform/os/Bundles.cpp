#include "os/Bundles.h"

namespace {

std::string& MainBundlePath() {
    static std::string path;
    return path;
}

}  // namespace

void VNSetMainBundlePath(const std::string& path) {
    MainBundlePath() = path;
}

std::string VNMainBundlePath() {
    return MainBundlePath();
}
