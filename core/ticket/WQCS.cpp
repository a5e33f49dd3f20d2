#include "ticket/WQCS.h"

#include "message/umessage.h"

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
