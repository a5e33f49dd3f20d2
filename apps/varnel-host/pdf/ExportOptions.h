// What the PDF writer takes from an export action's parameter block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../ActionParams.h"

namespace vhost::pdf {

// Bleeds in points, each side growing the page outwards from the artboard.
struct Bleeds {
    double top = 0;
    double bottom = 0;
    double left = 0;
    double right = 0;
};

struct ExportOptions {
    std::string path;
    std::string version;  // "1.3" to "1.7"
    Bleeds bleeds;
    std::vector<std::string> ignored;  // keys of the block the writer does not act on, in block order
};

// Throws std::runtime_error, naming the path once it is known, for a block the writer must refuse.
ExportOptions ReadExportOptions(const ActionParams& params);

// A four-character key as its characters ("comp"), or as 0x-prefixed hexadecimal when one of them
// is not printable.
std::string KeyText(uint32_t key);

}  // namespace vhost::pdf
