// The inspector as people run it, each run a process of its own whose peak resident size and
// times the kernel reports: `varnel-inspect job` of the job of support/job_content with 4000
// destinations and its ticket, and `varnel-inspect message` of a message of 131,072 names (the
// most a flattened body holds). The output is written in full, to /dev/null. A child of this
// program that reads the job as the inspector does and writes nothing (--read-job FILE) tells the
// read's part of the peak from the output's.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "TestFolders.h"
#include "job/BJobFile.h"
#include "job_content.h"
#include "message/umessage.h"

extern char** environ;

namespace {

constexpr int kDestinations = 4000;
constexpr int kNames = 131072;
constexpr double kMiB = 1024.0 * 1024.0;
// The job's peak: at most three times the input plus 50 MB.
constexpr double kGoalInputTimes = 3.0;
constexpr double kGoalSlackBytes = 50e6;
constexpr double kGoalMessageSeconds = 1.0;

// The inputs and what the children write, in a folder of the benchmark's own.
const testing_support::ScratchFolder& Scratch() {
    static const testing_support::ScratchFolder folder;
    return folder;
}

void WriteInputs(const std::string& folder) {
    std::ofstream(folder + "/job.bin", std::ios::binary) << bench::JobBytes(kDestinations, true);
    umessage message;
    char name[16];
    // In key order: each name goes at the end.
    for (int i = 0; i < kNames; ++i) {
        std::snprintf(name, sizeof name, "name%06d", i);
        message.addData_priv<int>(ustring(name), umessage_type_int, i, false);
    }
    std::ofstream flat(folder + "/message.bin", std::ios::binary);
    message.flatten(flat);
}

// The inspector built beside the benchmarks: <build>/apps/varnel-inspect/varnel-inspect.
std::string Inspector() {
    std::error_code ignored;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ignored);
    return (self.parent_path().parent_path() / "apps" / "varnel-inspect" / "varnel-inspect").string();
}

struct Run {
    bool ok = false;
    double seconds = 0, cpuSeconds = 0, peakMiB = 0;
};

// Runs the program with its output and errors sent to /dev/null and its data folder (where a job
// read puts colour profiles) in the scratch folder.
Run Spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env{"XDG_DATA_HOME=" + Scratch() / "data"};
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "XDG_DATA_HOME=", 14) != 0) env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Run run;
    int status = 0;
    rusage usage{};
    if (spawned != 0 || ::wait4(pid, &status, 0, &usage) != pid) return run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto secondsOf = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    run.cpuSeconds = secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
    run.peakMiB = static_cast<double>(usage.ru_maxrss) * 1024.0 / kMiB;  // the kernel counts KiB
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// The path of an input, built by a child of this program (--write-inputs FOLDER) the first time:
// a child started from a process holding the job would be reported as that large, since the
// kernel keeps the largest size a process had before its exec.
std::string Input(const char* name) {
    static const bool built = Spawn({"/proc/self/exe", "--write-inputs", Scratch().path()}).ok;
    return built ? Scratch() / name : "";
}

// What the inspector holds while it reads a job: the bytes, and the job read from them in place.
int ReadJobOnly(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(file), {});
    std::istringstream in(std::move(bytes));
    BJobFile job;
    job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
    return job.GetGroups().size() > 0 ? 0 : 1;
}

void BM_InspectJob(benchmark::State& state) {
    const std::string path = Input("job.bin");
    if (path.empty()) {
        state.SkipWithError("the inputs could not be written");
        return;
    }
    const double inputMiB = static_cast<double>(std::filesystem::file_size(path)) / kMiB;
    Run job, read;
    for (auto _ : state) {
        job = Spawn({Inspector(), "job", path});
        read = Spawn({"/proc/self/exe", "--read-job", path});
        if (!job.ok || !read.ok) {
            state.SkipWithError(job.ok ? "the job read alone failed"
                                       : "varnel-inspect job failed (is it built?)");
            return;
        }
        state.SetIterationTime(job.seconds);
    }
    state.counters["input_MiB"] = inputMiB;
    state.counters["job_peak_MiB"] = job.peakMiB;
    state.counters["goal_job_peak_MiB"] = kGoalInputTimes * inputMiB + kGoalSlackBytes / kMiB;
    state.counters["read_peak_MiB"] = read.peakMiB;
    state.counters["output_MiB"] = job.peakMiB - read.peakMiB;
    state.counters["job_cpu_s"] = job.cpuSeconds;
    state.SetLabel("4000 destinations");
}
BENCHMARK(BM_InspectJob)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_InspectMessage(benchmark::State& state) {
    const std::string path = Input("message.bin");
    if (path.empty()) {
        state.SkipWithError("the inputs could not be written");
        return;
    }
    Run run;
    for (auto _ : state) {
        run = Spawn({Inspector(), "message", path});
        if (!run.ok) {
            state.SkipWithError("varnel-inspect message failed (is it built?)");
            return;
        }
        state.SetIterationTime(run.seconds);
    }
    // The process's own CPU time, which a busy machine leaves as it is.
    state.counters["message_cpu_s"] = run.cpuSeconds;
    state.counters["goal_message_cpu_s"] = kGoalMessageSeconds;
    state.counters["message_s"] = run.seconds;
    state.counters["message_peak_MiB"] = run.peakMiB;
    state.SetLabel("131072 names");
}
BENCHMARK(BM_InspectMessage)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--read-job") == 0) return ReadJobOnly(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--write-inputs") == 0) {
        WriteInputs(argv[2]);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
