// Any bytes as a string table: the reader ends with entries or a runtime error, never anything else.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>

#include "ustring_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    vnu::flat_map<ustring, ustring> entries;
    try {
        parseStringTable(in, entries);
    } catch (const std::runtime_error&) {
        // A syntax error is a normal outcome for arbitrary bytes.
    }
    return 0;
}
