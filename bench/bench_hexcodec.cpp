// Hexadecimal payload decoding and encoding, each against a plain copy of its input.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "cpu_clock.h"
#include "support/hexcodec.h"

namespace {

void BM_HexDecode8MiB(benchmark::State& state) {
    std::mt19937 rng(1);
    std::string payload(4 << 20, '\0');
    for (char& c : payload) c = static_cast<char>(rng());
    const std::string text = vnu::HexEncode(payload);  // 8 MiB of text
    std::string copy(text.size(), '\0');
    std::string decoded;
    double decodeSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        const auto t0 = bench::CpuSeconds();
        std::memcpy(copy.data(), text.data(), text.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
        const auto t1 = bench::CpuSeconds();
        decoded = vnu::HexDecode(text);
        benchmark::DoNotOptimize(decoded.data());
        const auto t2 = bench::CpuSeconds();
        copySeconds += (t1 - t0);
        decodeSeconds += (t2 - t1);
    }
    if (decoded != payload) state.SkipWithError("decoded bytes differ");
    const double n = static_cast<double>(state.iterations());
    state.counters["decode_ms"] = 1e3 * decodeSeconds / n;
    state.counters["memcpy_ms"] = 1e3 * copySeconds / n;
    state.counters["ratio"] = decodeSeconds / copySeconds;
    state.SetLabel("vs memcpy");
    state.counters["goal_ratio"] = 8;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_HexDecode8MiB)->Unit(benchmark::kMillisecond);

void BM_HexEncode4MiB(benchmark::State& state) {
    const std::string payload(4 << 20, '\x5A');
    std::string copy(payload.size(), '\0');
    double encodeSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        const auto t0 = bench::CpuSeconds();
        std::memcpy(copy.data(), payload.data(), payload.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
        const auto t1 = bench::CpuSeconds();
        std::string text = vnu::HexEncode(payload);
        benchmark::DoNotOptimize(text.data());
        const auto t2 = bench::CpuSeconds();
        copySeconds += (t1 - t0);
        encodeSeconds += (t2 - t1);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["encode_ms"] = 1e3 * encodeSeconds / n;
    state.counters["memcpy_ms"] = 1e3 * copySeconds / n;
    state.counters["ratio"] = encodeSeconds / copySeconds;
    state.SetLabel("vs memcpy");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(payload.size()));
}
BENCHMARK(BM_HexEncode4MiB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
