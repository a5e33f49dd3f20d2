#include "UMPluginUtils.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <string>

#include "Aliases.h"
#include "LaunchServices.h"

const ustring kVarnelBundleId("com.corvane.Varnel");

UFileSpecCore gVNApplicationSpec;

namespace {

// A record names one path and a file identity; anything larger is not one of ours, and a
// misplaced large file must not be read into memory.
constexpr size_t kMaxAliasRecordBytes = 64 * 1024;

// The shared data folder itself may be missing on a fresh account; the cache is worth creating it.
bool MakeFolders(const UFileSpecCore& folder) {
    if (folder.isFolder()) return true;
    UFileSpecCore parent(folder);
    return parent.up() && MakeFolders(parent) && folder.mkdir();
}

bool ReadAliasRecord(const UFileSpecCore& file, std::string& record) {
    std::ifstream in;
    if (!file.fsopen(in, std::ios::binary)) return false;
    char chunk[4096];
    while (in.read(chunk, sizeof chunk), in.gcount() > 0) {
        record.append(chunk, static_cast<size_t>(in.gcount()));
        if (record.size() > kMaxAliasRecordBytes) return false;
    }
    return !record.empty();
}

// The application's location kept in the alias file; any failure means there is none.
bool ResolveVarnelAppAlias(UFileSpecCore& app) {
    try {
        UFileSpecCore file;
        MakeVarnelAppAliasSpec(file);
        std::string record;
        if (!file.isValid() || !ReadAliasRecord(file, record)) return false;
        std::string path;
        bool wasChanged = false;
        if (FSResolveAliasWithMountFlags(record, kResolveAliasFileNoUI, &path, &wasChanged) != noErr ||
            !app.init(ustring(path), nullptr))
            return false;
        if (wasChanged) UpdateVarnelAppAlias(app);
        return true;
    } catch (...) {
        return false;
    }
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// A temporary file beside the target, renamed over it: the old record stays whole until the new
// one is complete, even when the process dies in between or two processes write at once. The
// record is the user's own, so it keeps mkstemp's mode 0600.
void ReplaceFile(const UFileSpecCore& file, const std::string& bytes) {
    std::string temporary = file.path().fileSystemRepresentation().str() + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return;
    const bool written = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written ||
        ::rename(temporary.c_str(), file.path().fileSystemRepresentation().c_str()) != 0)
        ::unlink(temporary.c_str());
}

}  // namespace

void MakeVarnelAppAliasSpec(UFileSpecCore& spec) {
    if (!spec.init(UFileSpecCore::eSpecialFolder_SharedData) || !spec.add("Corvane")) return;
    MakeFolders(spec);
    spec.add("Varnel Plugin Cache");
}

void UpdateVarnelAppAlias(UFileSpecCore const& app) {
    std::string record;
    if (FSNewAliasMinimal(app.path().str(), &record) != noErr) return;
    UFileSpecCore file;
    MakeVarnelAppAliasSpec(file);
    if (file.isValid()) ReplaceFile(file, record);
}

bool LocateVarnel(UFileSpecCore& out) {
    out.init();
    std::string path;
    if (LSFindApplicationForInfo(kLSUnknownCreator, kVarnelBundleId.str(), std::string(), &path) != noErr)
        return false;
    return out.init(ustring(path), nullptr);
}

void SelectVarnelApplication(bool noLaunch) {
    ProcessSerialNumber psn;
    UFileSpecCore app;
    bool moved = false;
    if (BMUtils::FindProcess(psn, kVarnelBundleId, &app)) {
        moved = !(app == gVNApplicationSpec);
    } else {
        UFileSpecCore aliased;
        if (ResolveVarnelAppAlias(aliased) && aliased.exists())
            app = aliased;
        else if (LocateVarnel(app))
            moved = true;
        else
            return;
        if (!noLaunch) LSOpenApplication(app.path().str(), kLSLaunchDontSwitch);
    }
    if (moved) {
        UpdateVarnelAppAlias(app);
        gVNApplicationSpec = app;
    }
}

namespace BMUtils {

bool FindProcess(ProcessSerialNumber& psn, ustring const& bundleId, UFileSpecCore* bundlePath) {
    ProcessSerialNumber candidate{0, kNoProcess};
    // Any failure ends the walk, not only the end of the list: a broken bus must not loop forever.
    while (GetNextProcess(&candidate) == noErr) {
        std::map<std::string, std::string> info;
        if (ProcessInformationCopyDictionary(&candidate, kProcessDictionaryIncludeAllInformationMask, info) !=
            noErr)
            continue;
        const auto identifier = info.find(kCFBundleIdentifierKey);
        if (identifier == info.end() || identifier->second != bundleId.str()) continue;
        if (bundlePath != nullptr) {
            bundlePath->init();
            const auto path = info.find(kProcessBundlePathKey);
            if (path != info.end()) bundlePath->init(ustring(path->second), nullptr);
        }
        psn = candidate;
        return true;
    }
    return false;
}

bool SwitchToProcess(ustring const& bundleId) {
    ProcessSerialNumber psn;
    return FindProcess(psn, bundleId, nullptr) && SetFrontProcess(&psn) == noErr;
}

}  // namespace BMUtils
