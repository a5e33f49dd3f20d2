// The platform tests' world: one private bus per test program with this process registered on
// it, the events this process receives, and peer processes (platform_peer) to talk to.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "AppleEvents.h"
#include "PeerProtocol.h"
#include "Processes.h"
#include "TestFolders.h"

namespace platform_test {

constexpr char kSelfBundleId[] = "com.corvane.PlatformTest";
constexpr char kSelfBundlePath[] = "/opt/corvane/PlatformTest";
constexpr SRefCon kRecorderRefcon = 4242;

// An event this process handled ('seen' or 'gone'), with its parameters as read by wildcard.
struct Received {
    SRefCon refcon = 0;
    AEEventClass eventClass = 0;
    AEEventID eventId = 0;
    std::map<AEKeyword, std::pair<DescType, std::string>> params;
};
std::vector<Received>& Inbox();

// The peer's kWhatKey line of a 'seen' event.
struct PeerReport {
    long refcon = 0;
    uint32_t eventClass = 0;
    uint32_t eventId = 0;
    unsigned activations = 0;
};
PeerReport ReportOf(const Received& seen);

// Runs this process's event loop until `done` holds; false when ten seconds pass first.
bool PumpUntil(const std::function<bool()>& done);

ProcessSerialNumber PsnOf(pid_t pid);
std::string BytesOf(const ProcessSerialNumber& psn);
// kTestClass/`id` to `psn` carrying `payload` as '----' and 'Vnmp', and this process's 'Psn '.
OSErr SendTest(ProcessSerialNumber psn, AEEventID id, const std::string& payload);
// Sends kEcho to `pid` and waits for its 'seen' answer.
bool EchoFrom(pid_t pid, Received* seen);
// The registered processes, as GetNextProcess enumerates them; `end` gets the status that ended it.
std::vector<pid_t> RegisteredPids(OSErr* end = nullptr);
// The first registered process with that bundle identifier, or 0.
pid_t FindBundle(const std::string& bundleId);

// A platform_peer child registered under `bundleId`; ended and reaped with the object.
class Peer {
public:
    explicit Peer(const std::string& bundleId, const std::map<std::string, std::string>& environment = {});
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    pid_t pid() const { return pid_; }
    bool waitRegistered() const;
    // Waits for the peer to end on its own; true when it exited with status 0.
    bool waitExited();
    std::string log() const;  // its standard error so far

private:
    testing_support::ScratchFolder folder_;
    pid_t pid_ = -1;
};

}  // namespace platform_test
