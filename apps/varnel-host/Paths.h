// Where the program finds its bundle and the default plug-in, relative to itself.
#pragma once

#include <string>
#include <vector>

namespace vhost {

// The folder of the running program (/proc/self/exe).
std::string programFolder();
// <dir>/VarnelHost (build tree), then <dir>/../share/varnel/VarnelHost (installed).
std::vector<std::string> bundleCandidates(const std::string& programDir);
// <dir>/../../Illustrator/VarnelPlugin.so (build tree), then <dir>/../lib/varnel/VarnelPlugin.so.
std::vector<std::string> pluginCandidates(const std::string& programDir);
// The first candidate that exists; empty when none does.
std::string firstExisting(const std::vector<std::string>& candidates);

}  // namespace vhost
