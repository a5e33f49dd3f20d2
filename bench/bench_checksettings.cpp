// Decoding the check settings of a large ticket: every destination's qcs carries 300 checks and
// two levels of restrictions, beside a local qcs, with descriptions for every problem. The
// scaling benchmark times 250, 500 and 1000 destinations in one iteration and reports the
// ratios to the smallest, scaled by size: 1 while decoding is linear.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cpu_clock.h"
#include "job/BCheckSettingList.h"
#include "message/umessage.h"
#include "message/umessage_image.h"
#include "support/ReadBudget.h"
#include "ticket/ConstantUStrings.h"
#include "ticket/DetectableProblemDescriptions.h"

namespace {

using Message = std::shared_ptr<umessage>;
constexpr int kChecksPerQcs = 300;
constexpr int kChecksPerRestriction = 30;
const char* const kTypeWords[] = {"boolean", "limitsHigh", "limitsLow", "parameter", "stringParameter"};

Message make() {
    return std::make_shared<umessage>();
}
void add(umessage& m, const ustring& key, const ustring& v) {
    m.addData_priv<ustring>(key, umessage_type_string, v, false);
}
void add(umessage& m, const ustring& key, double v) {
    m.addData_priv<double>(key, umessage_type_double, v, false);
}
void add(umessage& m, const ustring& key, const Message& v) {
    m.addData_priv<Message>(key, umessage_type_message, v, false);
}

const std::vector<ustring>& names() {
    static const std::vector<ustring> all = allProblemNames();
    return all;
}

// A check that gives its kind of setting something to reduce.
Message check(size_t name, int seed) {
    auto c = make();
    switch (name % 5) {
        case 0: add(*c, "sev", seed % 3 == 0 ? "fault" : "warn"); break;
        case 1:
        case 2:
            add(*c, "warn", 100.0 + seed % 50);
            add(*c, "fault", 50.0 + seed % 40);
            break;
        case 3: add(*c, "note", 1.3 + seed % 5 * 0.1); break;
        default: add(*c, "P", ustring("profile-") + ustring(std::to_string(seed % 7))); break;
    }
    return c;
}

Message qcs(size_t first, int count, int seed, int restrictionLevels) {
    auto checks = make();
    for (int i = 0; i < count; ++i) {
        const size_t name = (first + static_cast<size_t>(i)) % names().size();
        add(*checks, names()[name], check(name, seed + i));
    }
    auto q = make();
    add(*q, "checks", checks);
    if (restrictionLevels > 0)
        add(*q, "restrictions", qcs(first + 7, kChecksPerRestriction, seed + 1, restrictionLevels - 1));
    return q;
}

std::shared_ptr<const umessage> ticket(int destinations) {
    auto t = make();
    for (int d = 0; d < destinations; ++d) {
        auto destination = make();
        add(*destination, "identifier", ustring(std::to_string(d)));
        add(*destination, "qcs", qcs(static_cast<size_t>(d % 23), kChecksPerQcs, d, 2));
        add(*t, "destinations", destination);
    }
    add(*t, "qcs", qcs(0, 50, 7, 1));
    return t;
}

void installDescriptions() {
    static const bool done = [] {
        umessage descriptions;
        for (size_t i = 0; i < names().size(); ++i) {
            auto d = make();
            add(*d, "type", kTypeWords[i % 5]);
            add(descriptions, names()[i], d);
        }
        setDetectableProblemDescriptions(descriptions);
        return true;
    }();
    (void)done;
}

std::string flattened(const std::shared_ptr<const umessage>& t) {
    std::ostringstream out;
    t->flatten(out);
    return out.str();
}

// As a job's read decodes its ticket: an image of the flattened bytes, then the settings.
double decodeSeconds(const std::string& flat) {
    BCheckSettingList list;
    const double start = bench::CpuSeconds();
    umessage_image image;
    vnu::ReadBudget budget(flat.size());
    image.read(std::string_view(flat), budget);
    list.DeserialiseSettings(image);
    benchmark::DoNotOptimize(list.size());
    return bench::CpuSeconds() - start;
}

void BM_DeserialiseSettingsScaling(benchmark::State& state) {
    installDescriptions();
    const std::string t250 = flattened(ticket(250)), t500 = flattened(ticket(500)),
                      t1000 = flattened(ticket(1000));
    double s250 = 0, s500 = 0, s1000 = 0;
    for (auto _ : state) {
        s250 += decodeSeconds(t250);
        s500 += decodeSeconds(t500);
        s1000 += decodeSeconds(t1000);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ms_250"] = s250 / n * 1e3;
    state.counters["ms_500"] = s500 / n * 1e3;
    state.counters["ms_1000"] = s1000 / n * 1e3;
    state.counters["ratio_500"] = s500 / (2 * s250);
    state.counters["ratio"] = s1000 / (4 * s250);
    state.SetLabel("vs 4 x 250 destinations");
    // Linear growth, read as: 1000 destinations within 1.5x of four times 250.
    state.counters["goal_ratio"] = 1.5;
}
BENCHMARK(BM_DeserialiseSettingsScaling)->Unit(benchmark::kMillisecond);

// The 1000-destination ticket against a copy of as many bytes as its flattened form has.
void BM_DeserialiseSettings1000(benchmark::State& state) {
    installDescriptions();
    const std::string from = flattened(ticket(1000));
    std::string to(from.size(), '\0');
    double copySeconds = 0, decode = 0;
    for (auto _ : state) {
        const double start = bench::CpuSeconds();
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
        copySeconds += bench::CpuSeconds() - start;
        decode += decodeSeconds(from);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ms_1000"] = decode / n * 1e3;
    state.counters["memcpy_ms"] = copySeconds / n * 1e3;
    state.counters["bytes"] = static_cast<double>(from.size());
    state.counters["ratio"] = decode / copySeconds;
    state.SetLabel("vs memcpy of the flattened ticket");
    state.counters["goal_ratio"] = 170;  // 100 ms, as a ratio to the copy's 0.59 ms here
}
BENCHMARK(BM_DeserialiseSettings1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
