// Alias records: a file's absolute path and what tells whether it moved (device and inode).
#pragma once

#include <string>

#include "os/MacTypes.h"

constexpr uint32_t kResolveAliasFileNoUI = 1;

// fnfErr when `path` does not exist or is not absolute.
OSErr FSNewAliasMinimal(const std::string& path, std::string* record);
// Resolves a record made by FSNewAliasMinimal: fnfErr when its target vanished, paramErr for
// bytes that are no record. `wasChanged` is true when the target is found again but the record
// no longer describes it (it was replaced: another device or inode), so the caller rewrites it.
OSErr FSResolveAliasWithMountFlags(const std::string& record, uint32_t mountFlags, std::string* path,
                                   bool* wasChanged);
