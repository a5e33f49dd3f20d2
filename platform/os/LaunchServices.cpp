// Finding an application by bundle identifier through its desktop entry.
#include "os/LaunchServices.h"

#include <fstream>
#include <sstream>

#include "os/DesktopEntry.h"

OSStatus LSFindApplicationForInfo(OSType /*creator*/, const std::string& bundleId,
                                  const std::string& /*name*/, std::string* applicationPath) {
    // Only the bundle identifier finds an application here; creators and names have no
    // counterpart in desktop entries.
    if (applicationPath == nullptr || bundleId.empty() || bundleId.find('/') != std::string::npos)
        return paramErr;
    applicationPath->clear();
    const std::string entry = vnplatform::FindDesktopEntry(bundleId);
    if (entry.empty()) return kLSApplicationNotFoundErr;
    std::ifstream in(entry, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    // The first entry found decides, as it hides those after it; a broken one finds nothing.
    const std::string program = vnplatform::ResolveExecutable(vnplatform::DesktopEntryProgram(text.str()));
    if (program.empty()) return kLSApplicationNotFoundErr;
    *applicationPath = program;
    return noErr;
}
