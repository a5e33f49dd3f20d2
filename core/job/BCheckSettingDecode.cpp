#include "job/BCheckSettingDecode.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include "message/umessage.h"
#include "ticket/ConstantUStrings.h"
#include "ticket/DetectableProblemDescriptions.h"

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

// Never changed once made: the check a page-box problem gets at the local qcs of a job with
// destinations.
umessage_view forcedFaultCheck() {
    static const umessage_image image = [] {
        umessage m;
        m.addData_priv<ustring>(kString_sev, umessage_type_string, kString_fault, false);
        return umessage_image::of(m);
    }();
    return image.root();
}

// Ranks of the severity words: ignore 1, note 2, warn 3, fault 4, any other text 0.
int severityRank(std::string_view word) {
    if (word == std::string_view(kString_ignore)) return 1;
    if (word == std::string_view(kString_note)) return 2;
    if (word == std::string_view(kString_warn)) return 3;
    if (word == std::string_view(kString_fault)) return 4;
    return 0;
}

// The first value of `name` when it is a message; null otherwise.
umessage_view firstMessage(const umessage_entry& entry) {
    return entry.type() == umessage_type_message ? entry.messageAt(0) : umessage_view();
}

std::shared_ptr<const umessage> ownCopy(umessage_view check) {
    return std::make_shared<const umessage>(check.toMessage());
}

// The fields of a check the reductions read, taken in one walk over its few entries.
struct CheckFields {
    // The first "sev" string; the empty word when there is none.
    std::string_view sev;
    bool fixable = false;
    // A string under "P".
    bool hasParameter = false;
    // "fault", "warn", "note": gravest first.
    bool hasNumber[3] = {false, false, false};
    double number[3] = {0, 0, 0};

    explicit CheckFields(umessage_view m) {
        for (unsigned i = 0, n = m.size(); i < n; ++i) {
            const umessage_entry entry = m.entry(i);
            const std::string_view key = entry.name();
            // The length tells the few keys apart before any bytes are compared.
            switch (key.size()) {
                case 1:
                    if (key == std::string_view(kString_P)) hasParameter = entry.type() == umessage_type_string;
                    break;
                case 3:
                    if (key == std::string_view(kString_sev)) {
                        entry.firstString(sev);
                    } else if (key == std::string_view(kString_fix)) {
                        int fix = 0;
                        fixable = entry.firstInteger(fix) && fix % 2 != 0;
                    }
                    break;
                case 4:
                    if (key == std::string_view(kString_warn))
                        hasNumber[1] = entry.firstNumber(number[1]);
                    else if (key == std::string_view(kString_note))
                        hasNumber[2] = entry.firstNumber(number[2]);
                    break;
                case 5:
                    if (key == std::string_view(kString_fault)) hasNumber[0] = entry.firstNumber(number[0]);
                    break;
                default: break;
            }
        }
    }
};

// A copy of `winner` with "sev" set to `word` and "fix" = 1 only when `fix`.
std::shared_ptr<umessage> combinedCopy(umessage_view winner, const ustring& word, bool fix) {
    auto m = std::make_shared<umessage>(winner.toMessage());
    m->erase(kString_sev);
    m->addData_priv<ustring>(kString_sev, umessage_type_string, word, false);
    m->erase(kString_fix);
    if (fix) m->addData_priv<int>(kString_fix, umessage_type_int, 1, false);
    return m;
}

bool allStandsIn(ESettingType type) {
    return type == eSettingType_Boolean || type == eSettingType_LimitsLow || type == eSettingType_LimitsHigh;
}

const ustring& wordOfRank(int rank) {
    switch (rank) {
        case 1: return kString_ignore;
        case 2: return kString_note;
        case 3: return kString_warn;
        default: return kString_fault;
    }
}

// A chain's reduction, fed one check at a time in chain order. A lone check is the result as it
// is, so the first check is read only once a second one comes.
class Reduction {
public:
    explicit Reduction(ESettingType type) : type_(type) {}

    size_t size() const { return count_; }

    void add(umessage_view check) {
        if (++count_ == 1) {
            first_ = check;
            return;
        }
        if (count_ == 2) absorb(first_);
        absorb(check);
    }

    WCheckSetting result(const ustring& name) const {
        if (count_ == 0) {
            const DetectableProblemDescriptions* table = detectableProblemDescriptions();
            return table ? WCheckSetting(table->GetProblemDescription(name).GetDefaults()) : WCheckSetting();
        }
        if (count_ == 1) return WCheckSetting(ownCopy(first_));
        switch (type_) {
            case eSettingType_Boolean: return booleanResult();
            case eSettingType_LimitsLow:
            case eSettingType_LimitsHigh: return limitsResult();
            case eSettingType_Parameter:
            case eSettingType_StringParameter:
                return parameter_.null() ? WCheckSetting() : WCheckSetting(ownCopy(parameter_));
            default: return {};
        }
    }

private:
    struct Kept {
        bool found = false;
        double value = 0;
        umessage_view first;
    };

    void absorb(umessage_view check) {
        switch (type_) {
            case eSettingType_Boolean: {
                const CheckFields f(check);
                fixable_ = fixable_ || f.fixable;
                const int rank = severityRank(f.sev);
                if (winner_.null() || rank > gravestRank_) {
                    winner_ = check;
                    gravestRank_ = rank;
                }
                break;
            }
            case eSettingType_LimitsLow:
            case eSettingType_LimitsHigh: {
                const CheckFields f(check);
                fixable_ = fixable_ || f.fixable;
                const bool low = type_ == eSettingType_LimitsLow;
                for (int k = 0; k < 3; ++k) {
                    if (!f.hasNumber[k]) continue;
                    const double v = f.number[k];
                    if (!kept_[k].found) {
                        kept_[k] = {true, v, check};
                    } else if (low ? v > kept_[k].value : v < kept_[k].value) {
                        kept_[k].value = v;
                    }
                }
                break;
            }
            case eSettingType_Parameter:
            case eSettingType_StringParameter:
                if (parameter_.null() && CheckFields(check).hasParameter) parameter_ = check;
                break;
            default: break;
        }
    }

    WCheckSetting booleanResult() const {
        // "ignore" is the least graded word; anything below it grades nothing.
        if (winner_.null() || gravestRank_ < 1) return {};
        const ustring& gravest = wordOfRank(gravestRank_);
        const ustring& word = fixable_ && gravestRank_ == 4 ? kString_warn : gravest;
        return WCheckSetting(combinedCopy(winner_, word, fixable_));
    }

    WCheckSetting limitsResult() const {
        // Gravest first: the first key with a kept number names the severity.
        const ustring* const keys[] = {&kString_fault, &kString_warn, &kString_note};
        int gravest = 0;
        while (gravest < 3 && !kept_[gravest].found) ++gravest;
        if (gravest == 3) return {};
        const ustring& word = *keys[gravest];
        std::shared_ptr<umessage> m = combinedCopy(kept_[gravest].first, word, fixable_ && word != kString_fault);
        for (int k = 0; k < 3; ++k) {
            m->erase(*keys[k]);
            if (kept_[k].found) m->addData_priv<double>(*keys[k], umessage_type_double, kept_[k].value, false);
        }
        return WCheckSetting(std::move(m));
    }

    ESettingType type_;
    size_t count_ = 0;
    umessage_view first_;
    bool fixable_ = false;
    // Boolean: the first check with the gravest word, and that word's rank.
    umessage_view winner_;
    int gravestRank_ = 0;
    // Limits: "fault", "warn", "note".
    Kept kept_[3];
    // Parameters: the first check with a string parameter.
    umessage_view parameter_;
};

}  // namespace

ProfileChecks::ProfileChecks(const WEffectiveProfile& profile) {
    if (const auto& ticket = profile.message()) {
        try {
            own_ = umessage_image::of(*ticket);
        } catch (const std::exception&) {
            own_ = umessage_image();
        }
    }
    image_ = &own_;
    layOut();
}

ProfileChecks::ProfileChecks(const umessage_image& ticket) : image_(&ticket) {
    layOut();
}

void ProfileChecks::layOut() {
    const umessage_view ticket = image_->root();
    unsigned at = 0;
    if (ticket.find(std::string_view(kString_destinations), at)) {
        const umessage_entry destinations = ticket.entry(at);
        hasDestinations_ = true;
        if (destinations.type() == umessage_type_message)
            for (unsigned i = 0; i < destinations.count(); ++i)
                addQcs(destinations.messageAt(i).firstMessage(std::string_view(kString_qcs)));
    }
    const umessage_view local = ticket.firstMessage(std::string_view(kString_qcs));
    addQcs(local);
    local_ = local.null() ? sources_.size() : sources_.size() - 1;
}

void ProfileChecks::addQcs(umessage_view qcs) {
    if (qcs.null()) return;
    unsigned at = 0;
    if (qcs.find(std::string_view(kString_restrictions), at)) {
        const umessage_entry restrictions = qcs.entry(at);
        for (unsigned i = 0; i < restrictions.count(); ++i)
            addQcs(restrictions.type() == umessage_type_message ? restrictions.messageAt(i) : umessage_view());
    }
    Source source;
    source.checks = qcs.firstMessage(std::string_view(kString_checks));
    source.all = source.checks.firstMessage(std::string_view(kString_all));
    sources_.push_back(source);
}

std::int64_t ProfileChecks::keyOf(const ustring& name) const {
    return image_->keyOf(std::string_view(name));
}

void ProfileChecks::collect(const ustring& name, ESettingType type, std::vector<umessage_view>& chain) const {
    const bool standsIn = allStandsIn(type);
    const std::int64_t key = keyOf(name);
    chain.reserve(sources_.size() + 1);
    for (size_t i = 0; i < sources_.size(); ++i) {
        if (i == local_ && hasDestinations_) {
            if (isForcedFaultWithDestinations(name))
                chain.push_back(forcedFaultCheck());
            else if (isDestinationDefined(name) && !chain.empty())
                return;
        }
        const Source& source = sources_[i];
        if (source.checks.null()) continue;
        umessage_view check;
        unsigned at = 0;
        if (key % 2 == 0 && source.checks.findRank(static_cast<std::uint32_t>(key / 2), at))
            check = firstMessage(source.checks.entry(at));
        if (check.null() && standsIn) check = source.all;
        if (!check.null()) chain.push_back(check);
    }
}

WCheckSetting ProfileChecks::find(const ustring& name) const {
    const ESettingType type = describedType(name);
    std::vector<umessage_view> links;
    collect(name, type, links);
    Reduction reduction(type);
    for (umessage_view l : links) reduction.add(l);
    return reduction.result(name);
}

std::vector<WCheckSetting> ProfileChecks::findAll(const std::vector<const ustring*>& names) const {
    struct Slot {
        Reduction reduction;
        std::int64_t key;
        bool standsIn;
        // Set at the local qcs when the destinations' definition wins there.
        bool closed = false;
    };
    std::vector<Slot> slots;
    slots.reserve(names.size());
    for (const ustring* name : names) {
        const ESettingType type = describedType(*name);
        slots.push_back({Reduction(type), keyOf(*name), allStandsIn(type)});
    }
    for (size_t i = 0; i < sources_.size(); ++i) {
        if (i == local_ && hasDestinations_) {
            for (size_t j = 0; j < names.size(); ++j) {
                if (isForcedFaultWithDestinations(*names[j]))
                    slots[j].reduction.add(forcedFaultCheck());
                else if (isDestinationDefined(*names[j]) && slots[j].reduction.size() > 0)
                    slots[j].closed = true;
            }
        }
        const Source& source = sources_[i];
        if (source.checks.null()) continue;
        // Entries and names both ascend: one merge-like walk. A name the qcs lacks gets its "all"
        // check.
        const umessage_view checks = source.checks;
        const unsigned entries = checks.size();
        unsigned e = 0;
        for (Slot& slot : slots) {
            while (e < entries && 2 * std::int64_t{checks.entry(e).rank()} < slot.key) ++e;
            if (slot.closed) continue;
            umessage_view check;
            if (e < entries && 2 * std::int64_t{checks.entry(e).rank()} == slot.key) check = firstMessage(checks.entry(e));
            if (check.null() && slot.standsIn) check = source.all;
            if (!check.null()) slot.reduction.add(check);
        }
    }
    std::vector<WCheckSetting> found;
    found.reserve(names.size());
    for (size_t j = 0; j < names.size(); ++j) found.push_back(slots[j].reduction.result(*names[j]));
    return found;
}

std::vector<WCheckSetting> ProfileChecks::chain(const ustring& name) const {
    std::vector<umessage_view> links;
    collect(name, describedType(name), links);
    std::vector<WCheckSetting> chain;
    chain.reserve(links.size());
    for (umessage_view l : links) chain.emplace_back(ownCopy(l));
    return chain;
}

std::vector<ustring> ProfileChecks::checkNames() const {
    std::vector<unsigned char> named(image_->rankCount(), 0);
    for (const Source& source : sources_)
        for (unsigned i = 0, n = source.checks.size(); i < n; ++i) named[source.checks.entry(i).rank()] = 1;
    std::vector<ustring> names;
    for (std::size_t rank = 0; rank < named.size(); ++rank)
        if (named[rank]) names.emplace_back(image_->nameOfRank(static_cast<std::uint32_t>(rank)));
    return names;
}

std::vector<WCheckSetting> CollectChain(const WEffectiveProfile& profile, const ustring& name) {
    return ProfileChecks(profile).chain(name);
}

}  // namespace check_setting_decode

WCheckSetting FindCheckSetting(const WEffectiveProfile& profile, const ustring& name) {
    return check_setting_decode::ProfileChecks(profile).find(name);
}
