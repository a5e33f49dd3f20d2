// Any bytes read as a job file, with the document flags or the reply flags, then written back:
// reading may throw the key-stream reader's errors, and nothing else may go wrong.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

#include "BJobFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Profile references resolve in the colour-profile folder: point it below a file, where no folder
    // can be created, not even by root.
    static const bool environment = setenv("XDG_DATA_HOME", "/dev/null/varnel-fuzz", 1) == 0;
    (void)environment;
    if (size == 0) return 0;
    const int flags = (data[0] & 1) != 0 ? BJobFile::kFlagFull : BJobFile::kFlagPlacement;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    BJobFile job;
    try {
        job.JobFileReadFromBuffer(in, flags);
    } catch (const std::runtime_error&) {
        return 0;
    }
    job.ComputeRequiredBoxesForActiveGroup();
    std::ostringstream out;
    job.JobFileWriteToBuffer(out, flags);
    std::ostringstream exported;
    job.JobFileWriteToBufferForExport(exported);
    return 0;
}
