// Key-stream reading against a raw-pointer walk of the same bytes, and large records.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "cpu_clock.h"
#include "keystream/UKeyStream.h"
#include "keystream_content.h"

namespace {

using bench::CpuSeconds;
using bench::Totals;

// The anchor: the same bytes decoded in one forward pass with a pointer, no index, no checks.
struct RawWalker {
    const unsigned char* p;
    Totals t;

    static std::uint32_t Be32(const unsigned char* q) {
        return (std::uint32_t{q[0]} << 24) | (std::uint32_t{q[1]} << 16) | (std::uint32_t{q[2]} << 8) | q[3];
    }
    std::uint32_t Length() {
        std::uint32_t n = *p++;
        if (n == 0xFF) {
            n = Be32(p);
            p += 4;
        }
        return n;
    }
    std::uint64_t Value(std::uint32_t n) {
        std::uint64_t v = 0;
        for (std::uint32_t i = 0; i < n; ++i) v = (v << 8) | p[i];
        return v;
    }
    void Scalar(unsigned char type, std::uint32_t n, std::string& text) {
        switch (type) {
            case UKeyStream::eType_Int32: t.ints += static_cast<std::uint32_t>(Value(n)); break;
            case UKeyStream::eType_Boolean: t.flags += n != 0 && p[0] != 0; break;
            case UKeyStream::eType_Double: {
                const std::uint64_t bits = Value(n) << (8 * (8 - n) % 64);
                double d;
                std::memcpy(&d, &bits, 8);
                t.doubles += n == 0 ? 0.0 : d;
                break;
            }
            default: text.assign(reinterpret_cast<const char*>(p), n); t.textBytes += text.size();
        }
        p += n;
    }
    void Walk(const unsigned char* end, bool keyed) {
        std::string text;
        while (p < end) {
            if (keyed) p += 2;
            const std::uint32_t n = Length();
            const unsigned char type = *p++;
            if (type == UKeyStream::eType_Record || type == UKeyStream::eType_Array) {
                Walk(p + n, type == UKeyStream::eType_Record);
            } else if (type == UKeyStream::eType_Bytes) {
                text.assign(reinterpret_cast<const char*>(p), n);
                t.messageBytes += text.size();
                p += n;
            } else {
                Scalar(type, n, text);
            }
        }
    }
};

Totals ReadWithRawPointer(const std::string& bytes) {
    RawWalker w{reinterpret_cast<const unsigned char*>(bytes.data()), {}};
    w.p += 8;  // root header
    w.Walk(reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size()), true);
    return w.t;
}

void BM_JobStreamScan(benchmark::State& state) {
    const std::string bytes = bench::JobShapedStream();
    std::istringstream is(bytes);
    double streamSeconds = 0, rawSeconds = 0;
    Totals a, b;
    for (auto _ : state) {
        is.clear();
        is.seekg(0);
        const auto t0 = CpuSeconds();
        a = bench::ReadWithKeyStream(is);
        benchmark::DoNotOptimize(a);
        const auto t1 = CpuSeconds();
        b = ReadWithRawPointer(bytes);
        benchmark::DoNotOptimize(b);
        const auto t2 = CpuSeconds();
        streamSeconds += (t1 - t0);
        rawSeconds += (t2 - t1);
    }
    // Both sides read the same fields, so their totals must agree (the header ints aside).
    if (a.doubles != b.doubles || a.flags != b.flags || a.textBytes != b.textBytes ||
        a.messageBytes != b.messageBytes) {
        state.SkipWithError("the two readers disagree");
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["keystream_us"] = 1e6 * streamSeconds / n;
    state.counters["raw_us"] = 1e6 * rawSeconds / n;
    state.counters["ratio"] = streamSeconds / rawSeconds;
    state.SetLabel("vs raw pointer walk");
    state.counters["goal_ratio"] = 3;
}
BENCHMARK(BM_JobStreamScan)->Unit(benchmark::kMillisecond);

std::string RecordOfKeys(unsigned count) {
    std::ostringstream os;
    UKeyOutStream out(os, 0);
    out << UKeyOutStream::StartRecord(bench::kJobKey);
    // Spread over the whole key space, so no ordering of keys helps a lookup.
    for (unsigned i = 0; i < count; ++i) out << UKey(static_cast<unsigned short>(i * 40503u)) << int(i);
    out.Flush();
    return os.str();
}

void ScanRecord(std::istringstream& is) {
    is.clear();
    is.seekg(0);
    UKeyInStream in(is);
    in >> UKeyInStream::StartRecord(bench::kJobKey);
    benchmark::DoNotOptimize(in.Next());
}

// The large record's scan against a small one's.
void BM_LargeRecord(benchmark::State& state) {
    std::istringstream large(RecordOfKeys(65536)), small(RecordOfKeys(4096));
    double largeSeconds = 0, smallSeconds = 0;
    for (auto _ : state) {
        const auto t0 = CpuSeconds();
        ScanRecord(small);
        const auto t1 = CpuSeconds();
        ScanRecord(large);
        const auto t2 = CpuSeconds();
        smallSeconds += (t1 - t0);
        largeSeconds += (t2 - t1);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["scan65536_ms"] = 1e3 * largeSeconds / n;
    state.counters["scan4096_ms"] = 1e3 * smallSeconds / n;
    // Sixteen times the keys: 1 while the scan is linear.
    state.counters["ratio"] = largeSeconds / (16 * smallSeconds);
    state.SetLabel("vs 16 x 4096 keys");
    state.counters["goal_ratio"] = 18.0 / 16;  // the 65536-key scan within 18x of the 4096-key one
}
BENCHMARK(BM_LargeRecord)->Unit(benchmark::kMillisecond);

// A lookup of every key of the large record once it is scanned, against a copy of its bytes.
void BM_LookupAllKeys(benchmark::State& state) {
    const std::string bytes = RecordOfKeys(65536);
    std::istringstream large(bytes);
    std::string copy(bytes.size(), '\0');
    double lookupSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        large.clear();
        large.seekg(0);
        UKeyInStream in(large);
        in >> UKeyInStream::StartRecord(bench::kJobKey);
        in.Next();
        const auto t0 = CpuSeconds();
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
        const auto t1 = CpuSeconds();
        std::uint64_t sum = 0;
        for (unsigned i = 0; i < 65536; ++i) {
            int v = 0;
            in >> UKey(static_cast<unsigned short>(i * 40503u)) >> v;
            sum += static_cast<unsigned>(v);
        }
        benchmark::DoNotOptimize(sum);
        const auto t2 = CpuSeconds();
        copySeconds += (t1 - t0);
        lookupSeconds += (t2 - t1);
        if (sum != 65535ull * 65536 / 2) state.SkipWithError("lookups found wrong values");
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["lookup_all_ms"] = 1e3 * lookupSeconds / n;
    state.counters["memcpy_us"] = 1e6 * copySeconds / n;
    state.counters["ratio"] = lookupSeconds / copySeconds;
    state.SetLabel("vs memcpy of the record");
    state.counters["goal_ratio"] = 400;  // 10 ms, as a ratio to the copy's 24 us here
}
BENCHMARK(BM_LookupAllKeys)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
