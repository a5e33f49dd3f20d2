// Reading and writing the large job of support/job_content (1000 destinations in 10 groups), with
// and without its ticket of 300 checks per destination. Each result reports its ratio to a
// memcpy of the same bytes taken in the same iteration, the floor no decoder can beat.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cpu_clock.h"
#include "job/BJobFile.h"
#include "job_content.h"
#include "message/umessage.h"
#include "support/hexcodec.h"
#include "ticket/DetectableProblemDescriptions.h"

namespace {

using bench::CompanionBytes;

const std::string& HexText(bool withTicket) {
    static const std::string plain = vnu::HexEncode(CompanionBytes(false));
    static const std::string ticket = vnu::HexEncode(CompanionBytes(true));
    return withTicket ? ticket : plain;
}

// Runs `body` once per iteration after a memcpy of as many bytes, and reports the bytes handled
// and the ratio of the two CPU times.
template <class Body>
void Measure(benchmark::State& state, size_t bytes, Body body) {
    std::vector<char> from(bytes, 'x'), to(bytes);
    double copySeconds = 0, bodySeconds = 0;
    for (auto _ : state) {
        const double t0 = bench::CpuSeconds();
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
        const double t1 = bench::CpuSeconds();
        body();
        const double t2 = bench::CpuSeconds();
        copySeconds += t1 - t0;
        bodySeconds += t2 - t1;
        state.SetIterationTime(t2 - t1);
    }
    const double n = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["memcpy_us"] = 1e6 * copySeconds / n;
    state.counters["ratio"] = bodySeconds / copySeconds;
    state.SetLabel("vs memcpy");
}

// Read from the event channel's hexadecimal text, hex decode included; with the ticket the check
// settings are decoded too.
void BM_ReadJobFromHex(benchmark::State& state) {
    const bool withTicket = state.range(0) != 0;
    const std::string& text = HexText(withTicket);
    Measure(state, text.size(), [&] {
        std::istringstream in(vnu::HexDecode(text));
        BJobFile job;
        job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
        benchmark::DoNotOptimize(job.GetCheckSettings().size());
    });
    BJobFile job;
    std::istringstream in(CompanionBytes(withTicket));
    job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
    state.counters["settings"] = static_cast<double>(job.GetCheckSettings().size());
    // 150 ms with the ticket and 5 ms without, as ratios to the copy's 1.46 ms and 14.7 us here.
    state.counters["goal_ratio"] = withTicket ? 100 : 350;
}
BENCHMARK(BM_ReadJobFromHex)
    ->ArgName("ticket")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_ReadJob(benchmark::State& state) {
    const std::string& bytes = CompanionBytes(state.range(0) != 0);
    Measure(state, bytes.size(), [&] {
        std::istringstream in(bytes);
        BJobFile job;
        job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
        benchmark::DoNotOptimize(job.GetGroups().size());
    });
}
BENCHMARK(BM_ReadJob)->ArgName("ticket")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The plug-in never writes the ticket back, so the job read with one writes what the other does.
void BM_WriteJob(benchmark::State& state) {
    BJobFile job;
    std::istringstream in(CompanionBytes(state.range(0) != 0));
    job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
    std::ostringstream probe;
    job.JobFileWriteToBuffer(probe, BJobFile::kFlagFull);
    Measure(state, probe.str().size(), [&] {
        std::ostringstream out;
        job.JobFileWriteToBuffer(out, BJobFile::kFlagFull);
        benchmark::DoNotOptimize(out.tellp());
    });
    // 5 ms, as a ratio to the copy's 15.7 us here.
    if (state.range(0) == 0) state.counters["goal_ratio"] = 300;
}
BENCHMARK(BM_WriteJob)->ArgName("ticket")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_WriteJobAsHex(benchmark::State& state) {
    BJobFile job;
    std::istringstream in(CompanionBytes(false));
    job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
    Measure(state, HexText(false).size(), [&] {
        std::ostringstream out;
        job.JobFileWriteToBuffer(out, BJobFile::kFlagFull);
        benchmark::DoNotOptimize(vnu::HexEncode(out.str()).size());
    });
}
BENCHMARK(BM_WriteJobAsHex)->UseManualTime()->Unit(benchmark::kMillisecond);

// The two halves of the ticket's cost, to tell where the time of a read with the ticket goes.
std::shared_ptr<const umessage> TicketMessage() {
    static const std::shared_ptr<const umessage> ticket = [] {
        setDetectableProblemDescriptions(bench::DescriptionsMessage());
        return bench::TicketMessage();
    }();
    return ticket;
}

void BM_UnflattenTicket(benchmark::State& state) {
    std::ostringstream flat;
    TicketMessage()->flatten(flat);
    const std::string bytes = flat.str();
    Measure(state, bytes.size(), [&] {
        std::istringstream in(bytes);
        umessage m;
        benchmark::DoNotOptimize(m.unflatten(in));
    });
}
BENCHMARK(BM_UnflattenTicket)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_DecodeCheckSettings(benchmark::State& state) {
    const auto ticket = TicketMessage();
    std::ostringstream flat;
    ticket->flatten(flat);
    Measure(state, flat.str().size(), [&] {
        BCheckSettingList list;
        list.DeserialiseSettings(ticket);
        benchmark::DoNotOptimize(list.size());
    });
}
BENCHMARK(BM_DecodeCheckSettings)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
