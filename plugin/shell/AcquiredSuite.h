// A suite acquired for one piece of work and released on every path out of it.
#pragma once

#include "sdk/SPMessages.h"

template <typename SuiteType>
class AcquiredSuite {
public:
    AcquiredSuite(SPBasicSuite* basic, const char* name, int32_t version)
        : fBasic(basic), fName(name), fVersion(version) {
        fError = basic != nullptr ? basic->AcquireSuite(name, version, (const void**)&fSuite)
                                  : kSPSuiteNotFoundError;
        if (fError != kNoErr) fSuite = nullptr;
    }
    ~AcquiredSuite() {
        if (fSuite != nullptr) fBasic->ReleaseSuite(fName, fVersion);
    }
    AcquiredSuite(const AcquiredSuite&) = delete;
    AcquiredSuite& operator=(const AcquiredSuite&) = delete;

    explicit operator bool() const { return fSuite != nullptr; }
    SuiteType* get() const { return fSuite; }
    SuiteType* operator->() const { return fSuite; }
    AIErr error() const { return fError; }

private:
    SPBasicSuite* fBasic;
    const char* fName;
    int32_t fVersion;
    SuiteType* fSuite = nullptr;
    AIErr fError;
};
