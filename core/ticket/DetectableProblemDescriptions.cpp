#include "ticket/DetectableProblemDescriptions.h"

#include <utility>

#include "message/umessage.h"

ESettingType settingTypeFromWord(const ustring& word) {
    if (word == kString_boolean) return eSettingType_Boolean;
    if (word == kString_limitsLow) return eSettingType_LimitsLow;
    if (word == kString_limitsHigh) return eSettingType_LimitsHigh;
    if (word == kString_parameter) return eSettingType_Parameter;
    if (word == kString_stringParameter) return eSettingType_StringParameter;
    if (word == kString_combiningParameterLow) return eSettingType_CombiningParameterLow;
    return eSettingType_Undefined;
}

EProblemSeverity severityFromWord(const ustring& word) {
    for (std::int32_t s = eProblemSeverity_NotSet; s <= eProblemSeverity_ParameterNotSet; ++s) {
        if (word == severityWord(static_cast<EProblemSeverity>(s))) return static_cast<EProblemSeverity>(s);
    }
    return eProblemSeverity_NotSet;
}

const ustring& severityWord(EProblemSeverity severity) {
    switch (severity) {
        case eProblemSeverity_NotSet: return kString_notset;
        case eProblemSeverity_Ignore: return kString_ignore;
        case eProblemSeverity_Note: return kString_note;
        case eProblemSeverity_Warn: return kString_warn;
        case eProblemSeverity_Fault: return kString_fault;
        case eProblemSeverity_Dynamic: return kString_dynamic;
        case eProblemSeverity_Parameter: return kString_parameter;
        case eProblemSeverity_ParameterNotSet: return kString_parameterNotSet;
    }
    return eProblemUndefined;
}

int compare_severity(const ustring& a, const ustring& b) {
    auto rank = [](const ustring& word) {
        if (word == kString_ignore) return 1;
        if (word == kString_note) return 2;
        if (word == kString_warn) return 3;
        if (word == kString_fault) return 4;
        return 0;
    };
    return rank(a) - rank(b);
}

ProblemDescription::ProblemDescription(const umessage* description) : description_(description) {
    ustring word;
    if (description_ != nullptr && description_->find<ustring>(kString_type, 0, word))
        type_ = settingTypeFromWord(word);
}

bool ProblemDescription::useUserUnits() const {
    bool value = false;
    if (description_ != nullptr) description_->find<bool>(kString_userUnits, 0, value);
    return value;
}

std::shared_ptr<const umessage> ProblemDescription::GetDefaults() const {
    if (description_ == nullptr) return nullptr;
    return description_->get<std::shared_ptr<const umessage>>(kString_defaults, 0, nullptr);
}

DetectableProblemDescriptions::DetectableProblemDescriptions(const umessage* descriptions) {
    if (descriptions == nullptr) return;
    static const ustring kConflicts("conflicts");
    // The names come in key order, so every insertion below lands at the end of its map.
    for (const ustring& name : descriptions->getNames()) {
        std::shared_ptr<const umessage> description;
        if (!descriptions->find(name, 0, description) || description == nullptr) continue;
        descriptions_[name] = description;
        unsigned count = 0;
        if (!description->getInfo(kConflicts, count)) continue;
        // A "conflicts" field that holds no text still gives the name an (empty) list.
        std::vector<ustring>& list = conflicts_[name];
        ustring conflict;
        for (unsigned i = 0; description->find(kConflicts, i, conflict); ++i) list.push_back(conflict);
    }
}

ProblemDescription DetectableProblemDescriptions::GetProblemDescription(const ustring& name) const {
    auto it = descriptions_.find(name);
    return it == descriptions_.end() ? ProblemDescription() : ProblemDescription(it->second.get());
}

const std::vector<ustring>& DetectableProblemDescriptions::GetConflicts(const ustring& name) const {
    static const std::vector<ustring> kNone;
    auto it = conflicts_.find(name);
    return it == conflicts_.end() ? kNone : it->second;
}

namespace {

umessage& processDescriptionMessage() {
    static umessage s_message;
    return s_message;
}

}  // namespace

void setDetectableProblemDescriptions(umessage descriptions) {
    processDescriptionMessage() = std::move(descriptions);
}

const DetectableProblemDescriptions* detectableProblemDescriptions() {
    static std::unique_ptr<const DetectableProblemDescriptions> s_table;
    if (s_table == nullptr && !processDescriptionMessage().empty())
        s_table = std::make_unique<const DetectableProblemDescriptions>(&processDescriptionMessage());
    return s_table.get();
}
