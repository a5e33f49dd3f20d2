// Reading the job with its ticket as it grows: each doubling of the destinations against the size
// before, warm, in this one process with the allocator as it comes; and, each in a fresh child
// process (this program again, started with --child), the memory a first read adds at its peak
// and a first read against the warm reads after it.
//
// A plug-in's heap holds its replies and what reading them left, nothing else: so the jobs are
// built by a child too and reach this process in memory files, mapped outside the heap, and
// each read gets its bytes copied into a string of its own, as a reply arrives.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cpu_clock.h"
#include "job/BJobFile.h"
#include "job_content.h"

extern char** environ;

namespace {

constexpr double kGoalDoubling = 2.2;
constexpr double kGoalMemory = 3.0;
constexpr double kGoalFirstRead = 1.5;
constexpr int kWarmReadsAfterFirst = 5;
constexpr double kMiB = 1024.0 * 1024.0;

// Starts this program again with `args` after --child; the child inherits the memory files. Its
// standard output, or nothing when it failed (it says why on standard error).
std::optional<std::string> RunChild(std::vector<std::string> args) {
    int out[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
    args.insert(args.begin(), {"/proc/self/exe", "--child"});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; spawned == 0 && (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return text;
}

// A job with its ticket in a memory file: the descriptor children read it from, and its bytes
// mapped read-only into this process.
struct JobFile {
    int fd = -1;
    std::string_view bytes;
};

// Each size is built once, by a child: neighbouring doublings share their jobs. No bytes when
// building failed.
const JobFile& JobOf(int destinations) {
    static std::map<int, JobFile> jobs;
    auto it = jobs.find(destinations);
    if (it != jobs.end()) return it->second;
    JobFile& job = jobs[destinations];
    job.fd = ::memfd_create("job", 0);
    struct stat st {};
    if (job.fd < 0 || !RunChild({"build", std::to_string(job.fd), std::to_string(destinations)}) ||
        ::fstat(job.fd, &st) != 0 || st.st_size == 0)
        return job;
    void* map = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, job.fd, 0);
    if (map != MAP_FAILED) job.bytes = {static_cast<const char*>(map), static_cast<std::size_t>(st.st_size)};
    return job;
}

// As the plug-in reads a reply it holds: an input stream taking the bytes over and a fresh job,
// both gone after.
std::size_t ReadJob(std::string&& payload) {
    std::istringstream in(std::move(payload));
    BJobFile job;
    job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
    return job.GetGroups().size();
}

struct Read {
    double seconds;
    long faults;  // page faults: memory the allocator had given back, or never had
    std::size_t groups;
};

// The copy that hands the bytes over is made before the clock starts.
Read TimedRead(std::string_view bytes) {
    std::string payload(bytes);
    rusage before{}, after{};
    ::getrusage(RUSAGE_THREAD, &before);
    const double start = bench::CpuSeconds();
    const std::size_t groups = ReadJob(std::move(payload));
    const double seconds = bench::CpuSeconds() - start;
    ::getrusage(RUSAGE_THREAD, &after);
    benchmark::DoNotOptimize(groups);
    return {seconds, after.ru_minflt - before.ru_minflt, groups};
}

void BM_ReadDoubling(benchmark::State& state) {
    const int large = static_cast<int>(state.range(0)), small = large / 2;
    const std::string_view smallBytes = JobOf(small).bytes, largeBytes = JobOf(large).bytes;
    // The first read of a size pays for code and heap that no later read does: it is left out
    // here, and measured on its own below.
    static std::set<int> warm;
    for (int n : {small, large}) {
        if (JobOf(n).bytes.empty() ||
            (warm.count(n) == 0 && TimedRead(JobOf(n).bytes).groups != std::size_t(bench::GroupCount(n)))) {
            state.SkipWithError("the job was not built, or its read lost groups");
            return;
        }
        warm.insert(n);
    }
    double smallSeconds = 0, largeSeconds = 0, largeFaults = 0;
    bool smallFirst = true;
    for (auto _ : state) {
        Read s, l;
        if (smallFirst) {
            s = TimedRead(smallBytes);
            l = TimedRead(largeBytes);
        } else {
            l = TimedRead(largeBytes);
            s = TimedRead(smallBytes);
        }
        smallFirst = !smallFirst;
        smallSeconds += s.seconds;
        largeSeconds += l.seconds;
        largeFaults += static_cast<double>(l.faults);
        state.SetIterationTime(l.seconds);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["small_ms"] = 1e3 * smallSeconds / n;
    state.counters["large_ms"] = 1e3 * largeSeconds / n;
    state.counters["large_faults"] = largeFaults / n;
    state.counters["bytes"] = static_cast<double>(largeBytes.size());
    state.counters["doubling_ratio"] = largeSeconds / smallSeconds;
    state.counters["goal_doubling_ratio"] = kGoalDoubling;
    state.SetLabel("vs " + std::to_string(small) + " destinations");
}
BENCHMARK(BM_ReadDoubling)
    ->ArgName("destinations")
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Arg(8000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The findings of a child, one "name value" line each.
using Findings = std::map<std::string, double>;

// Runs `mode` on the job in a fresh child once per iteration; the child's read time is the
// iteration's.
Findings MeasureInChild(benchmark::State& state, const char* mode, int destinations) {
    const JobFile& job = JobOf(destinations);
    Findings findings;
    for (auto _ : state) {
        findings.clear();
        const auto text = RunChild({mode, std::to_string(job.fd)});
        std::istringstream lines(text.value_or(""));
        std::string name;
        double value;
        while (lines >> name >> value) findings[name] = value;
        if (findings["groups"] != bench::GroupCount(destinations)) {
            state.SkipWithError("the child failed or its read lost groups");
            return {};
        }
        state.SetIterationTime(findings["read_s"]);
    }
    state.counters["input_MiB"] = static_cast<double>(job.bytes.size()) / kMiB;
    return findings;
}

void BM_ReadMemory(benchmark::State& state) {
    const int destinations = static_cast<int>(state.range(0));
    Findings f = MeasureInChild(state, "memory", destinations);
    if (f.empty()) return;
    const double added = f["added_bytes"];
    state.counters["added_MiB"] = added / kMiB;
    state.counters["bytes_per_check"] = added / (destinations * bench::kChecksPerDestination);
    state.counters["mem_ratio"] = added / static_cast<double>(JobOf(destinations).bytes.size());
    state.counters["goal_mem_ratio"] = kGoalMemory;
    state.SetLabel("added at the peak vs the input");
}
BENCHMARK(BM_ReadMemory)
    ->ArgName("destinations")
    ->Arg(1000)
    ->Arg(4000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_FirstRead(benchmark::State& state) {
    Findings f = MeasureInChild(state, "first", bench::kDestinations);
    if (f.empty()) return;
    state.counters["first_ms"] = 1e3 * f["read_s"];
    state.counters["warm_ms"] = 1e3 * f["warm_s"];
    state.counters["first_faults"] = f["faults"];
    state.counters["first_read_ratio"] = f["read_s"] / f["warm_s"];
    state.counters["goal_first_read_ratio"] = kGoalFirstRead;
    state.SetLabel("in a fresh process vs warm");
}
BENCHMARK(BM_FirstRead)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// --- the children ------------------------------------------------------------------------------

// The input as a reply the plug-in holds: a string of its own.
std::string ReadAll(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return {};
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n <= 0) return {};
        done += static_cast<std::size_t>(n);
    }
    return bytes;
}

// A figure of /proc/self/status in bytes ("VmRSS", "VmHWM": given there in KiB); -1 if absent.
double StatusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(field) + ":";
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, prefix.size(), prefix) == 0)
            return 1024.0 * std::atof(line.c_str() + prefix.size());
    return -1;
}

// The peak a read reaches over what the process held with the input already in memory, taken
// while the job is still alive.
int MemoryChild(std::string&& payload) {
    if (!(std::ofstream("/proc/self/clear_refs") << "5").flush()) {  // the peak restarts here
        std::fprintf(stderr, "bench_jobsize: cannot reset the peak in /proc/self/clear_refs\n");
        return 1;
    }
    const double before = StatusBytes("VmRSS");
    const double start = bench::CpuSeconds();
    std::istringstream in(std::move(payload));
    BJobFile job;
    job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
    const double seconds = bench::CpuSeconds() - start;
    const double peak = StatusBytes("VmHWM");
    if (before <= 0 || peak < before) {
        std::fprintf(stderr, "bench_jobsize: no memory figures in /proc/self/status\n");
        return 1;
    }
    std::printf("groups %zu\nread_s %.9f\nadded_bytes %.0f\n", job.GetGroups().size(), seconds,
                peak - before);
    return 0;
}

// The first read, then the median of the warm reads after it.
int FirstReadChild(const std::string& bytes) {
    const Read first = TimedRead(bytes);
    std::vector<double> warm;
    for (int i = 0; i < kWarmReadsAfterFirst; ++i) warm.push_back(TimedRead(bytes).seconds);
    std::nth_element(warm.begin(), warm.begin() + warm.size() / 2, warm.end());
    std::printf("groups %zu\nread_s %.9f\nfaults %ld\nwarm_s %.9f\n", first.groups, first.seconds,
                first.faults, warm[warm.size() / 2]);
    return 0;
}

int BuildChild(int fd, int destinations) {
    const std::string bytes = bench::JobBytes(destinations, true);
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            std::perror("bench_jobsize: writing the job");
            return 1;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int Child(int argc, char** argv) {
    const std::string_view mode = argv[0];
    const int fd = std::atoi(argv[1]);
    if (mode == "build" && argc == 3) return BuildChild(fd, std::atoi(argv[2]));
    std::string bytes = ReadAll(fd);
    if (bytes.empty()) {
        std::fprintf(stderr, "bench_jobsize: the child found no input on descriptor %d\n", fd);
        return 1;
    }
    if (mode == "memory") return MemoryChild(std::move(bytes));
    if (mode == "first") return FirstReadChild(bytes);
    std::fprintf(stderr, "bench_jobsize: unknown child mode '%s'\n", argv[0]);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0) return Child(argc - 2, argv + 2);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
