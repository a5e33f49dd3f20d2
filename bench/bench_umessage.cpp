// Rebuilding a large message body from its flattened form, whatever order its names arrive in:
// each order against the ascending one (the in-order case) in the same iteration.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cpu_clock.h"
#include "message/umessage.h"

namespace {

constexpr int kEntries = 131072;
constexpr double kGoalRandom = 2.0;
// 25 ms, as a ratio to the ascending body's 17 ms here.
constexpr double kGoalDescending = 1.5;

void putVarint(std::string& out, unsigned value) {
    if (value < 0x80) {
        out.push_back(static_cast<char>(value));
    } else if (value < 0x4000) {
        out.push_back(static_cast<char>(0x80 | (value >> 8)));
        out.push_back(static_cast<char>(value & 0xFF));
    } else {
        out.push_back(static_cast<char>(0xC0 | (value >> 16)));
        out.push_back(static_cast<char>((value >> 8) & 0xFF));
        out.push_back(static_cast<char>(value & 0xFF));
    }
}

enum class Order { ascending, descending, random };

// Version 4: a table of distinct names, then one int entry per name in the chosen order.
std::string body(Order order) {
    std::vector<unsigned> index(kEntries);
    std::iota(index.begin(), index.end(), 1u);
    if (order == Order::descending) std::reverse(index.begin(), index.end());
    if (order == Order::random) std::shuffle(index.begin(), index.end(), std::mt19937(42));
    std::string out;
    putVarint(out, 4);
    putVarint(out, kEntries);
    char name[16];
    for (int i = 0; i < kEntries; ++i) {
        const int n = std::snprintf(name, sizeof name, "key%06d", i);
        putVarint(out, static_cast<unsigned>(n));
        out.append(name, static_cast<std::size_t>(n));
    }
    putVarint(out, kEntries);
    for (unsigned i : index) {
        putVarint(out, i);
        out.append({1, 0, 1});  // int, not an array, one value
        putVarint(out, i & 0x7F);
    }
    return out;
}

double timedUnflatten(const std::string& bytes) {
    std::istringstream in(bytes);
    umessage m;
    const double start = bench::CpuSeconds();
    const bool ok = m.unflatten(in);
    const double stop = bench::CpuSeconds();
    benchmark::DoNotOptimize(ok);
    if (!ok || m.entries().size() != static_cast<std::size_t>(kEntries)) std::abort();
    return stop - start;
}

void BM_Unflatten131072(benchmark::State& state, Order order) {
    static const std::string anchor = body(Order::ascending);
    const std::string subject = body(order);
    double anchorTotal = 0, subjectTotal = 0;
    bool anchorFirst = true;
    for (auto _ : state) {
        double a, s;
        if (anchorFirst) {
            a = timedUnflatten(anchor);
            s = timedUnflatten(subject);
        } else {
            s = timedUnflatten(subject);
            a = timedUnflatten(anchor);
        }
        anchorFirst = !anchorFirst;
        anchorTotal += a;
        subjectTotal += s;
        state.SetIterationTime(s);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["subject_ms"] = subjectTotal / n * 1e3;
    state.counters["anchor_ms"] = anchorTotal / n * 1e3;
    state.counters["ratio"] = subjectTotal / anchorTotal;
    state.SetLabel("vs ascending");
    if (order == Order::random) state.counters["goal_ratio"] = kGoalRandom;
    if (order == Order::descending) state.counters["goal_ratio"] = kGoalDescending;
}

BENCHMARK_CAPTURE(BM_Unflatten131072, ascending, Order::ascending)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Unflatten131072, descending, Order::descending)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Unflatten131072, random, Order::random)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
