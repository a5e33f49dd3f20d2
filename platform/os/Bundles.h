// The process's main bundle: the folder whose Resources/<lang>.lproj hold its localisations.
// Set once by the program (the host) and read by the code it loads (the plug-in), as both
// would ask the system for the main bundle.
#pragma once

#include <string>

void VNSetMainBundlePath(const std::string& path);
// Empty when the program set none.
std::string VNMainBundlePath();
