// Alias record: "VNAL", format version 1, then device, inode and the path's length as
// little-endian 64, 64 and 32-bit integers, then the absolute path's bytes. Nothing else.
#include "os/Aliases.h"

#include <sys/stat.h>

namespace {

constexpr char kMagic[4] = {'V', 'N', 'A', 'L'};
constexpr unsigned char kVersion = 1;
constexpr size_t kHeaderSize = sizeof kMagic + 1 + 8 + 8 + 4;

void PutLittleEndian(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint64_t GetLittleEndian(const std::string& in, size_t offset, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint64_t(static_cast<unsigned char>(in[offset + i])) << (8 * i);
    return value;
}

}  // namespace

OSErr FSNewAliasMinimal(const std::string& path, std::string* record) {
    if (record == nullptr) return paramErr;
    struct stat info;
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos ||
        ::stat(path.c_str(), &info) != 0)
        return fnfErr;
    std::string bytes(kMagic, sizeof kMagic);
    bytes += static_cast<char>(kVersion);
    PutLittleEndian(bytes, info.st_dev, 8);
    PutLittleEndian(bytes, info.st_ino, 8);
    PutLittleEndian(bytes, path.size(), 4);
    *record = bytes + path;
    return noErr;
}

OSErr FSResolveAliasWithMountFlags(const std::string& record, uint32_t /*mountFlags*/, std::string* path,
                                   bool* wasChanged) {
    // Resolving never asks the user anything, so the no-interface flag changes nothing.
    if (path == nullptr || record.size() < kHeaderSize ||
        record.compare(0, sizeof kMagic, kMagic, sizeof kMagic) != 0 ||
        static_cast<unsigned char>(record[sizeof kMagic]) != kVersion)
        return paramErr;
    const uint64_t device = GetLittleEndian(record, 5, 8);
    const uint64_t inode = GetLittleEndian(record, 13, 8);
    const uint64_t length = GetLittleEndian(record, 21, 4);
    if (record.size() - kHeaderSize != length || length == 0 || record[kHeaderSize] != '/') return paramErr;
    const std::string target = record.substr(kHeaderSize);
    if (target.find('\0') != std::string::npos) return paramErr;
    struct stat info;
    if (::stat(target.c_str(), &info) != 0) return fnfErr;
    *path = target;
    if (wasChanged != nullptr)
        *wasChanged = uint64_t(info.st_dev) != device || uint64_t(info.st_ino) != inode;
    return noErr;
}
