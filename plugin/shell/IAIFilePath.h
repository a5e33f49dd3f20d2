// ai::FilePath: a host file path, deleted with its owner.
#pragma once

#include "sdk/AISuites.h"
#include "text/ustring.h"

namespace ai {

class FilePath {
public:
    // Throws ai::Error when the host cannot make the path.
    explicit FilePath(const ustring& utf8Path = ustring());
    ~FilePath();
    FilePath(const FilePath&) = delete;
    FilePath& operator=(const FilePath&) = delete;

    AIFilePathRef get() const { return fRef; }
    // Empty when the path is empty or the host cannot tell.
    ustring GetFullPath() const;
    ustring GetFileNameNoExt() const;

private:
    AIFilePathRef fRef = nullptr;
};

}  // namespace ai
