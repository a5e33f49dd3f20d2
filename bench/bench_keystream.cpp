// Key-stream reading against a raw-pointer walk of the same bytes, and large records.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <string>

#include "UKeyStream.h"

namespace {

// The thread's own CPU time: on a shared machine other processes' time slices stay out of the
// ratio.
double Now() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

constexpr int kRuns = 1000;
constexpr int kFieldsPerRun = 30;
constexpr int kArrayDoubles = 4096;
const UKey kJob('J', 'J');
const UKey kMessage('D', 'p');
const UKey kDoubles('A', 'D');

UKey FieldKey(int i) {
    return UKey('F', static_cast<char>('A' + i));
}

// A job as the companion sends it: a large message field, a record of many runs of item
// fields (numbers, flags, short and long texts), and arrays of doubles.
std::string JobShapedStream() {
    std::mt19937 rng(3);
    std::string message(1 << 20, '\0');
    for (char& c : message) c = static_cast<char>(rng());
    std::ostringstream os;
    UKeyOutStream out(os, 0x4A4F4235);
    out << kMessage;
    out.WriteField(message.data(), static_cast<int>(message.size()), UKeyStream::eType_Bytes);
    out << UKeyOutStream::StartRecord(kJob);
    for (int run = 0; run < kRuns; ++run) {
        for (int i = 0; i < kFieldsPerRun; ++i) {
            out << FieldKey(i);
            switch (i % 5) {
                case 0: out << static_cast<int>(rng() % 100000); break;
                case 1: out << static_cast<double>(rng()) / 7.0; break;
                case 2: out << (rng() % 2 == 0); break;
                case 3: out << "short"; break;
                default: out << "a destination name longer than eight bytes"; break;
            }
        }
    }
    out.Pop();
    for (const UKey box : {UKey('R', 'B'), UKey('R', 'T'), UKey('R', 'Y')}) {
        out << UKeyOutStream::StartArray(box) << 0.0 << 0.0 << 210.0 << 297.0;
        out.Pop();
    }
    out << UKeyOutStream::StartArray(kDoubles);
    for (int i = 0; i < kArrayDoubles; ++i) out << i * 0.25;
    out.Pop();
    out.Flush();
    return os.str();
}

struct Totals {
    std::uint64_t ints = 0;
    double doubles = 0;
    std::uint64_t flags = 0;
    std::uint64_t textBytes = 0;
    std::uint64_t messageBytes = 0;
};

Totals ReadWithKeyStream(std::istream& is) {
    Totals t;
    UKeyInStream in(is);
    std::string bytes;
    in >> kMessage;
    in.Read8BitStringWithUnknownEncoding(bytes);
    t.messageBytes = bytes.size();
    in >> UKeyInStream::StartRecord(kJob);
    ustring text;
    while (in.Next()) {
        for (int i = 0; i < kFieldsPerRun; ++i) {
            in >> FieldKey(i);
            int v = 0;
            double d = 0;
            bool b = false;
            switch (i % 5) {
                case 0: in >> v, t.ints += static_cast<std::uint32_t>(v); break;
                case 1: in >> d, t.doubles += d; break;
                case 2: in >> b, t.flags += b; break;
                default: in >> text; t.textBytes += text.size();
            }
        }
    }
    in.Pop();
    for (const UKey key : {UKey('R', 'B'), UKey('R', 'T'), UKey('R', 'Y'), kDoubles}) {
        in >> UKeyInStream::StartArray(key);
        while (in.Next()) {
            double d = 0;
            in >> d;
            t.doubles += d;
        }
        in.Pop();
    }
    return t;
}

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
    const std::string bytes = JobShapedStream();
    std::istringstream is(bytes);
    double streamSeconds = 0, rawSeconds = 0;
    Totals a, b;
    for (auto _ : state) {
        is.clear();
        is.seekg(0);
        const auto t0 = Now();
        a = ReadWithKeyStream(is);
        benchmark::DoNotOptimize(a);
        const auto t1 = Now();
        b = ReadWithRawPointer(bytes);
        benchmark::DoNotOptimize(b);
        const auto t2 = Now();
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
}
BENCHMARK(BM_JobStreamScan)->Unit(benchmark::kMillisecond);

std::string RecordOfKeys(unsigned count) {
    std::ostringstream os;
    UKeyOutStream out(os, 0);
    out << UKeyOutStream::StartRecord(kJob);
    // Spread over the whole key space, so no ordering of keys helps a lookup.
    for (unsigned i = 0; i < count; ++i) out << UKey(static_cast<unsigned short>(i * 40503u)) << int(i);
    out.Flush();
    return os.str();
}

void ScanRecord(std::istringstream& is) {
    is.clear();
    is.seekg(0);
    UKeyInStream in(is);
    in >> UKeyInStream::StartRecord(kJob);
    benchmark::DoNotOptimize(in.Next());
}

// The large record's scan against a small one's, and a lookup of every key of the large one.
void BM_LargeRecord(benchmark::State& state) {
    std::istringstream large(RecordOfKeys(65536)), small(RecordOfKeys(4096));
    double largeSeconds = 0, smallSeconds = 0, lookupSeconds = 0;
    for (auto _ : state) {
        const auto t0 = Now();
        ScanRecord(small);
        const auto t1 = Now();
        ScanRecord(large);
        const auto t2 = Now();
        large.clear();
        large.seekg(0);
        UKeyInStream in(large);
        in >> UKeyInStream::StartRecord(kJob);
        in.Next();
        const auto t3 = Now();
        std::uint64_t sum = 0;
        for (unsigned i = 0; i < 65536; ++i) {
            int v = 0;
            in >> UKey(static_cast<unsigned short>(i * 40503u)) >> v;
            sum += static_cast<unsigned>(v);
        }
        benchmark::DoNotOptimize(sum);
        const auto t4 = Now();
        smallSeconds += (t1 - t0);
        largeSeconds += (t2 - t1);
        lookupSeconds += (t4 - t3);
        if (sum != 65535ull * 65536 / 2) state.SkipWithError("lookups found wrong values");
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["scan65536_ms"] = 1e3 * largeSeconds / n;
    state.counters["scan4096_ms"] = 1e3 * smallSeconds / n;
    state.counters["scan_ratio"] = largeSeconds / smallSeconds;
    state.counters["lookup_all_ms"] = 1e3 * lookupSeconds / n;
}
BENCHMARK(BM_LargeRecord)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
