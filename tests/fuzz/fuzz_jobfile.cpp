// Any bytes read as a job file with each set of flags the reader tells apart (none, the
// placement block, the full block): reading may throw the key-stream reader's errors, nothing
// else. What it read, written back and read again, must write the same bytes; the boxes for the
// active group, the PDF version of the check settings and the export form are used as the
// plug-in uses them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

#include "job/BJobFile.h"
#include "keystream_walk.h"

namespace {

std::string Written(BJobFile& job, int flags) {
    std::ostringstream out;
    job.JobFileWriteToBuffer(out, flags);
    return out.str();
}

void Read(BJobFile& job, const std::string& bytes, int flags) {
    std::istringstream in(bytes);
    job.JobFileReadFromBuffer(in, flags);
}

// A destination identifier the format cannot carry as it is (empty, with leading zeros, or one
// to four bytes that are no number and read back as the integer they spell) changes on its
// first trip and keeps its new form after. Everything else must come back as it was.
void TakeIdentifiers(const BJobFile& from, BJobFile& to) {
    const BGroupList& groups = from.GetGroups();
    if (to.GetGroups().size() != groups.size()) std::abort();
    for (size_t g = 0; g < groups.size(); ++g) {
        if (to.GetGroups()[g].size() != groups[g].size()) std::abort();
        for (size_t d = 0; d < groups[g].size(); ++d)
            to.GetGroups()[g][d].SetIdentifier(groups[g][d].GetIdentifier());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Profile references resolve in the colour-profile folder: point it below a file, where no folder
    // can be created, not even by root.
    static const bool environment = setenv("XDG_DATA_HOME", "/dev/null/varnel-fuzz", 1) == 0;
    (void)environment;
    const std::string input(reinterpret_cast<const char*>(data), size);
    for (const int flags : {0, int{BJobFile::kFlagPlacement}, int{BJobFile::kFlagFull}}) {
        BJobFile job;
        try {
            Read(job, input, flags);
        } catch (const std::runtime_error& e) {
            if (!fuzz_support::IsKeyStreamError(e)) std::abort();
            continue;
        }
        // What the writer wrote reads back without error; an exception escaping is a finding.
        const std::string bytes = Written(job, flags);
        BJobFile again, settled;
        Read(again, bytes, flags);
        const std::string second = Written(again, flags);
        Read(settled, second, flags);
        TakeIdentifiers(job, again);
        if (Written(again, flags) != bytes || Written(settled, flags) != second) std::abort();

        job.ComputeRequiredBoxesForActiveGroup();
        const double version = job.GetCheckSettings().GetDefaultPDFVersion();
        if (version != 0 && !(version >= 1.3 && version <= 1.7)) std::abort();
        std::ostringstream exported;
        job.JobFileWriteToBufferForExport(exported);
    }
    return 0;
}
