// The platform tests' world: one private bus per test program with this process registered on
// it, the events this process receives, and platform_peer processes to talk to.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "PeerProtocol.h"
#include "Processes.h"
#include "TestFolders.h"

namespace platform_test {

constexpr char kSelfBundleId[] = "com.corvane.PlatformTest";
constexpr char kSelfBundlePath[] = "/opt/corvane/PlatformTest";
constexpr SRefCon kRecorderRefcon = 4242;

// A 'seen' or 'gone' event handled here, its parameters read with the wildcard type.
struct Received {
    SRefCon refcon = 0;
    AEEventID eventId = 0;
    std::map<AEKeyword, std::pair<DescType, std::string>> params;
    std::string what() const { return params.count(kWhatKey) != 0 ? params.at(kWhatKey).second : ""; }
};
std::vector<Received>& Inbox();  // emptied as every test starts

// Runs this process's event loop until `done` holds; false when ten seconds pass first.
bool PumpUntil(const std::function<bool()>& done);
bool AwaitEvents(size_t count);  // until the inbox holds `count` events

ProcessSerialNumber PsnOf(pid_t pid);
std::string BytesOf(const ProcessSerialNumber& psn);
// kTestClass/`id` carrying `payload` as '----' and 'Vnmp', and this process's 'Psn '.
OSErr SendTest(ProcessSerialNumber to, AEEventID id, const std::string& payload);
// An 'echo' to `pid` and its answer, which is then Inbox().back().
bool Echo(pid_t pid);
std::vector<pid_t> RegisteredPids();

// A platform_peer child under `bundleId`, its standard error kept; ended with the object.
class Peer {
public:
    explicit Peer(const std::string& bundleId, const std::string& sendTo = "");
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    pid_t pid() const { return pid_; }
    bool waitRegistered() const;
    bool waitExitedCleanly();  // for a peer that ends on its own
    std::string log() const;

private:
    testing_support::ScratchFolder folder_;
    pid_t pid_ = -1;
};

}  // namespace platform_test
