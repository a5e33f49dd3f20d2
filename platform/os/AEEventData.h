// What an Apple event descriptor owns: class, id, target address and parameters in the order
// they were first put.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "os/AppleEvents.h"

struct AEParam {
    AEKeyword keyword;
    DescType type;
    std::string bytes;
};

struct AEEventData {
    AEEventClass eventClass = 0;
    AEEventID eventId = 0;
    AEAddressDesc target;
    std::vector<AEParam> params;
    size_t paramBytes = 0;  // the sum of params' sizes, held under kAEMaxEventBytes
    // For an event that came over the bus: the sending connection's unique name and its process.
    std::string sender;
    pid_t senderPid = 0;
};

namespace vnplatform {

const AEParam* FindParam(const AEEventData& event, AEKeyword keyword);
// Whether putting `size` bytes under `keyword` (replacing what it holds) keeps the event under the cap.
bool ParamFits(const AEEventData& event, AEKeyword keyword, size_t size);
// Adds the parameter or replaces the one with the same keyword; the caller checked ParamFits.
void PutParam(AEEventData& event, AEKeyword keyword, DescType type, std::string bytes);

}  // namespace vnplatform
