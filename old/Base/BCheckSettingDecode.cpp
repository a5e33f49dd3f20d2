#include "BCheckSettingDecode.h"

#include <memory>

#include "ConstantUStrings.h"
#include "DetectableProblemDescriptions.h"
#include "umessage.h"

namespace check_setting_decode {

namespace {

ESettingType describedType(const ustring& name) {
    const DetectableProblemDescriptions* table = detectableProblemDescriptions();
    return table ? table->GetProblemDescription(name).GetProblemTypeEnum() : eSettingType_Undefined;
}

bool isOneOf(const ustring& name, std::initializer_list<const ustring*> names) {
    for (const ustring* n : names)
        if (*n == name) return true;
    return false;
}

// Page-box problems that a job with destinations always treats as faults, whatever the local qcs says.
bool isForcedFaultWithDestinations(const ustring& name) {
    return isOneOf(name, {&eProblemIncorrectBleedBox, &eProblemMissingBleedBox, &eProblemIncorrectTrimBox,
                          &eProblemMissingTrimBox, &eProblemMediaTooSmall, &eProblemArtBoxDetected});
}

// Problems whose destinations' definition wins over the local one.
bool isDestinationDefined(const ustring& name) {
    return isOneOf(name, {&eProblemInkWeightTAC, &eProblemImageNotJPEGEncoded, &eProblemImageJPEGEncoded,
                          &eProblemSetting_PrinterMarks});
}

const std::shared_ptr<const umessage>& forcedFaultCheck() {
    static const std::shared_ptr<const umessage> check = [] {
        auto m = std::make_shared<umessage>();
        m->addData_priv<ustring>(kString_sev, umessage_type_string, kString_fault, false);
        return std::shared_ptr<const umessage>(std::move(m));
    }();
    return check;
}

struct Collector {
    const ustring& name;
    ESettingType type;
    bool hasDestinations = false;
    std::vector<WCheckSetting> chain;

    void collect(const WQCS& qcs, bool isLocal) {
        for (unsigned i = 0, n = qcs.nbOfRestrictions(); i < n; ++i) {
            const WQCS restriction = qcs.restrictions(i);
            if (!restriction.empty()) collect(restriction, false);
        }
        if (isLocal && hasDestinations) {
            if (isForcedFaultWithDestinations(name))
                chain.emplace_back(forcedFaultCheck());
            else if (isDestinationDefined(name) && !chain.empty())
                return;
        }
        WCheckSetting check = qcs.findCheck(name);
        if (check.empty() && (type == eSettingType_Boolean || type == eSettingType_LimitsLow ||
                              type == eSettingType_LimitsHigh))
            check = qcs.findCheck(kString_all);
        if (!check.empty()) chain.push_back(std::move(check));
    }
};

// The check's integer "fix" is odd.
bool isFixable(const WCheckSetting& check) {
    int fix = 0;
    return check.message()->find<int>(kString_fix, 0, fix) && fix % 2 != 0;
}

bool anyFixable(const std::vector<WCheckSetting>& chain) {
    for (const WCheckSetting& c : chain)
        if (isFixable(c)) return true;
    return false;
}

// A copy of `winner` with "sev" set to `word` and "fix" = 1 only when `fix`.
std::shared_ptr<umessage> combinedCopy(const WCheckSetting& winner, const ustring& word, bool fix) {
    auto m = std::make_shared<umessage>(*winner.message());
    m->erase(kString_sev);
    m->addData_priv<ustring>(kString_sev, umessage_type_string, word, false);
    m->erase(kString_fix);
    if (fix) m->addData_priv<int>(kString_fix, umessage_type_int, 1, false);
    return m;
}

}  // namespace

std::vector<WCheckSetting> CollectChain(const WEffectiveProfile& profile, const ustring& name) {
    Collector c{name, describedType(name), false, {}};
    const std::shared_ptr<const umessage>& ticket = profile.message();
    if (!ticket) return {};
    unsigned count = 0;
    if (ticket->getInfo(kString_destinations, count) && count > 0) {
        c.hasDestinations = true;
        for (unsigned i = 0; i < count; ++i) {
            const WDestination destination = profile.destination(i);
            if (destination.empty()) continue;
            const WQCS qcs = destination.qcs();
            if (!qcs.empty()) c.collect(qcs, false);
        }
    }
    const WQCS local = profile.localQCS();
    if (!local.empty()) c.collect(local, true);
    return std::move(c.chain);
}

WCheckSetting ReduceBoolean(const std::vector<WCheckSetting>& chain) {
    const WCheckSetting* winner = nullptr;
    ustring gravest;
    for (const WCheckSetting& c : chain) {
        ustring word;
        c.message()->find<ustring>(kString_sev, 0, word);
        if (winner == nullptr || compare_severity(word, gravest) > 0) {
            winner = &c;
            gravest = word;
        }
    }
    // "ignore" is the least graded word; anything below it grades nothing.
    if (winner == nullptr || compare_severity(gravest, kString_ignore) < 0) return {};
    const bool fixable = anyFixable(chain);
    if (fixable && gravest == kString_fault) gravest = kString_warn;
    return WCheckSetting(combinedCopy(*winner, gravest, fixable));
}

WCheckSetting ReduceLimits(const std::vector<WCheckSetting>& chain, bool low) {
    // Gravest first: the first key with a kept number names the severity.
    const ustring* const keys[] = {&kString_fault, &kString_warn, &kString_note};
    struct Kept {
        bool found = false;
        double value = 0;
        const WCheckSetting* first = nullptr;
    } kept[3];
    for (const WCheckSetting& c : chain) {
        for (int k = 0; k < 3; ++k) {
            double v = 0;
            if (!c.message()->find<double>(*keys[k], 0, v)) continue;
            if (!kept[k].found) {
                kept[k] = {true, v, &c};
            } else if (low ? v > kept[k].value : v < kept[k].value) {
                kept[k].value = v;
            }
        }
    }
    int gravest = 0;
    while (gravest < 3 && !kept[gravest].found) ++gravest;
    if (gravest == 3) return {};

    const ustring& word = *keys[gravest];
    const bool fix = anyFixable(chain) && word != kString_fault;
    std::shared_ptr<umessage> m = combinedCopy(*kept[gravest].first, word, fix);
    for (int k = 0; k < 3; ++k) {
        m->erase(*keys[k]);
        if (kept[k].found) m->addData_priv<double>(*keys[k], umessage_type_double, kept[k].value, false);
    }
    return WCheckSetting(std::move(m));
}

WCheckSetting ReduceParameter(const std::vector<WCheckSetting>& chain) {
    for (const WCheckSetting& c : chain) {
        ustring s;
        for (unsigned i = 0; i < 3; ++i)
            if (c.message()->find<ustring>(kString_P, i, s)) return c;
    }
    return {};
}

WCheckSetting ReduceChain(const std::vector<WCheckSetting>& chain, const ustring& name) {
    const DetectableProblemDescriptions* table = detectableProblemDescriptions();
    if (chain.empty()) {
        if (!table) return {};
        return WCheckSetting(table->GetProblemDescription(name).GetDefaults());
    }
    if (chain.size() == 1) return chain.front();
    if (!table) return {};
    switch (table->GetProblemDescription(name).GetProblemTypeEnum()) {
        case eSettingType_Boolean: return ReduceBoolean(chain);
        case eSettingType_LimitsLow: return ReduceLimits(chain, true);
        case eSettingType_LimitsHigh: return ReduceLimits(chain, false);
        case eSettingType_Parameter:
        case eSettingType_StringParameter: return ReduceParameter(chain);
        default: return {};
    }
}

}  // namespace check_setting_decode

WCheckSetting FindCheckSetting(const WEffectiveProfile& profile, const ustring& name) {
    return check_setting_decode::ReduceChain(check_setting_decode::CollectChain(profile, name), name);
}
