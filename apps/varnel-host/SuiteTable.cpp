#include "SuiteTable.h"

#include "HostError.h"
#include "HostState.h"
#include "Trace.h"

namespace vhost {

namespace {

constexpr const char* kBasic = "SP Basic Suite";

void check(SPErr err) {
    switch (err) {
        case kNoErr: return;
        case kSPSuiteNotFoundError: throw HostError(err, "no such suite");
        case kSPBadSuiteVersionError: throw HostError(err, "another version is offered");
        default: throw HostError(err, "released more often than acquired, or nowhere to put the suite");
    }
}

SPErr AcquireSuite(const char* name, int32_t version, const void** suite) {
    SuiteCall call(kBasic, "AcquireSuite", name, version);
    return call.run([&] { check(HostState::current().suites.acquire(name, version, suite)); });
}

SPErr ReleaseSuite(const char* name, int32_t version) {
    SuiteCall call(kBasic, "ReleaseSuite", name, version);
    return call.run([&] { check(HostState::current().suites.release(name, version)); });
}

}  // namespace

SuiteTable::SuiteTable() {
    basic_.AcquireSuite = AcquireSuite;
    basic_.ReleaseSuite = ReleaseSuite;
}

void SuiteTable::add(const char* name, int32_t version, const void* table) {
    entries_.push_back({name, version, table});
}

void SuiteTable::withhold(const std::string& name) {
    Entry* entry = find(name.c_str());
    if (entry == nullptr) throw HostError(kBadParameterErr, "the host has no suite named \"" + name + "\"");
    entry->offered = false;
}

SuiteTable::Entry* SuiteTable::find(const char* name) {
    if (name == nullptr) return nullptr;
    for (Entry& e : entries_) {
        if (e.name == name) return &e;
    }
    return nullptr;
}

SPErr SuiteTable::acquire(const char* name, int32_t version, const void** suite) {
    if (suite == nullptr) return kBadParameterErr;
    *suite = nullptr;
    Entry* entry = find(name);
    if (entry == nullptr || !entry->offered) return kSPSuiteNotFoundError;
    if (entry->version != version) return kSPBadSuiteVersionError;
    ++entry->acquired;
    *suite = entry->table;
    return kNoErr;
}

SPErr SuiteTable::release(const char* name, int32_t version) {
    Entry* entry = find(name);
    if (entry == nullptr || !entry->offered) return kSPSuiteNotFoundError;
    if (entry->version != version) return kSPBadSuiteVersionError;
    ++entry->released;
    return entry->released > entry->acquired ? kBadParameterErr : kNoErr;
}

std::vector<std::string> SuiteTable::imbalances() const {
    std::vector<std::string> lines;
    for (const Entry& e : entries_) {
        if (e.acquired != e.released) {
            lines.push_back("suite \"" + e.name + "\" version " + std::to_string(e.version) + " acquired " +
                            std::to_string(e.acquired) + " times, released " + std::to_string(e.released) +
                            " times");
        }
    }
    return lines;
}

}  // namespace vhost
