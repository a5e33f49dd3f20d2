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

using Link = ProfileChecks::Link;

// Never changed once made; not const only so that a chain can point at it like at a stored check.
const std::shared_ptr<umessage>& forcedFaultCheck() {
    static const std::shared_ptr<umessage> check = [] {
        auto m = std::make_shared<umessage>();
        m->addData_priv<ustring>(kString_sev, umessage_type_string, kString_fault, false);
        return m;
    }();
    return check;
}

// The stored pointer that get<message>(name, 0) would copy from this entry; null where that
// gives null.
Link firstMessage(const umessage_details::dyn_array& entry) {
    using Array = umessage_details::dyn_array_impl<std::shared_ptr<umessage>>;
    const auto* array = dynamic_cast<const Array*>(&entry);
    if (array == nullptr || array->typeId != umessage_type_message || array->values.empty() ||
        array->values.front() == nullptr)
        return nullptr;
    return &array->values.front();
}

Link firstMessage(const umessage& message, const ustring& name) {
    const auto it = message.entries().find(name);
    return it == message.entries().end() ? nullptr : firstMessage(*it->second);
}

using Chain = std::vector<Link>;

// The check's integer "fix" is odd.
bool isFixable(const umessage& m) {
    int fix = 0;
    // Most checks have no "fix": one lookup instead of one per convertible type.
    return m.hasData(kString_fix) && m.find<int>(kString_fix, 0, fix) && fix % 2 != 0;
}

bool anyFixable(const Chain& chain) {
    for (Link c : chain)
        if (isFixable(**c)) return true;
    return false;
}

// A copy of `winner` with "sev" set to `word` and "fix" = 1 only when `fix`.
std::shared_ptr<umessage> combinedCopy(const umessage& winner, const ustring& word, bool fix) {
    auto m = std::make_shared<umessage>(winner);
    m->erase(kString_sev);
    m->addData_priv<ustring>(kString_sev, umessage_type_string, word, false);
    m->erase(kString_fix);
    if (fix) m->addData_priv<int>(kString_fix, umessage_type_int, 1, false);
    return m;
}

WCheckSetting reduceBoolean(const Chain& chain) {
    const umessage* winner = nullptr;
    ustring gravest;
    int gravestRank = 0;
    for (Link c : chain) {
        const umessage& m = **c;
        ustring word;
        m.find<ustring>(kString_sev, 0, word);
        // Against the empty word, which ranks 0, the comparison gives the word's own rank.
        const int rank = compare_severity(word, eProblemUndefined);
        if (winner == nullptr || rank > gravestRank) {
            winner = &m;
            gravest = std::move(word);
            gravestRank = rank;
        }
    }
    // "ignore" is the least graded word; anything below it grades nothing.
    if (winner == nullptr || compare_severity(gravest, kString_ignore) < 0) return {};
    const bool fixable = anyFixable(chain);
    if (fixable && gravest == kString_fault) gravest = kString_warn;
    return WCheckSetting(combinedCopy(*winner, gravest, fixable));
}

WCheckSetting reduceLimits(const Chain& chain, bool low) {
    // Gravest first: the first key with a kept number names the severity.
    const ustring* const keys[] = {&kString_fault, &kString_warn, &kString_note};
    struct Kept {
        bool found = false;
        double value = 0;
        const umessage* first = nullptr;
    } kept[3];
    for (Link c : chain) {
        const umessage& m = **c;
        for (int k = 0; k < 3; ++k) {
            double v = 0;
            if (!m.hasData(*keys[k]) || !m.find<double>(*keys[k], 0, v)) continue;
            if (!kept[k].found) {
                kept[k] = {true, v, &m};
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

WCheckSetting reduceParameter(const Chain& chain) {
    for (Link c : chain) {
        const umessage& m = **c;
        ustring s;
        for (unsigned i = 0; i < 3; ++i)
            if (m.find<ustring>(kString_P, i, s)) return WCheckSetting(*c);
    }
    return {};
}

WCheckSetting reduceChain(const Chain& chain, const ustring& name) {
    const DetectableProblemDescriptions* table = detectableProblemDescriptions();
    if (chain.empty()) {
        if (!table) return {};
        return WCheckSetting(table->GetProblemDescription(name).GetDefaults());
    }
    if (chain.size() == 1) return WCheckSetting(*chain.front());
    if (!table) return {};
    switch (table->GetProblemDescription(name).GetProblemTypeEnum()) {
        case eSettingType_Boolean: return reduceBoolean(chain);
        case eSettingType_LimitsLow: return reduceLimits(chain, true);
        case eSettingType_LimitsHigh: return reduceLimits(chain, false);
        case eSettingType_Parameter:
        case eSettingType_StringParameter: return reduceParameter(chain);
        default: return {};
    }
}

}  // namespace

ProfileChecks::ProfileChecks(const WEffectiveProfile& profile) : ticket_(profile.message()) {
    if (!ticket_) return;
    unsigned count = 0;
    if (ticket_->getInfo(kString_destinations, count) && count > 0) {
        hasDestinations_ = true;
        for (unsigned i = 0; i < count; ++i) {
            const WDestination destination = profile.destination(i);
            if (!destination.empty()) addQcs(destination.qcs());
        }
    }
    const WQCS local = profile.localQCS();
    if (!local.empty()) addQcs(local);
    local_ = local.empty() ? sources_.size() : sources_.size() - 1;
}

void ProfileChecks::addQcs(const WQCS& qcs) {
    if (qcs.empty()) return;
    for (unsigned i = 0, n = qcs.nbOfRestrictions(); i < n; ++i) addQcs(qcs.restrictions(i));
    Source source;
    // The ticket keeps every qcs's "checks" alive, so the views may let go of them.
    source.checks = qcs.checks().get();
    if (source.checks) source.all = firstMessage(*source.checks, kString_all);
    sources_.push_back(source);
}

void ProfileChecks::collect(const ustring& name, ESettingType type, std::vector<Link>& chain) const {
    const bool allStandsIn =
        type == eSettingType_Boolean || type == eSettingType_LimitsLow || type == eSettingType_LimitsHigh;
    // The cursors stay valid for a name after the last one; any other name searches afresh.
    const bool ascending = asked_ && lastName_ < name;
    lastName_ = name;
    asked_ = true;
    chain.reserve(sources_.size() + 1);
    for (size_t i = 0; i < sources_.size(); ++i) {
        if (i == local_ && hasDestinations_) {
            if (isForcedFaultWithDestinations(name))
                chain.push_back(&forcedFaultCheck());
            else if (isDestinationDefined(name) && !chain.empty())
                return;
        }
        const Source& source = sources_[i];
        if (!source.checks) continue;
        const umessage::map_type& entries = source.checks->entries();
        if (ascending) {
            while (source.next < entries.size() && entries.begin()[source.next].first < name) ++source.next;
        } else {
            source.next = static_cast<size_t>(entries.lower_bound(name) - entries.begin());
        }
        Link check = nullptr;
        if (source.next < entries.size() && entries.begin()[source.next].first == name)
            check = firstMessage(*entries.begin()[source.next].second);
        if (!check && allStandsIn) check = source.all;
        if (check) chain.push_back(check);
    }
}

WCheckSetting ProfileChecks::find(const ustring& name) const {
    std::vector<Link> links;
    collect(name, describedType(name), links);
    return reduceChain(links, name);
}

std::vector<WCheckSetting> ProfileChecks::chain(const ustring& name) const {
    std::vector<Link> links;
    collect(name, describedType(name), links);
    std::vector<WCheckSetting> chain;
    chain.reserve(links.size());
    for (Link l : links) chain.emplace_back(*l);
    return chain;
}

std::vector<WCheckSetting> CollectChain(const WEffectiveProfile& profile, const ustring& name) {
    return ProfileChecks(profile).chain(name);
}

}  // namespace check_setting_decode

WCheckSetting FindCheckSetting(const WEffectiveProfile& profile, const ustring& name) {
    return check_setting_decode::ProfileChecks(profile).find(name);
}
