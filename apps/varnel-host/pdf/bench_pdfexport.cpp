// Exporting a document of 1000 paths (curves and straight lines, open and closed) as a PDF:
// building the page, compressing, and the atomic write with its flush to disk. Goal: under 200 ms.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "pdf/PdfWriter.h"

namespace {

constexpr int kPaths = 1000;
constexpr int kAnchorsPerPath = 8;

vhost::pdf::PdfDocument Document() {
    vhost::pdf::PdfDocument document;
    document.title = "Benchmark";
    document.artboard = {-8.5, 850.5, 603.5, -8.5};
    for (int i = 0; i < kPaths; ++i) {
        vhost::pdf::PdfPath path;
        path.closed = i % 2 == 0;
        const double cx = 20 + (i % 30) * 19.3, cy = 20 + (i / 30) * 24.7, r = 8 + i % 7;
        for (int k = 0; k < kAnchorsPerPath; ++k) {
            const double a = 2 * M_PI * k / kAnchorsPerPath;
            AIPathSegment s;
            s.p = {cx + r * std::cos(a), cy + r * std::sin(a)};
            // Every other anchor is a smooth point, so both curveto and lineto occur.
            const double handle = k % 2 == 0 ? r * 0.2 : 0;
            s.in = {s.p.h + handle * std::sin(a), s.p.v - handle * std::cos(a)};
            s.out = {s.p.h - handle * std::sin(a), s.p.v + handle * std::cos(a)};
            path.segments.push_back(s);
            // The host's own document holds the same coordinates as JSON text.
            document.hostData += "{\"p\":[" + std::to_string(s.p.h) + "," + std::to_string(s.p.v) +
                                 "],\"in\":[" + std::to_string(s.in.h) + "," + std::to_string(s.in.v) +
                                 "],\"out\":[" + std::to_string(s.out.h) + "," + std::to_string(s.out.v) +
                                 "]},";
        }
        document.printableArt.emplace_back(std::in_place_type<vhost::pdf::PdfPath>, std::move(path));
    }
    return document;
}

vhost::ActionParams Block(const std::string& path) {
    using vhost::ActionParam;
    return {{uint32_t(AI_FOUR_CHAR("comp")), ActionParam::Type::Enumerated, 23, 0, "Compatibility"},
            {uint32_t(AI_FOUR_CHAR("btop")), ActionParam::Type::Real, 0, 3, ""},
            {uint32_t(AI_FOUR_CHAR("name")), ActionParam::Type::String, 0, 0, path}};
}

void BM_WritePdf1000Paths(benchmark::State& state) {
    std::string folder = (std::filesystem::temp_directory_path() / "varnel-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        state.SkipWithError("mkdtemp failed");
        return;
    }
    const vhost::pdf::PdfDocument document = Document();
    const vhost::ActionParams block = Block(folder + "/export.pdf");
    for (auto _ : state) benchmark::DoNotOptimize(vhost::pdf::WritePdf(document, block));
    state.counters["bytes"] = double(std::filesystem::file_size(folder + "/export.pdf"));
    state.counters["goal_ms"] = 200;
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WritePdf1000Paths)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
