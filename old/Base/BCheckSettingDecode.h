// Which of a ticket's definitions of a check applies, and how several combine into the strictest.
#pragma once

#include <vector>

#include "WQCS.h"
#include "WTicket.h"
#include "ustring.h"

// The check that applies to `name` in the profile: every definition is collected (destinations'
// qcs in order, then the local qcs, restrictions before their qcs) and reduced to one by the
// problem's described type. An empty view when nothing applies. Never throws on content.
WCheckSetting FindCheckSetting(const WEffectiveProfile& profile, const ustring& name);

namespace check_setting_decode {

// The candidate checks for a name, in the order the reductions see them.
std::vector<WCheckSetting> CollectChain(const WEffectiveProfile& profile, const ustring& name);
// One check out of a chain: the default check for none, the check itself for one, else the
// reduction of the described type.
WCheckSetting ReduceChain(const std::vector<WCheckSetting>& chain, const ustring& name);

// The three reductions of two or more checks; each gives an empty view when nothing qualifies.
WCheckSetting ReduceBoolean(const std::vector<WCheckSetting>& chain);
WCheckSetting ReduceLimits(const std::vector<WCheckSetting>& chain, bool low);
WCheckSetting ReduceParameter(const std::vector<WCheckSetting>& chain);

}  // namespace check_setting_decode
