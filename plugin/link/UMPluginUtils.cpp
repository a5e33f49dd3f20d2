#include "link/UMPluginUtils.h"

#include <fstream>
#include <map>
#include <string>

#include "os/Aliases.h"
#include "os/LaunchServices.h"
#include "support/ReplaceFile.h"

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
    // The record is the user's own: a new one is private to its owner.
    if (file.isValid()) vnu::ReplaceFileContents(file.path().fileSystemRepresentation().str(), record, 0600);
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
