// Finds resource files in a bundle folder, preferring the folder of the user's language.
#pragma once

#include "support/UFileSpecCore.h"
#include "text/ustring.h"

namespace ResourceManager {

// <bundle>/Resources of the bundle set with setLoadBundle, else of the main bundle. Throws
// std::runtime_error when there is no bundle.
UFileSpecCore getResourceFolder();
// The bundle's localisation (the name of one of its "<name>.lproj" folders) that comes first in the
// user's preferences, or "en". Chosen once and kept.
ustring getBestLocal();
// The folder for `language` in `resourceFolder`, also tried under the language's alias ("de" and
// "German"); invalid when there is none. Remembered per language, so the folder is checked once.
UFileSpecCore getLangFolder(const UFileSpecCore& resourceFolder, const ustring& language);
// The file to read for resource `name`: in the chosen language's folder, then in the English one,
// then at the top of the resources folder; invalid when none of them has it.
UFileSpecCore getResourcePath(const ustring& name);

// Searches `bundle` instead of the main bundle; an invalid path returns to the main bundle.
void setLoadBundle(const UFileSpecCore& bundle);
// Forgets the chosen locale and the folder cache, as unloading the module does.
void reset();

}  // namespace ResourceManager
