#include "job/BCheckSettingDecode.h"

#include <algorithm>
#include <memory>
#include <typeinfo>

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

// The values of an entry when they are stored as T under type id `id` (what findData_priv<T>
// accepts), else null. The arrays are final classes, so comparing type_info answers what
// dynamic_cast would, without walking the class hierarchy.
template <class T>
const umessage_details::dyn_array_impl<T>* arrayOf(const umessage_details::dyn_array& entry,
                                                   umessage_type_id id) {
    using Array = umessage_details::dyn_array_impl<T>;
    if (entry.type() != id || typeid(entry) != typeid(Array)) return nullptr;
    return static_cast<const Array*>(&entry);
}

// The first value of an entry as find<T>(name, 0) reads it, compatible types converted.
template <class T>
const T* firstOf(const umessage_details::dyn_array& entry) {
    const auto* array = arrayOf<T>(entry, umessage_details::type_of<T>::id);
    return array == nullptr || array->values.empty() ? nullptr : &array->values.front();
}

bool firstNumber(const umessage_details::dyn_array& entry, double& out) {
    if (const double* d = firstOf<double>(entry)) {
        out = *d;
    } else if (const int* i = firstOf<int>(entry)) {
        umessage_details::convert(*i, out);
    } else if (const long long* l = firstOf<long long>(entry)) {
        umessage_details::convert(*l, out);
    } else {
        return false;
    }
    return true;
}

bool firstInteger(const umessage_details::dyn_array& entry, int& out) {
    if (const int* i = firstOf<int>(entry)) {
        out = *i;
    } else if (const double* d = firstOf<double>(entry)) {
        umessage_details::convert(*d, out);
    } else if (const long long* l = firstOf<long long>(entry)) {
        umessage_details::convert(*l, out);
    } else {
        return false;
    }
    return true;
}

// The stored pointer that get<message>(name, 0) would copy from this entry; null where that
// gives null.
Link firstMessage(const umessage_details::dyn_array& entry) {
    const std::shared_ptr<umessage>* first = firstOf<std::shared_ptr<umessage>>(entry);
    return first == nullptr || *first == nullptr ? nullptr : first;
}

Link firstMessage(const umessage& message, const ustring& name) {
    const auto it = message.entries().find(name);
    return it == message.entries().end() ? nullptr : firstMessage(*it->second);
}

// The fields of a check the reductions read, taken in one walk over its few entries.
struct CheckFields {
    // The first "sev" string; the empty word when there is none.
    const ustring* sev = &eProblemUndefined;
    bool fixable = false;
    // A string under "P" at index 0, 1 or 2.
    bool hasParameter = false;
    // "fault", "warn", "note": gravest first.
    bool hasNumber[3] = {false, false, false};
    double number[3] = {0, 0, 0};

    explicit CheckFields(const umessage& m) {
        // The length tells the few keys apart before any bytes are compared.
        for (const auto& [key, entry] : m.entries()) {
            switch (key.size()) {
                case 1:
                    if (key == kString_P) hasParameter = firstOf<ustring>(*entry) != nullptr;
                    break;
                case 3:
                    if (key == kString_sev) {
                        if (const ustring* word = firstOf<ustring>(*entry)) sev = word;
                    } else if (key == kString_fix) {
                        int fix = 0;
                        fixable = firstInteger(*entry, fix) && fix % 2 != 0;
                    }
                    break;
                case 4:
                    if (key == kString_warn)
                        hasNumber[1] = firstNumber(*entry, number[1]);
                    else if (key == kString_note)
                        hasNumber[2] = firstNumber(*entry, number[2]);
                    break;
                case 5:
                    if (key == kString_fault) hasNumber[0] = firstNumber(*entry, number[0]);
                    break;
                default: break;
            }
        }
    }
};

// A copy of `winner` with "sev" set to `word` and "fix" = 1 only when `fix`.
std::shared_ptr<umessage> combinedCopy(const umessage& winner, const ustring& word, bool fix) {
    auto m = std::make_shared<umessage>(winner);
    m->erase(kString_sev);
    m->addData_priv<ustring>(kString_sev, umessage_type_string, word, false);
    m->erase(kString_fix);
    if (fix) m->addData_priv<int>(kString_fix, umessage_type_int, 1, false);
    return m;
}

bool allStandsIn(ESettingType type) {
    return type == eSettingType_Boolean || type == eSettingType_LimitsLow || type == eSettingType_LimitsHigh;
}

// A chain's reduction, fed one check at a time in chain order. A lone check is the result as it
// is, so the first check is read only once a second one comes.
class Reduction {
public:
    explicit Reduction(ESettingType type) : type_(type) {}

    size_t size() const { return count_; }

    void add(Link check) {
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
        if (count_ == 1) return WCheckSetting(*first_);
        switch (type_) {
            case eSettingType_Boolean: return booleanResult();
            case eSettingType_LimitsLow:
            case eSettingType_LimitsHigh: return limitsResult();
            case eSettingType_Parameter:
            case eSettingType_StringParameter:
                return parameter_ ? WCheckSetting(*parameter_) : WCheckSetting();
            default: return {};
        }
    }

private:
    struct Kept {
        bool found = false;
        double value = 0;
        const umessage* first = nullptr;
    };

    void absorb(Link check) {
        const umessage& m = **check;
        switch (type_) {
            case eSettingType_Boolean: {
                const CheckFields f(m);
                fixable_ = fixable_ || f.fixable;
                // Against the empty word, which ranks 0, the comparison gives the word's own rank.
                const int rank = compare_severity(*f.sev, eProblemUndefined);
                if (winner_ == nullptr || rank > gravestRank_) {
                    winner_ = &m;
                    gravest_ = f.sev;
                    gravestRank_ = rank;
                }
                break;
            }
            case eSettingType_LimitsLow:
            case eSettingType_LimitsHigh: {
                const CheckFields f(m);
                fixable_ = fixable_ || f.fixable;
                const bool low = type_ == eSettingType_LimitsLow;
                for (int k = 0; k < 3; ++k) {
                    if (!f.hasNumber[k]) continue;
                    const double v = f.number[k];
                    if (!kept_[k].found) {
                        kept_[k] = {true, v, &m};
                    } else if (low ? v > kept_[k].value : v < kept_[k].value) {
                        kept_[k].value = v;
                    }
                }
                break;
            }
            case eSettingType_Parameter:
            case eSettingType_StringParameter:
                if (!parameter_ && CheckFields(m).hasParameter) parameter_ = check;
                break;
            default: break;
        }
    }

    WCheckSetting booleanResult() const {
        // "ignore" is the least graded word; anything below it grades nothing.
        if (winner_ == nullptr || compare_severity(*gravest_, kString_ignore) < 0) return {};
        const ustring& word = fixable_ && *gravest_ == kString_fault ? kString_warn : *gravest_;
        return WCheckSetting(combinedCopy(*winner_, word, fixable_));
    }

    WCheckSetting limitsResult() const {
        // Gravest first: the first key with a kept number names the severity.
        const ustring* const keys[] = {&kString_fault, &kString_warn, &kString_note};
        int gravest = 0;
        while (gravest < 3 && !kept_[gravest].found) ++gravest;
        if (gravest == 3) return {};
        const ustring& word = *keys[gravest];
        std::shared_ptr<umessage> m =
            combinedCopy(*kept_[gravest].first, word, fixable_ && word != kString_fault);
        for (int k = 0; k < 3; ++k) {
            m->erase(*keys[k]);
            if (kept_[k].found)
                m->addData_priv<double>(*keys[k], umessage_type_double, kept_[k].value, false);
        }
        return WCheckSetting(std::move(m));
    }

    ESettingType type_;
    size_t count_ = 0;
    Link first_ = nullptr;
    bool fixable_ = false;
    // Boolean: the first check with the gravest word, and that word.
    const umessage* winner_ = nullptr;
    const ustring* gravest_ = &eProblemUndefined;
    int gravestRank_ = 0;
    // Limits: "fault", "warn", "note".
    Kept kept_[3];
    // Parameters: the first check with a string parameter.
    Link parameter_ = nullptr;
};

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
    const bool standsIn = allStandsIn(type);
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
        if (!check && standsIn) check = source.all;
        if (check) chain.push_back(check);
    }
}

WCheckSetting ProfileChecks::find(const ustring& name) const {
    const ESettingType type = describedType(name);
    std::vector<Link> links;
    collect(name, type, links);
    Reduction reduction(type);
    for (Link l : links) reduction.add(l);
    return reduction.result(name);
}

namespace {

// The first of names[from..] not below `key` (names.size() when there is none), and whether it
// is `key`; names[from - 1], when there is one, is known to be below it. Galloping from `from`:
// the names a qcs shares with the others come in the same order, so the answer is nearly always
// at or just after `from`.
size_t seekName(const std::vector<const ustring*>& names, size_t from, const ustring& key, bool& found) {
    const size_t n = names.size();
    found = from < n && *names[from] == key;
    if (found || from >= n || key < *names[from]) return from;
    size_t below = from, step = 1;
    while (below + step < n && *names[below + step] < key) {
        below += step;
        step *= 2;
    }
    const auto end = names.begin() + static_cast<std::ptrdiff_t>(std::min(below + step, n));
    const auto at = std::lower_bound(names.begin() + static_cast<std::ptrdiff_t>(below + 1), end, &key,
                                     [](const ustring* a, const ustring* b) { return *a < *b; });
    found = at != names.end() && **at == key;
    return static_cast<size_t>(at - names.begin());
}

}  // namespace

std::vector<WCheckSetting> ProfileChecks::findAll(const std::vector<const ustring*>& names) const {
    struct Slot {
        Reduction reduction;
        bool standsIn;
        // Set at the local qcs when the destinations' definition wins there.
        bool closed = false;
    };
    std::vector<Slot> slots;
    slots.reserve(names.size());
    for (const ustring* name : names) {
        const ESettingType type = describedType(*name);
        slots.push_back({Reduction(type), allStandsIn(type)});
    }
    for (size_t i = 0; i < sources_.size(); ++i) {
        if (i == local_ && hasDestinations_) {
            for (size_t j = 0; j < names.size(); ++j) {
                if (isForcedFaultWithDestinations(*names[j]))
                    slots[j].reduction.add(&forcedFaultCheck());
                else if (isDestinationDefined(*names[j]) && slots[j].reduction.size() > 0)
                    slots[j].closed = true;
            }
        }
        const Source& source = sources_[i];
        if (!source.checks) continue;
        // Names before `next` have had this qcs's word; those it lacks get its "all" check.
        size_t next = 0;
        const auto standIn = [&](size_t upTo) {
            if (source.all)
                for (; next < upTo; ++next)
                    if (slots[next].standsIn && !slots[next].closed) slots[next].reduction.add(source.all);
            next = upTo;
        };
        for (const auto& [key, entry] : source.checks->entries()) {
            bool asked = false;
            const size_t at = seekName(names, next, key, asked);
            standIn(at);
            if (at == names.size()) break;
            if (!asked) continue;
            Slot& slot = slots[at];
            if (!slot.closed) {
                Link check = firstMessage(*entry);
                if (!check && slot.standsIn) check = source.all;
                if (check) slot.reduction.add(check);
            }
            next = at + 1;
        }
        standIn(names.size());
    }
    std::vector<WCheckSetting> found;
    found.reserve(names.size());
    for (size_t j = 0; j < names.size(); ++j) found.push_back(slots[j].reduction.result(*names[j]));
    return found;
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
