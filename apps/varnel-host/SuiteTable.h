// The suites the host offers by name and version, and how often each was acquired and released.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sdk/SPMessages.h"

namespace vhost {

class SuiteTable {
public:
    SuiteTable();
    SuiteTable(const SuiteTable&) = delete;
    SuiteTable& operator=(const SuiteTable&) = delete;

    void add(const char* name, int32_t version, const void* table);
    // Stops offering a suite, as a host without it would. Throws HostError for an unknown name.
    void withhold(const std::string& name);

    // kSPSuiteNotFoundError for a suite not offered, kSPBadSuiteVersionError for another version.
    SPErr acquire(const char* name, int32_t version, const void** suite);
    // Releasing more often than acquiring is counted (and reported) and answered with kBadParameterErr.
    SPErr release(const char* name, int32_t version);

    // One line per suite acquired and released a different number of times.
    std::vector<std::string> imbalances() const;
    SPBasicSuite* basic() { return &basic_; }

private:
    struct Entry {
        std::string name;
        int32_t version;
        const void* table;
        bool offered = true;
        long acquired = 0;
        long released = 0;
    };
    Entry* find(const char* name);

    std::vector<Entry> entries_;
    SPBasicSuite basic_;
};

}  // namespace vhost
