// Which of a ticket's definitions of a check applies, and how several combine into the strictest.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "text/ustring.h"
#include "ticket/WQCS.h"
#include "ticket/WTicket.h"

// The check that applies to `name` in the profile: every definition is collected (destinations'
// qcs in order, then the local qcs, restrictions before their qcs) and reduced to one by the
// problem's described type. An empty view when nothing applies. Never throws on content.
WCheckSetting FindCheckSetting(const WEffectiveProfile& profile, const ustring& name);

class umessage;

namespace check_setting_decode {

// A profile's qcs laid out once, in the order chains are collected, so that finding the check of
// many names walks the ticket's structure only once. Keeps the ticket alive; the ticket must not
// change while the finder is in use. Names asked in ascending order are found fastest; any order
// gives the same results. Not for use from several threads at once.
class ProfileChecks {
public:
    explicit ProfileChecks(const WEffectiveProfile& profile);

    // What FindCheckSetting gives for the profile and `name`.
    WCheckSetting find(const ustring& name) const;
    // What find gives for each of `names` (ascending byte-wise, each once), in that order: one
    // walk over every qcs instead of one per name.
    std::vector<WCheckSetting> findAll(const std::vector<const ustring*>& names) const;
    // What CollectChain gives for the profile and `name`.
    std::vector<WCheckSetting> chain(const ustring& name) const;

    // One check as it is stored in a message: the message's own pointer, so a chain holds no
    // references of its own.
    using Link = const std::shared_ptr<umessage>*;

private:
    // One qcs's "checks" (null when it has none) and its "all" check (null when it has none).
    struct Source {
        const umessage* checks = nullptr;
        Link all = nullptr;
        // Every key of "checks" before this index sorts before the last name asked.
        mutable size_t next = 0;
    };

    void addQcs(const WQCS& qcs);
    void collect(const ustring& name, ESettingType type, std::vector<Link>& chain) const;

    std::shared_ptr<const umessage> ticket_;
    bool hasDestinations_ = false;
    // Every qcs with its restrictions before it; the local qcs, when there is one, is last.
    std::vector<Source> sources_;
    // The index of the local qcs's own source, or sources_.size() when there is none.
    size_t local_ = 0;
    // The last name asked, while `asked_`.
    mutable ustring lastName_;
    mutable bool asked_ = false;
};

// The candidate checks for a name, in the order the reductions see them.
std::vector<WCheckSetting> CollectChain(const WEffectiveProfile& profile, const ustring& name);

}  // namespace check_setting_decode
