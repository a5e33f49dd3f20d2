// The plug-in information record that comes with an 'AboT' request.
#pragma once

#include <string>
#include <string_view>

namespace varnel_app {

struct PluginInfo {
    std::string product;  // "Illustrator Plugin"
    std::string company;
};

// Bytes 00 02, then two texts each after its 32-bit big-endian length. Throws std::runtime_error
// saying what is wrong with any other bytes.
PluginInfo decodePluginInfo(std::string_view record);

}  // namespace varnel_app
