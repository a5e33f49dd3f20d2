// Read-only views over a set of quality-check settings (qcs) and over one check of it. A view
// holds a shared pointer to a constant message, never changes it, and answers an absent entry,
// a wrong type or an index out of range with an empty view, an empty text or zero.
#pragma once

#include <memory>
#include <vector>

#include "text/ustring.h"
#include "ticket/DetectableProblemDescriptions.h"

class umessage;


// One check: its "sev" word and its limits under "note", "warn", "fault" and "ignore".
class WCheckSetting {
public:
    // Severity indexes of GetValue and GetValueNULL (not the order of EProblemSeverity).
    enum : int { kIndexNote = 0, kIndexWarn = 1, kIndexFault = 2, kIndexIgnore = 3 };

    WCheckSetting() = default;
    explicit WCheckSetting(std::shared_ptr<const umessage> check) : check_(std::move(check)) {}
    virtual ~WCheckSetting() = default;
    WCheckSetting(const WCheckSetting&) = default;
    WCheckSetting& operator=(const WCheckSetting&) = default;

    bool empty() const { return check_ == nullptr; }
    const std::shared_ptr<const umessage>& message() const { return check_; }

    // The first "sev" string, matched byte for byte; NotSet for none or an unknown word.
    virtual EProblemSeverity GetSeverity() const;

    // The first number under the index's key (int and long long converted); 0 when there is
    // none or the index is not 0 to 3.
    template <class T>
    T GetValue(int severityIndex) const;
    // True when the index's key holds no number at index 0, or the index is not 0 to 3.
    bool GetValueNULL(int severityIndex) const;

private:
    std::shared_ptr<const umessage> check_;
};

template <>
double WCheckSetting::GetValue<double>(int severityIndex) const;

// One set of quality-check settings: its "checks" and its nested "restrictions".
class WQCS {
public:
    WQCS() = default;
    explicit WQCS(const std::shared_ptr<const umessage>& qcs);

    bool empty() const { return qcs_ == nullptr; }
    const std::shared_ptr<const umessage>& message() const { return qcs_; }
    const std::shared_ptr<const umessage>& checks() const { return checks_; }

    WCheckSetting findCheck(const ustring& name) const;
    unsigned nbOfRestrictions() const;
    WQCS restrictions(unsigned index) const;
    // The check names in key order.
    std::vector<ustring> getNames() const;

private:
    std::shared_ptr<const umessage> qcs_;
    std::shared_ptr<const umessage> checks_;
};
