// Reading and writing a large job: 1000 destinations in 10 groups, with and without a ticket
// carrying 300 checks per destination. Each result also reports its ratio to a memcpy of the
// same bytes, the floor no decoder can beat.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BJobFile.h"
#include "ConstantUStrings.h"
#include "DetectableProblemDescriptions.h"
#include "UKeyStream.h"
#include "hexcodec.h"
#include "umessage.h"

namespace {

constexpr int kGroups = 10;
constexpr int kDestinationsPerGroup = 100;
constexpr int kChecksPerDestination = 300;

using Clock = std::chrono::steady_clock;

std::shared_ptr<umessage> NewMessage() {
    return std::make_shared<umessage>();
}

template <class T>
void Add(umessage& m, const ustring& key, const T& value) {
    m.addData_priv<T>(key, umessage_details::type_of<T>::id, value, false);
}
void AddString(umessage& m, const ustring& key, const ustring& value) {
    Add(m, key, value);
}

const char* const kTypeWords[] = {"boolean", "limitsHigh", "limitsLow", "stringParameter"};

// Problem descriptions for the names the ticket checks, cycling through four kinds of setting.
umessage Descriptions(const std::vector<ustring>& names) {
    umessage descriptions;
    for (size_t i = 0; i < names.size(); ++i) {
        auto d = NewMessage();
        AddString(*d, "type", kTypeWords[i % 4]);
        Add(descriptions, names[i], d);
    }
    return descriptions;
}

// One qcs per destination, each setting every name a little differently, so that reducing the
// chains has real work to do.
umessage Ticket(const std::vector<ustring>& names, int destinations) {
    umessage ticket;
    for (int d = 0; d < destinations; ++d) {
        auto checks = NewMessage();
        for (size_t i = 0; i < names.size(); ++i) {
            auto check = NewMessage();
            switch (i % 4) {
                case 0: AddString(*check, "sev", (d + i) % 3 == 0 ? "fault" : "warn"); break;
                case 1:
                case 2:
                    Add(*check, "warn", 100.0 + (d * 7 + i) % 50);
                    Add(*check, "fault", 50.0 + (d * 3 + i) % 40);
                    break;
                default: AddString(*check, "P", ustring("profile-") + ustring(std::to_string(d % 5))); break;
            }
            Add(*checks, names[i], check);
        }
        auto qcs = NewMessage();
        Add(*qcs, "checks", checks);
        auto destination = NewMessage();
        AddString(*destination, "identifier", ustring(std::to_string(d)));
        Add(*destination, "qcs", qcs);
        Add(ticket, "destinations", destination);
    }
    return ticket;
}

void FillJob(BJobFile& job) {
    job.SetJobID("6F1C2A3B-1D2E-4F50-8A6B-7C8D9E0F1A2B");
    job.SetSN("Spring catalogue");
    job.SetLN("Layout");
    job.SetDocumentFile(UFileSpecCore("/jobs/catalogue/spring.pdf", nullptr));
    job.SetPluginInfoFile(UFileSpecCore("/jobs/catalogue/spring.info", nullptr));
    int id = 0;
    for (int g = 0; g < kGroups; ++g) {
        auto* group = new BGroup(&job);
        job.GetGroups().Insert(group);
        group->SetActive(g == 0);
        for (int d = 0; d < kDestinationsPerGroup; ++d, ++id) {
            BDestination* destination = group->InsertNewDestination();
            destination->SetCountryCode("NL");
            destination->SetPublisherCode(ustring("PUB") + ustring(std::to_string(d % 17)));
            destination->SetPublicationCode(ustring("Weekly ") + ustring(std::to_string(d)));
            destination->SetSectionCode("Regional");
            destination->SetPageSize(210 + d % 3, 297 - d % 5);
            destination->SetBleeds(3, 3, 3, 3);
            destination->SetTypeAreaMargins(12, 12, 15, 15);
            destination->SetIdentifier(ustring(std::to_string(100000 + id)));
            destination->SetExported(d % 4 == 0);
        }
    }
}

// What the companion application sends: descriptions, the job, and optionally the ticket.
std::string CompanionBytes(bool withTicket) {
    BJobFile job;
    FillJob(job);
    std::ostringstream os;
    UKeyOutStream out(os, BJobFile::kStreamIdentifier);
    auto field = [&](UKey key, const umessage& m) {
        std::ostringstream flat;
        m.flatten(flat);
        const std::string bytes = flat.str();
        out << key;
        out.WriteField(bytes.data(), static_cast<int>(bytes.size()), UKeyStream::eType_Bytes);
    };
    std::vector<ustring> names = allProblemNames();
    names.resize(kChecksPerDestination);
    if (withTicket) field(UKey('D', 'p'), Descriptions(names));
    job.JobFileKeyStreamOut(out, BJobFile::kFlagFull);
    if (withTicket) field(UKey('S', 'R'), Ticket(names, kGroups * kDestinationsPerGroup));
    out.Flush();
    return os.str();
}

const std::string& Bytes(bool withTicket) {
    static const std::string plain = CompanionBytes(false);
    static const std::string ticket = CompanionBytes(true);
    return withTicket ? ticket : plain;
}

const std::string& HexText(bool withTicket) {
    static const std::string plain = vnu::HexEncode(Bytes(false));
    static const std::string ticket = vnu::HexEncode(Bytes(true));
    return withTicket ? ticket : plain;
}

// Nanoseconds for one memcpy of `size` bytes into a buffer that is already mapped.
double MemcpyNanoseconds(size_t size) {
    std::vector<char> from(size, 'x');
    std::vector<char> to(size);
    std::memcpy(to.data(), from.data(), size);
    const int rounds = size > (1 << 24) ? 20 : 200;
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        std::memcpy(to.data(), from.data(), size);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / rounds;
}

// Runs `body` once per iteration and reports the bytes handled and the ratio to memcpy.
template <class Body>
void Measure(benchmark::State& state, size_t bytes, Body body) {
    const double memcpyNs = MemcpyNanoseconds(bytes);
    const auto start = Clock::now();
    for (auto _ : state) body();
    const double perIteration = std::chrono::duration<double, std::nano>(Clock::now() - start).count() /
                                static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["memcpy_ns"] = memcpyNs;
    state.counters["x_memcpy"] = perIteration / memcpyNs;
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
    std::istringstream in(Bytes(withTicket));
    job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
    state.counters["settings"] = static_cast<double>(job.GetCheckSettings().size());
}
BENCHMARK(BM_ReadJobFromHex)->ArgName("ticket")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ReadJob(benchmark::State& state) {
    const std::string& bytes = Bytes(state.range(0) != 0);
    Measure(state, bytes.size(), [&] {
        std::istringstream in(bytes);
        BJobFile job;
        job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
        benchmark::DoNotOptimize(job.GetGroups().size());
    });
}
BENCHMARK(BM_ReadJob)->ArgName("ticket")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The plug-in never writes the ticket back, so the job read with one writes what the other does.
void BM_WriteJob(benchmark::State& state) {
    BJobFile job;
    std::istringstream in(Bytes(state.range(0) != 0));
    job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
    std::ostringstream probe;
    job.JobFileWriteToBuffer(probe, BJobFile::kFlagFull);
    Measure(state, probe.str().size(), [&] {
        std::ostringstream out;
        job.JobFileWriteToBuffer(out, BJobFile::kFlagFull);
        benchmark::DoNotOptimize(out.tellp());
    });
}
BENCHMARK(BM_WriteJob)->ArgName("ticket")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_WriteJobAsHex(benchmark::State& state) {
    BJobFile job;
    std::istringstream in(Bytes(false));
    job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
    Measure(state, HexText(false).size(), [&] {
        std::ostringstream out;
        job.JobFileWriteToBuffer(out, BJobFile::kFlagFull);
        benchmark::DoNotOptimize(vnu::HexEncode(out.str()).size());
    });
}
BENCHMARK(BM_WriteJobAsHex)->Unit(benchmark::kMillisecond);

// The two halves of the ticket's cost, to tell where the time of a read with the ticket goes.
std::shared_ptr<const umessage> TicketMessage() {
    static const std::shared_ptr<const umessage> ticket = [] {
        std::vector<ustring> names = allProblemNames();
        names.resize(kChecksPerDestination);
        setDetectableProblemDescriptions(Descriptions(names));
        return std::make_shared<const umessage>(Ticket(names, kGroups * kDestinationsPerGroup));
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
BENCHMARK(BM_UnflattenTicket)->Unit(benchmark::kMillisecond);

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
BENCHMARK(BM_DecodeCheckSettings)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
