// Runs one decoder once under callgrind so that its instructions can be counted: unlike times,
// instruction counts repeat exactly from run to run and machine to machine. The input is built
// and the decoder run once beforehand with instrumentation off, so only the measured call
// counts, without lazy symbol binding or first-touch work.
//
//   valgrind --tool=callgrind --instr-atstart=no callgrind_driver PHASE
//
// prints "PHASE BYTES"; the callgrind totals divided by BYTES give instructions per input byte.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <utility>

#include "job/BJobFile.h"
#include "job_content.h"
#include "keystream_content.h"
#include "message/umessage.h"
#include "support/hexcodec.h"

namespace {

constexpr int kTicketDestinations = 100;

struct Phase {
    const char* name;
    const char* what;
    std::function<std::string()> input;
    // Takes the input over, as a reader of a reply the plug-in holds does.
    std::function<bool(std::string&&)> run;
};

std::string HexText() {
    std::mt19937 rng(1);
    std::string payload(1 << 20, '\0');
    for (char& c : payload) c = static_cast<char>(rng());
    return vnu::HexEncode(payload);
}

std::string FlatTicket() {
    std::ostringstream out;
    bench::TicketMessage(kTicketDestinations)->flatten(out);
    return out.str();
}

const Phase kPhases[] = {
    {"hex", "hexadecimal text of 1 MiB of random bytes, decoded", HexText,
     [](std::string&& text) { return vnu::HexDecode(text).size() * 2 == text.size(); }},
    {"keystream", "a job-shaped key stream, every field read", [] { return bench::JobShapedStream(4096); },
     [](std::string&& bytes) {
         std::istringstream in(std::move(bytes));
         return bench::ReadWithKeyStream(in).textBytes > 0;
     }},
    {"unflatten", "the flattened ticket of 100 destinations of 300 checks", FlatTicket,
     [](std::string&& bytes) {
         std::istringstream in(std::move(bytes));
         umessage m;
         return m.unflatten(in);
     }},
    {"job", "the 1000-destination job without its ticket, read as a reply is (and destroyed)",
     [] { return bench::CompanionBytes(false); },
     [](std::string&& bytes) {
         std::istringstream in(std::move(bytes));
         BJobFile job;
         job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
         return job.GetGroups().size() == static_cast<std::size_t>(bench::kGroups);
     }},
};

int Usage(std::FILE* to) {
    std::fprintf(to, "usage: valgrind --tool=callgrind --instr-atstart=no callgrind_driver PHASE\n\n");
    std::fprintf(to, "Runs one decoder once with callgrind's instrumentation on and prints the phase\n");
    std::fprintf(to, "and its input size in bytes. Phases:\n");
    for (const Phase& p : kPhases) std::fprintf(to, "  %-10s %s\n", p.name, p.what);
    return to == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
        return Usage(stdout);
    if (argc != 2) return Usage(stderr);
    for (const Phase& p : kPhases) {
        if (std::strcmp(argv[1], p.name) != 0) continue;
        const std::string input = p.input();
        if (!p.run(std::string(input))) {
            std::fprintf(stderr, "callgrind_driver: %s: the decoder failed on its input\n", p.name);
            return 1;
        }
        std::string handed = input;
        CALLGRIND_START_INSTRUMENTATION;
        const bool ok = p.run(std::move(handed));
        CALLGRIND_STOP_INSTRUMENTATION;
        if (!ok) return 1;
        std::printf("%s %zu\n", p.name, input.size());
        return 0;
    }
    std::fprintf(stderr, "callgrind_driver: unknown phase '%s'\n", argv[1]);
    return Usage(stderr);
}
