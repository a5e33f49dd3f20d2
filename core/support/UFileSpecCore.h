// A file-system location kept as a normalised absolute POSIX path, and the well-known folders.
#pragma once

#include <cstdio>
#include <fstream>
#include <vector>

#include "text/ustring.h"

class UFileSpecCore {
public:
    enum SpecialFolder : int {
        eSpecialFolder_Home = 0,
        eSpecialFolder_CurrentDirectory = 1,
        eSpecialFolder_MainBundle = 2,
        eSpecialFolder_MainBundleParent = 3,
        eSpecialFolder_SharedData = 4,
        eSpecialFolder_Preferences = 5,
        eSpecialFolder_ColorProfiles = 6,
        eSpecialFolder_Desktop = 7,
        eSpecialFolder_Logs = 8,
        eSpecialFolder_Documents = 9,
        eSpecialFolder_Temporary = 10,
    };

    UFileSpecCore() = default;
    UFileSpecCore(const UFileSpecCore& other) = default;
    UFileSpecCore(const ustring& path, const UFileSpecCore* base);
    explicit UFileSpecCore(SpecialFolder folder);
    UFileSpecCore& operator=(const UFileSpecCore& other) = default;

    bool init();
    bool init(const UFileSpecCore& other);
    // An absolute path, or a relative one taken against base; fails for a relative path without base.
    bool init(const ustring& path, const UFileSpecCore* base);
    bool init(SpecialFolder folder);

    // Appends a relative path; ".." climbs, "." and empty components are skipped. On failure the
    // path is left empty.
    bool add(const ustring& relative);
    bool up();

    const ustring& path() const { return m_path; }
    bool isValid() const { return !m_path.empty(); }
    friend bool operator==(const UFileSpecCore& a, const UFileSpecCore& b) { return a.m_path == b.m_path; }

    // The last component; without extension the text before its last '.'.
    ustring name(bool withExtension) const;

    bool exists() const;
    bool isFolder() const;
    bool isFile() const;
    // Entries in the order the directory stream yields them, without "." and "..".
    std::vector<UFileSpecCore> getFolderContent() const;

    FILE* fopen(const char* mode) const;
    std::ifstream& fsopen(std::ifstream& stream, unsigned openmode) const;
    std::ofstream& fsopen(std::ofstream& stream, unsigned openmode) const;
    // Deletes a file, or a folder with everything in it; symbolic links are removed, never followed.
    bool unlink() const;
    // Creates the folder; its parent must exist.
    bool mkdir() const;
    // Creates the folder with access for this user only, or accepts an existing one only when it
    // is a real folder (not a link) owned by this user with mode 0700: in a shared place such as
    // /tmp, another user must not be able to plant or read our files.
    bool mkdirPrivate() const;

    // The host program's bundle folder (folder 2); an empty path means there is none.
    static void setMainBundle(const ustring& path);
    static const ustring& mainBundle();

private:
    bool initFolder(SpecialFolder folder);

    ustring m_path;
};
