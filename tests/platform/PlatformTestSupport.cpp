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
    Received received{refcon, 0, {}};
    AEGetEventClassAndID(event, nullptr, &received.eventId);
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
    void SetUp() override {
        bus_ = std::make_unique<testing_support::PrivateBus>();
        ASSERT_EQ(VNRegisterProcess(kSelfBundleId, kSelfBundlePath), noErr);
        for (AEEventID id : {kSeen, kGone})
            ASSERT_EQ(AEInstallEventHandler(kTestClass, id, Record, kRecorderRefcon, false), noErr);
    }
    void TearDown() override { bus_.reset(); }
    std::unique_ptr<testing_support::PrivateBus> bus_;
};

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

bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        // Short rounds: some awaited things (another process registering) send this process nothing.
        const VNPollSpec spec = VNEventPollSpec();
        pollfd fd{spec.fd, spec.events, 0};
        ::poll(&fd, 1,
               spec.timeoutUsec < 0 ? 10 : int(std::min<int64_t>(10, (spec.timeoutUsec + 999) / 1000)));
        if (VNProcessEvents() < 0) return false;
    }
    return true;
}

bool AwaitEvents(size_t count) {
    return PumpUntil([count] { return Inbox().size() >= count; });
}

ProcessSerialNumber PsnOf(pid_t pid) {
    return ProcessSerialNumber{0, static_cast<uint32_t>(pid)};
}

std::string BytesOf(const ProcessSerialNumber& psn) {
    return std::string(reinterpret_cast<const char*>(&psn), sizeof psn);
}

OSErr SendTest(ProcessSerialNumber to, AEEventID id, const std::string& payload) {
    AEAddressDesc address;
    AppleEvent event;
    EXPECT_EQ(AECreateDesc(typeProcessSerialNumber, &to, sizeof to, &address), noErr);
    EXPECT_EQ(AECreateAppleEvent(kTestClass, id, &address, kAutoGenerateReturnID, kAnyTransactionID, &event),
              noErr);
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

bool Echo(pid_t pid) {
    return SendTest(PsnOf(pid), kEcho, "") == noErr && AwaitEvents(Inbox().size() + 1);
}

std::vector<pid_t> RegisteredPids() {
    std::vector<pid_t> pids;
    for (ProcessSerialNumber psn{0, kNoProcess}; GetNextProcess(&psn) == noErr;)
        pids.push_back(static_cast<pid_t>(psn.lowLongOfPSN));
    return pids;
}

Peer::Peer(const std::string& bundleId, const std::string& sendTo) {
    const std::string logPath = folder_ / "stderr";
    pid_ = ::fork();
    if (pid_ != 0) return;
    ::setenv(kPeerBundleVariable, bundleId.c_str(), 1);
    if (!sendTo.empty()) ::setenv(kPeerSendToVariable, sendTo.c_str(), 1);
    ::dup2(::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
    ::execl(PLATFORM_PEER, PLATFORM_PEER, static_cast<char*>(nullptr));
    ::_exit(127);
}

Peer::~Peer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

bool Peer::waitExitedCleanly() {
    int status = 0;
    const bool clean = ::waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    pid_ = -1;
    return clean;
}

bool Peer::waitRegistered() const {
    return PumpUntil([&] {
        const std::vector<pid_t> pids = RegisteredPids();
        return std::find(pids.begin(), pids.end(), pid_) != pids.end();
    });
}

std::string Peer::log() const {
    std::ifstream in(folder_ / "stderr");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace platform_test
