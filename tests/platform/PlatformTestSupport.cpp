#include "PlatformTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>

#include "EventLoop.h"
#include "PrivateBus.h"

namespace platform_test {

namespace {

OSErr Record(const AppleEvent* event, AppleEvent*, SRefCon refcon) {
    Received received;
    received.refcon = refcon;
    AEGetEventClassAndID(event, &received.eventClass, &received.eventId);
    for (AEKeyword keyword : {keyDirectObject, kPayloadKey, kPsnKey, kSenderKey, kWhatKey}) {
        DescType type = typeNull;
        size_t size = 0;
        if (AESizeOfParam(event, keyword, &type, &size) != noErr) continue;
        std::string bytes(size, '\0');
        EXPECT_EQ(AEGetParamPtr(event, keyword, typeWildCard, &type, bytes.data(), size, &size), noErr);
        received.params[keyword] = {type, bytes};
    }
    Inbox().push_back(received);
    return noErr;
}

class PlatformEnvironment : public testing::Environment {
public:
    void SetUp() override {
        bus_ = std::make_unique<testing_support::PrivateBus>();
        ASSERT_EQ(VNRegisterProcess(kSelfBundleId, kSelfBundlePath), noErr);
        ASSERT_EQ(AEInstallEventHandler(kTestClass, kSeen, Record, kRecorderRefcon, false), noErr);
        ASSERT_EQ(AEInstallEventHandler(kTestClass, kGone, Record, kRecorderRefcon, false), noErr);
    }
    void TearDown() override { bus_.reset(); }

private:
    std::unique_ptr<testing_support::PrivateBus> bus_;
};

// Every test starts with an empty inbox, whichever tests ran before it in this process.
class InboxReset : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { Inbox().clear(); }
};

[[maybe_unused]] const bool g_installed = [] {
    testing::AddGlobalTestEnvironment(new PlatformEnvironment);
    testing::UnitTest::GetInstance()->listeners().Append(new InboxReset);
    return true;
}();

}  // namespace

std::vector<Received>& Inbox() {
    static std::vector<Received> inbox;
    return inbox;
}

PeerReport ReportOf(const Received& seen) {
    PeerReport report;
    const auto what = seen.params.find(kWhatKey);
    if (what != seen.params.end())
        std::istringstream(what->second.second) >> report.refcon >> report.eventClass >> report.eventId >>
            report.activations;
    return report;
}

bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        // Short rounds: some conditions (another process registering) send this process nothing.
        const VNPollSpec spec = VNEventPollSpec();
        pollfd fd{spec.fd, spec.events, 0};
        const int64_t waitMs = spec.timeoutUsec < 0 ? 10 : std::min<int64_t>(10, (spec.timeoutUsec + 999) / 1000);
        ::poll(&fd, 1, static_cast<int>(waitMs));
        if (VNProcessEvents() < 0) return false;
    }
    return true;
}

ProcessSerialNumber PsnOf(pid_t pid) { return ProcessSerialNumber{0, static_cast<uint32_t>(pid)}; }

std::string BytesOf(const ProcessSerialNumber& psn) {
    return std::string(reinterpret_cast<const char*>(&psn), sizeof psn);
}

OSErr SendTest(ProcessSerialNumber psn, AEEventID id, const std::string& payload) {
    AEAddressDesc address;
    AppleEvent event;
    EXPECT_EQ(AECreateDesc(typeProcessSerialNumber, &psn, sizeof psn, &address), noErr);
    EXPECT_EQ(AECreateAppleEvent(kTestClass, id, &address, kAutoGenerateReturnID, kAnyTransactionID, &event), noErr);
    AEDisposeDesc(&address);
    ProcessSerialNumber self;
    GetCurrentProcess(&self);
    for (AEKeyword keyword : {keyDirectObject, kPayloadKey})
        EXPECT_EQ(AEPutParamPtr(&event, keyword, typeChar, payload.data(), payload.size()), noErr);
    EXPECT_EQ(AEPutParamPtr(&event, kPsnKey, typeProcessSerialNumber, &self, sizeof self), noErr);
    const OSErr err = AESend(&event, nullptr, kAENoReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr);
    AEDisposeDesc(&event);
    return err;
}

bool EchoFrom(pid_t pid, Received* seen) {
    const size_t before = Inbox().size();
    if (SendTest(PsnOf(pid), kEcho, "") != noErr) return false;
    if (!PumpUntil([&] { return Inbox().size() > before; })) return false;
    *seen = Inbox().back();
    return true;
}

std::vector<pid_t> RegisteredPids(OSErr* end) {
    std::vector<pid_t> pids;
    ProcessSerialNumber psn{0, kNoProcess};
    OSErr err;
    while ((err = GetNextProcess(&psn)) == noErr) pids.push_back(static_cast<pid_t>(psn.lowLongOfPSN));
    if (end != nullptr) *end = err;
    return pids;
}

pid_t FindBundle(const std::string& bundleId) {
    for (pid_t pid : RegisteredPids()) {
        std::map<std::string, std::string> info;
        const ProcessSerialNumber psn = PsnOf(pid);
        if (ProcessInformationCopyDictionary(&psn, kProcessDictionaryIncludeAllInformationMask, info) == noErr &&
            info[kCFBundleIdentifierKey] == bundleId)
            return pid;
    }
    return 0;
}

Peer::Peer(const std::string& bundleId, const std::map<std::string, std::string>& environment) {
    const std::string logPath = folder_ / "stderr";
    pid_ = ::fork();
    if (pid_ != 0) return;
    ::setenv(kPeerBundleVariable, bundleId.c_str(), 1);
    for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(log, STDERR_FILENO);
    ::execl(PLATFORM_PEER, PLATFORM_PEER, static_cast<char*>(nullptr));
    ::_exit(127);
}

Peer::~Peer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

bool Peer::waitRegistered() const {
    return PumpUntil([&] {
        const std::vector<pid_t> pids = RegisteredPids();
        return std::find(pids.begin(), pids.end(), pid_) != pids.end();
    });
}

bool Peer::waitExited() {
    int status = 0;
    const bool exited = ::waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    pid_ = -1;
    return exited;
}

std::string Peer::log() const {
    std::ifstream in(folder_ / "stderr");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace platform_test
