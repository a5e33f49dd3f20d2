// The large job every job benchmark reads: 1000 destinations in 10 groups, problem descriptions
// for 300 problems, and a ticket whose every destination sets all 300 checks with two entries
// each. One generator feeds both our key stream and the protocol-buffers peer, so both carry
// the same values. Jobs of other sizes fill groups of 100 the same way, the last group holding
// what is left, so a job of any size shares its first destinations with every larger one.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "message/umessage.h"
#include "text/ustring.h"

namespace bench {

constexpr int kGroups = 10;
constexpr int kDestinationsPerGroup = 100;
constexpr int kDestinations = kGroups * kDestinationsPerGroup;
constexpr int kChecksPerDestination = 300;
constexpr int kChecks = kDestinations * kChecksPerDestination;

constexpr int GroupCount(int destinations) {
    return (destinations + kDestinationsPerGroup - 1) / kDestinationsPerGroup;
}

struct JobFields {
    std::string identifier, name, layout, documentFile, pluginInfoFile;
};

// The values of one destination (any index from 0; its group is index / 100).
struct DestinationFields {
    std::string country, publisher, publication, section, campaign, identifier;
    int status, colour;
    double width, height;
    double bleed[4];     // left, right, top, bottom
    double typeArea[4];  // left, right, top, bottom
    bool exported;
};

enum class CheckKind { boolean, limitsHigh, limitsLow, stringParameter };

// One check of a destination's qcs: always two entries, which two depends on the kind.
struct CheckFields {
    CheckKind kind;
    std::string severity;  // boolean and string parameter: "sev"
    int fix;               // boolean: "fix"
    double warn, fault;    // limits: "warn", "fault"
    std::string profile;   // string parameter: "P"
};

const JobFields& Job();
DestinationFields Destination(int index);
bool GroupIsActive(int group);
CheckFields Check(int destination, int problem);
// The first kChecksPerDestination problem names, and each one's kind as its description says.
const std::vector<ustring>& ProblemNames();
CheckKind KindOf(int problem);
const char* TypeWord(CheckKind kind);

// What the companion application sends: the job with its descriptions ('Dp'), and the ticket
// ('SR') when asked for. The 1000-destination job is built once; JobBytes builds anew each call.
const std::string& CompanionBytes(bool withTicket);
std::string JobBytes(int destinations, bool withTicket);
std::shared_ptr<const umessage> TicketMessage(int destinations = kDestinations);
umessage DescriptionsMessage();

}  // namespace bench
