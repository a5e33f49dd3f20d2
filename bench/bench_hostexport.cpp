// The stand-in host with a document of 20,000 paths of eight anchors each (curves and straight
// lines, open and closed, coordinates of full precision as a drawing gives them): exporting it as
// a PDF (the page, the document carried inside, compression, the atomic write), and opening its
// saved file and saving it again. Each reports the CPU time of the whole process per operation
// (clock_gettime, CLOCK_PROCESS_CPUTIME_ID) beside its goal: at most 0.5 s to export, 0.3 s to
// open and save. The sizes of the files and the process's peak resident size go with them.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>

#include "DocumentJson.h"
#include "DocumentStore.h"
#include "PdfExport.h"
#include "TestFolders.h"
#include "support/ReplaceFile.h"

namespace {

constexpr int kPaths = 20000;
constexpr int kAnchorsPerPath = 8;
constexpr double kGoalExportSeconds = 0.5;
constexpr double kGoalOpenSaveSeconds = 0.3;

double ProcessCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double PeakResidentMiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// An A4 page with bleed, the plug-in's job in its dictionary, and the paths in rows across it.
vhost::Document PathDocument() {
    vhost::Document doc = vhost::makeDocument(612.28, 858.89, vhost::kColorModelCMYK);
    doc.dictionary["Varnel5SLUGData"].bytes = std::string(4096, '\x5A');
    doc.art.reserve(kPaths);
    for (int i = 0; i < kPaths; ++i) {
        vhost::Art art;
        art.closed = i % 2 == 0;
        const double cx = 12 + (i % 140) * 4.2, cy = 12 + (i / 140) * 5.8, r = 1.5 + (i % 7) * 0.31;
        for (int k = 0; k < kAnchorsPerPath; ++k) {
            const double a = 2 * M_PI * k / kAnchorsPerPath + i * 0.001;
            AIPathSegment s;
            s.p = {cx + r * std::cos(a), cy + r * std::sin(a)};
            // Every other anchor is a smooth point, so both curveto and lineto occur.
            const double handle = k % 2 == 0 ? r * 0.2 : 0;
            s.in = {s.p.h + handle * std::sin(a), s.p.v - handle * std::cos(a)};
            s.out = {s.p.h - handle * std::sin(a), s.p.v + handle * std::cos(a)};
            s.corner = handle == 0;
            art.segments.push_back(s);
        }
        doc.art.push_back(std::move(art));
    }
    return doc;
}

const testing_support::ScratchFolder& Scratch() {
    static const testing_support::ScratchFolder folder;
    return folder;
}

void BM_HostExport20000Paths(benchmark::State& state) {
    const vhost::Document doc = PathDocument();
    const std::string path = Scratch() / "export.pdf";
    const vhost::ActionParams block = vhost::withTarget({}, path);
    std::ostringstream log;
    double seconds = 0;
    for (auto _ : state) {
        const double start = ProcessCpuSeconds();
        benchmark::DoNotOptimize(vhost::writeDocumentPdf(doc, block, log, "bench"));
        seconds += ProcessCpuSeconds() - start;
    }
    state.counters["export_cpu_s"] = seconds / double(state.iterations());
    state.counters["goal_export_cpu_s"] = kGoalExportSeconds;
    state.counters["pdf_mb"] = double(std::filesystem::file_size(path)) / 1e6;
    state.counters["peak_rss_mib"] = PeakResidentMiB();
}
BENCHMARK(BM_HostExport20000Paths)->Unit(benchmark::kMillisecond);

// Opening the saved document and saving it to its file again; closing it is not counted.
void BM_HostOpenSave20000Paths(benchmark::State& state) {
    const std::string path = Scratch() / "document.json";
    vnu::ReplaceFileContentsOrThrow(path, vhost::documentText(PathDocument()));
    std::ostringstream log;
    double seconds = 0;
    for (auto _ : state) {
        vhost::DocumentStore store(log);
        const double start = ProcessCpuSeconds();
        store.save(store.open(path, false));
        seconds += ProcessCpuSeconds() - start;
    }
    state.counters["open_save_cpu_s"] = seconds / double(state.iterations());
    state.counters["goal_open_save_cpu_s"] = kGoalOpenSaveSeconds;
    state.counters["json_mb"] = double(std::filesystem::file_size(path)) / 1e6;
    state.counters["peak_rss_mib"] = PeakResidentMiB();
}
BENCHMARK(BM_HostOpenSave20000Paths)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
