// An Action Manager parameter block as the host records it: keys in the order they were set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vhost {

struct ActionParam {
    enum class Type { Integer, Real, String, Boolean, Enumerated };
    uint32_t key = 0;        // a four-character code, 'comp' = 0x636F6D70
    Type type = Type::Integer;
    int64_t integer = 0;     // Integer, Boolean (0 or 1) and Enumerated values
    double real = 0;
    std::string text;        // String values; the type name of Enumerated values
};

// Setting a key again replaces its value in place, as the host's block does.
using ActionParams = std::vector<ActionParam>;

}  // namespace vhost
