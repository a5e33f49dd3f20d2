// ustring::format against snprintf of the same three-conversion format and values, and utf16()
// of a 64 KiB text, each paired with its anchor inside one iteration and reported as a ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "cpu_clock.h"
#include "text/ustring.h"

namespace {

constexpr int kCallsPerIteration = 1000;
constexpr size_t kTextSize = 64 * 1024;

double seconds(double since) {
    return bench::CpuSeconds() - since;
}

void BM_FormatAgainstSnprintf(benchmark::State& state) {
    double ours = 0, anchor = 0;
    char buffer[128];
    for (auto _ : state) {
        double start = bench::CpuSeconds();
        for (int i = 0; i < kCallsPerIteration; ++i)
            benchmark::DoNotOptimize(ustring::format("%5d: %s at %.2f mm", i, "trim", 210.25 + i));
        ours += seconds(start);
        start = bench::CpuSeconds();
        for (int i = 0; i < kCallsPerIteration; ++i) {
            std::snprintf(buffer, sizeof buffer, "%5d: %s at %.2f mm", i, "trim", 210.25 + i);
            benchmark::DoNotOptimize(ustring(buffer));
        }
        anchor += seconds(start);
    }
    state.counters["ratio"] = ours / anchor;
    state.SetLabel("vs snprintf");
    state.counters["goal_ratio"] = 3;
}
BENCHMARK(BM_FormatAgainstSnprintf);

// One character in nine is two bytes of UTF-8 (é), the rest ASCII.
ustring mixedText() {
    std::string s;
    while (s.size() < kTextSize) s += (s.size() % 9 == 0) ? "\xC3\xA9" : "a";
    return ustring(s);
}

void utf16Against(benchmark::State& state, const ustring& text) {
    double ours = 0, anchor = 0;
    for (auto _ : state) {
        double start = bench::CpuSeconds();
        benchmark::DoNotOptimize(text.utf16());
        ours += seconds(start);
        // The floor: widening every byte to a unit with no decoding at all.
        start = bench::CpuSeconds();
        std::u16string widened(text.begin(), text.end());
        benchmark::DoNotOptimize(widened);
        anchor += seconds(start);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["MB_per_s"] = static_cast<double>(state.iterations() * text.size()) / ours / 1e6;
    state.counters["ratio"] = ours / anchor;
    state.SetLabel("vs widening copy");
}

void BM_Utf16Ascii(benchmark::State& state) {
    utf16Against(state, ustring(std::string(kTextSize, 'a')));
}
BENCHMARK(BM_Utf16Ascii);

void BM_Utf16Mixed(benchmark::State& state) {
    utf16Against(state, mixedText());
}
BENCHMARK(BM_Utf16Mixed);

}  // namespace

BENCHMARK_MAIN();
