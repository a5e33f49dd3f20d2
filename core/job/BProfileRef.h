// A reference to an ICC colour profile on disk.
#pragma once

#include "text/ustring.h"

class BProfileRef {
public:
    BProfileRef() = default;
    explicit BProfileRef(const ustring& path) : fPath(path) {}

    const ustring& GetPath() const { return fPath; }
    friend bool operator==(const BProfileRef& a, const BProfileRef& b) { return a.fPath == b.fPath; }

private:
    ustring fPath;
};
