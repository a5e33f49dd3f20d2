#include "ticket/WQCS.h"

#include "message/umessage.h"
#include "ticket/WTicket.h"

namespace {

using MessagePtr = std::shared_ptr<const umessage>;

// The keys of GetValue's severity indexes; null outside 0 to 3.
const ustring* limitKey(int severityIndex) {
    switch (static_cast<unsigned>(severityIndex)) {
        case WCheckSetting::kIndexNote: return &kString_note;
        case WCheckSetting::kIndexWarn: return &kString_warn;
        case WCheckSetting::kIndexFault: return &kString_fault;
        case WCheckSetting::kIndexIgnore: return &kString_ignore;
        default: return nullptr;
    }
}

}  // namespace

EProblemSeverity WCheckSetting::GetSeverity() const {
    ustring word;
    if (check_ == nullptr || !check_->find(kString_sev, 0, word)) return eProblemSeverity_NotSet;
    return severityFromWord(word);
}

template <>
double WCheckSetting::GetValue<double>(int severityIndex) const {
    const ustring* key = limitKey(severityIndex);
    double value = 0.0;
    if (check_ != nullptr && key != nullptr) check_->find(*key, 0, value);
    return value;
}

bool WCheckSetting::GetValueNULL(int severityIndex) const {
    const ustring* key = limitKey(severityIndex);
    if (check_ == nullptr || key == nullptr) return true;
    return !check_->hasData(*key, umessage_type_double, 0) && !check_->hasData(*key, umessage_type_int, 0) &&
           !check_->hasData(*key, umessage_type_longlong, 0);
}

WQCS::WQCS(const MessagePtr& qcs) : qcs_(qcs) {
    if (qcs_ != nullptr) checks_ = qcs_->get<MessagePtr>(kString_checks, 0, nullptr);
}

WCheckSetting WQCS::findCheck(const ustring& name) const {
    if (checks_ == nullptr) return WCheckSetting();
    return WCheckSetting(checks_->get<MessagePtr>(name, 0, nullptr));
}

unsigned WQCS::nbOfRestrictions() const {
    unsigned count = 0;
    if (qcs_ != nullptr) qcs_->getInfo(kString_restrictions, count);
    return count;
}

WQCS WQCS::restrictions(unsigned index) const {
    if (qcs_ == nullptr) return WQCS();
    return WQCS(qcs_->get<MessagePtr>(kString_restrictions, index, nullptr));
}

std::vector<ustring> WQCS::getNames() const {
    return checks_ == nullptr ? std::vector<ustring>() : checks_->getNames();
}

WConstEffectiveProfileCheckSettingIterator::WConstEffectiveProfileCheckSettingIterator(
    const WEffectiveProfile& profile) {
    collectChecks(profile);
    position_ = names_.begin();
}

bool WConstEffectiveProfileCheckSettingIterator::next() {
    if (!started_) {
        started_ = true;
    } else if (position_ != names_.end()) {
        ++position_;
    }
    return position_ != names_.end();
}

const ustring& WConstEffectiveProfileCheckSettingIterator::name() const {
    return position_ != names_.end() ? *position_ : eProblemUndefined;
}

void WConstEffectiveProfileCheckSettingIterator::collectChecks(const WEffectiveProfile& profile) {
    if (profile.empty()) return;
    const unsigned count = profile.nbOfDestinations();
    for (unsigned i = 0; i < count; ++i) {
        WDestination destination = profile.destination(i);
        if (!destination.empty()) collectChecks(destination.qcs());
    }
    collectChecks(profile.localQCS());
}

void WConstEffectiveProfileCheckSettingIterator::collectChecks(const WQCS& qcs) {
    if (qcs.empty()) return;
    if (qcs.checks() != nullptr) {
        // The keys come in ascending order and most qcs name the same checks, so the place after
        // the previous key is nearly always the right one: one equality test (lengths first) and
        // no copy for a known name, a full search only when the set skips ahead.
        auto at = names_.begin();
        for (const auto& entry : qcs.checks()->entries()) {
            const ustring& name = entry.first;
            if (at != names_.end() && *at == name) {
                ++at;
                continue;
            }
            if (at != names_.end() && *at < name) {
                at = names_.lower_bound(name);
                if (at != names_.end() && *at == name) {
                    ++at;
                    continue;
                }
            }
            names_.emplace_hint(at, name);
        }
    }
    const unsigned count = qcs.nbOfRestrictions();
    for (unsigned i = 0; i < count; ++i) collectChecks(qcs.restrictions(i));
}
