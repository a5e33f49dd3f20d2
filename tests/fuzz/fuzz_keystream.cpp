// Opens every record and array a key stream holds and reads every field as every type. Any
// failure must be a std::runtime_error whose text starts "UKeyInStream: "; anything else (a
// crash, a sanitizer report, another exception, a hang) is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

#include "keystream_walk.h"
#include "support/ulogger.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vnu::logger.mask = 0;  // undecodable messages would log on every input
    std::istringstream is(std::string(reinterpret_cast<const char*>(data), size));
    try {
        UKeyInStream in(is);
        fuzz_support::WalkKeyStream(in);
    } catch (const std::runtime_error& e) {
        if (!fuzz_support::IsKeyStreamError(e)) std::abort();
    }
    return 0;
}
