// Round trips on the event channel: a request and an answer of the same size between this
// process and an echo peer forked from it, on a private bus of the benchmark's own.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "PrivateBus.h"
#include "os/AppleEvents.h"
#include "os/EventLoop.h"
#include "os/Processes.h"

namespace {

constexpr AEEventClass kBenchClass = FOUR_CHAR_CODE("VnBn");
constexpr AEEventID kRequest = FOUR_CHAR_CODE("rqst");
constexpr AEEventID kAnswer = FOUR_CHAR_CODE("answ");
constexpr AEEventID kStop = FOUR_CHAR_CODE("stop");
constexpr AEKeyword kSenderKey = FOUR_CHAR_CODE("Psn ");

bool g_stop = false;
long g_answers = 0;
std::string g_received;  // the last payload read, as the plug-in reads its replies

// Runs the event loop until `done`; false when the bus went away or `patience` passed.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::steady_clock::duration patience = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        const VNPollSpec spec = VNEventPollSpec();
        pollfd fd{spec.fd, spec.events, 0};
        ::poll(&fd, 1,
               spec.timeoutUsec < 0 ? 10 : int(std::min<int64_t>(10, (spec.timeoutUsec + 999) / 1000)));
        if (VNProcessEvents() < 0) return false;
    }
    return true;
}

OSErr Send(ProcessSerialNumber to, AEEventID id, const std::string& payload) {
    AEAddressDesc address;
    AppleEvent event;
    AECreateDesc(typeProcessSerialNumber, &to, sizeof to, &address);
    OSErr err =
        AECreateAppleEvent(kBenchClass, id, &address, kAutoGenerateReturnID, kAnyTransactionID, &event);
    AEDisposeDesc(&address);
    if (err != noErr) return err;
    ProcessSerialNumber self;
    GetCurrentProcess(&self);
    AEPutParamPtr(&event, keyDirectObject, typeChar, payload.data(), payload.size());
    AEPutParamPtr(&event, kSenderKey, typeProcessSerialNumber, &self, sizeof self);
    err = AESend(&event, nullptr, kAENoReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr);
    AEDisposeDesc(&event);
    return err;
}

void ReadPayload(const AppleEvent* event) {
    size_t size = 0;
    AESizeOfParam(event, keyDirectObject, nullptr, &size);
    g_received.resize(size);
    AEGetParamPtr(event, keyDirectObject, typeWildCard, nullptr, g_received.data(), size, &size);
}

OSErr Echo(const AppleEvent* event, AppleEvent*, SRefCon) {
    ReadPayload(event);
    ProcessSerialNumber sender;
    AEGetParamPtr(event, kSenderKey, typeProcessSerialNumber, nullptr, &sender, sizeof sender, nullptr);
    return Send(sender, kAnswer, g_received);
}

OSErr Stop(const AppleEvent*, AppleEvent*, SRefCon) {
    g_stop = true;
    return noErr;
}

OSErr CountAnswer(const AppleEvent* event, AppleEvent*, SRefCon) {
    ReadPayload(event);
    ++g_answers;
    return noErr;
}

int RunEchoPeer() {
    if (VNRegisterProcess("com.corvane.BenchEcho", "/proc/self/exe") != noErr) return 1;
    AEInstallEventHandler(kBenchClass, kRequest, Echo, 0, false);
    AEInstallEventHandler(kBenchClass, kStop, Stop, 0, false);
    PumpUntil([] { return g_stop; }, std::chrono::hours(24));
    return 0;
}

pid_t g_peer = -1;

// One round trip of `payload` in seconds of the wall clock, since it spans three processes (this
// one, the bus and the peer); negative when the peer did not answer or answered otherwise.
double RoundTrip(const std::string& payload) {
    const ProcessSerialNumber peer{0, static_cast<uint32_t>(g_peer)};
    const long before = g_answers;
    const auto start = std::chrono::steady_clock::now();
    if (Send(peer, kRequest, payload) != noErr || !PumpUntil([&] { return g_answers > before; })) return -1;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return g_received == payload ? seconds : -1;
}

// A large payload's round trip is paired with a 64-byte one in each iteration, the order
// alternating: the bus's fixed cost as it is at that moment, on a machine busy or not.
void BM_EventRoundTrip(benchmark::State& state) {
    const std::string payload(static_cast<size_t>(state.range(0)), 'A'), small(64, 'A');
    const bool paired = payload.size() > small.size();
    double seconds = 0, smallSeconds = 0;
    bool smallFirst = true;
    for (auto _ : state) {
        double s = 0;
        if (paired && smallFirst) s = RoundTrip(small);
        const double t = RoundTrip(payload);
        if (paired && !smallFirst) s = RoundTrip(small);
        smallFirst = !smallFirst;
        if (t < 0 || s < 0) {
            state.SkipWithError("the echo peer did not answer, or answered with other bytes");
            return;
        }
        seconds += t;
        smallSeconds += s;
        state.SetIterationTime(t);
    }
    state.SetBytesProcessed(state.iterations() * 2 * state.range(0));
    if (!paired) return;
    const double n = static_cast<double>(state.iterations());
    state.counters["trip64_ms"] = 1e3 * smallSeconds / n;
    state.counters["ratio"] = seconds / smallSeconds;
    state.SetLabel("vs 64-byte round trip");
    // 50 ms, as a ratio to the 64-byte round trip's 0.3 ms on this machine when idle: busy, the small
    // round trip slows the most.
    state.counters["goal_ratio"] = 150;
}
BENCHMARK(BM_EventRoundTrip)
    ->Arg(64)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    testing_support::PrivateBus bus;
    g_peer = ::fork();
    if (g_peer == 0) ::_exit(RunEchoPeer());
    const bool ready = VNRegisterProcess("com.corvane.BenchClient", argv[0]) == noErr &&
                       AEInstallEventHandler(kBenchClass, kAnswer, CountAnswer, 0, false) == noErr &&
                       PumpUntil([] {
                           ProcessSerialNumber psn{0, static_cast<uint32_t>(g_peer) - 1};
                           return GetNextProcess(&psn) == noErr && psn.lowLongOfPSN == uint32_t(g_peer);
                       });
    if (ready)
        benchmark::RunSpecifiedBenchmarks();
    else
        std::fprintf(stderr, "bench_eventlink: the echo peer did not register\n");
    Send(ProcessSerialNumber{0, static_cast<uint32_t>(g_peer)}, kStop, "");
    ::waitpid(g_peer, nullptr, 0);
    benchmark::Shutdown();
    return ready ? 0 : 1;
}
