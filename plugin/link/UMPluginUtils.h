// Finding, launching and activating the Varnel application, and remembering where it is.
#pragma once

#include "os/Processes.h"
#include "support/UFileSpecCore.h"
#include "text/ustring.h"

// The Varnel application's bundle identifier: its well-known bus name and desktop entry name.
extern const ustring kVarnelBundleId;

// The application's location as last seen running or found by its desktop entry; empty at load.
extern UFileSpecCore gVNApplicationSpec;

// Makes sure the application is known and, unless `noLaunch`, running (started in the
// background); refreshes gVNApplicationSpec and the alias file when it moved.
void SelectVarnelApplication(bool noLaunch);

// The program of the application's desktop entry; false, with `out` cleared, when there is none.
bool LocateVarnel(UFileSpecCore& out);

// Records `app` in the alias file. The file is replaced whole, so a reader never sees half a record.
void UpdateVarnelAppAlias(UFileSpecCore const& app);

// The alias file "Corvane/Varnel Plugin Cache" in the shared data folder, whose folders are
// created when missing; left empty when the shared data folder is unknown.
void MakeVarnelAppAliasSpec(UFileSpecCore& spec);

namespace BMUtils {

// The first registered process whose bundle identifier is exactly `bundleId` (case matters);
// `bundlePath`, when given, is cleared and set to the process's bundle path.
bool FindProcess(ProcessSerialNumber& psn, ustring const& bundleId, UFileSpecCore* bundlePath);

// Brings the process with `bundleId` to the front; false when none runs.
bool SwitchToProcess(ustring const& bundleId);

}  // namespace BMUtils
