// Which of a ticket's definitions of a check applies, and how several combine into the strictest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "message/umessage_image.h"
#include "text/ustring.h"
#include "ticket/WQCS.h"
#include "ticket/WTicket.h"

// The check that applies to `name` in the profile: every definition is collected (destinations'
// qcs in order, then the local qcs, restrictions before their qcs) and reduced to one by the
// problem's described type. An empty view when nothing applies. Never throws on content.
WCheckSetting FindCheckSetting(const WEffectiveProfile& profile, const ustring& name);


namespace check_setting_decode {

// A profile's qcs laid out once, in the order chains are collected, so that finding the check of
// many names walks the ticket's structure only once. Reads the ticket as an image: names are
// compared as ranks, and only the checks that win are copied into messages of their own. Any
// order of names gives the same results. Not for use from several threads at once.
class ProfileChecks {
public:
    // Over the flattened form of the profile's ticket (an empty profile when it cannot be
    // flattened: nested too deeply, or a body of too many entries).
    explicit ProfileChecks(const WEffectiveProfile& profile);
    // Over a ticket read into an image, which must outlive the finder.
    explicit ProfileChecks(const umessage_image& ticket);
    ProfileChecks(const ProfileChecks&) = delete;
    ProfileChecks& operator=(const ProfileChecks&) = delete;

    // What FindCheckSetting gives for the profile and `name`.
    WCheckSetting find(const ustring& name) const;
    // What find gives for each of `names` (ascending byte-wise, each once), in that order: one
    // walk over every qcs instead of one per name.
    std::vector<WCheckSetting> findAll(const std::vector<const ustring*>& names) const;
    // What CollectChain gives for the profile and `name`.
    std::vector<WCheckSetting> chain(const ustring& name) const;
    // Every check name of every qcs, ascending byte-wise, each once.
    std::vector<ustring> checkNames() const;

private:
    // One qcs's "checks" (null when it has none) and its "all" check (null when it has none).
    struct Source {
        umessage_view checks;
        umessage_view all;
    };

    void layOut();
    void addQcs(umessage_view qcs);
    // A name's place among the image's entry names: twice its rank, or odd between two ranks for
    // a name no entry has, so that names and entries compare as numbers.
    std::int64_t keyOf(const ustring& name) const;
    void collect(const ustring& name, ESettingType type, std::vector<umessage_view>& chain) const;

    umessage_image own_;
    const umessage_image* image_ = nullptr;
    bool hasDestinations_ = false;
    // Every qcs with its restrictions before it; the local qcs, when there is one, is last.
    std::vector<Source> sources_;
    // The index of the local qcs's own source, or sources_.size() when there is none.
    size_t local_ = 0;
};

// The candidate checks for a name, in the order the reductions see them.
std::vector<WCheckSetting> CollectChain(const WEffectiveProfile& profile, const ustring& name);

}  // namespace check_setting_decode
