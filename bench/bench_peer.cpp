// Our reading of the large job against protocol buffers parsing the same content, both
// destroyed again, back to back in each iteration with the order alternating. Protobuf parses
// into a plain message on the heap, without an arena, as most of its users do. With the ticket
// the allocations per check are counted too: our read with the ticket, less the read without,
// over the 300000 checks.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

#include "allocation_counter.h"
#include "cpu_clock.h"
#include "job/BJobFile.h"
#include "job_content.h"
#include "peer_job.pb.h"

namespace {

constexpr double kGoalWithoutTicket = 0.75;
// With the ticket: protobuf's time, and at most half as much again for the least that will do.
constexpr double kGoalWithTicket = 1.0;
constexpr double kFloorWithTicket = 1.5;
constexpr double kGoalAllocationsPerCheck = 3.0;

void SetBox(varnel_peer::Box& box, const vnu::Rect2D& r) {
    box.set_left(r.x);
    box.set_top(r.y);
    box.set_right(r.x + r.width);
    box.set_bottom(r.y + r.height);
}

void AddDestination(varnel_peer::Group& group, int index) {
    const bench::DestinationFields f = bench::Destination(index);
    varnel_peer::Destination& d = *group.add_destinations();
    d.set_country_code(f.country);
    d.set_publisher_code(f.publisher);
    d.set_publication_code(f.publication);
    d.set_section_code(f.section);
    d.set_campaign(f.campaign);
    d.set_status(f.status);
    d.set_colour(f.colour);
    d.set_width(f.width);
    d.set_height(f.height);
    d.set_exported(f.exported);
    d.set_read_only(false);
    d.set_bleed_left(f.bleed[0]);
    d.set_bleed_right(f.bleed[1]);
    d.set_bleed_top(f.bleed[2]);
    d.set_bleed_bottom(f.bleed[3]);
    d.set_type_left(f.typeArea[0]);
    d.set_type_right(f.typeArea[1]);
    d.set_type_top(f.typeArea[2]);
    d.set_type_bottom(f.typeArea[3]);
    d.set_identifier(f.identifier);
}

void AddTicket(varnel_peer::Ticket& ticket) {
    for (int d = 0; d < bench::kDestinations; ++d) {
        varnel_peer::TicketDestination& destination = *ticket.add_destinations();
        destination.set_identifier(std::to_string(d));
        varnel_peer::Qcs& qcs = *destination.mutable_qcs();
        for (int i = 0; i < bench::kChecksPerDestination; ++i) {
            const bench::CheckFields c = bench::Check(d, i);
            varnel_peer::Check& check = *qcs.add_checks();
            check.set_problem(i);
            switch (c.kind) {
                case bench::CheckKind::boolean:
                    check.set_sev(c.severity);
                    check.set_fix(c.fix);
                    break;
                case bench::CheckKind::limitsHigh:
                case bench::CheckKind::limitsLow:
                    check.set_warn(c.warn);
                    check.set_fault(c.fault);
                    break;
                case bench::CheckKind::stringParameter:
                    check.set_p(c.profile);
                    check.set_sev(c.severity);
                    break;
            }
        }
    }
}

// The job's own fields as a fresh job writes them, then the shared content.
std::string PeerBytes(bool withTicket) {
    varnel_peer::Job job;
    for (int i = 0; i < bench::kChecksPerDestination; ++i) {
        varnel_peer::Description& d = *job.add_descriptions();
        d.set_name(bench::ProblemNames()[i].str());
        d.set_type(bench::TypeWord(bench::KindOf(i)));
    }
    const BJobFile fresh;
    job.set_st(fresh.GetSt());
    job.set_pv(BJobFile::kProtocolVersion);
    job.set_ss(bench::Job().identifier);
    job.set_sn(bench::Job().name);
    job.set_ln(bench::Job().layout);
    SetBox(*job.mutable_rb(), fresh.GetRequiredBleedBox());
    SetBox(*job.mutable_rt(), fresh.GetRequiredTrimBox());
    SetBox(*job.mutable_ry(), fresh.GetRequiredTypeAreaBox());
    job.set_lh(0);
    job.set_lv(0);
    job.set_lw(0);
    job.set_ld(0);
    job.set_se(false);
    job.set_cz(false);
    job.set_np(fresh.GetNP());
    job.set_cp(fresh.GetCP());
    job.set_lc(fresh.GetLC());
    job.set_fs(bench::Job().documentFile);
    job.set_pi(bench::Job().pluginInfoFile);
    for (int g = 0; g < bench::kGroups; ++g) {
        varnel_peer::Group& group = *job.add_groups();
        group.set_active(bench::GroupIsActive(g));
        group.set_gd(false);
        for (int d = 0; d < bench::kDestinationsPerGroup; ++d)
            AddDestination(group, g * bench::kDestinationsPerGroup + d);
    }
    if (withTicket) AddTicket(*job.mutable_ticket());
    return job.SerializeAsString();
}

// As the plug-in reads a reply it holds: an input stream taking the bytes over and a fresh job,
// both gone after.
std::size_t ReadOurs(std::string&& payload) {
    std::istringstream in(std::move(payload));
    BJobFile job;
    job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
    return job.GetGroups().size();
}

std::size_t ReadPeer(const std::string& bytes) {
    varnel_peer::Job job;
    if (!job.ParseFromString(bytes)) return std::numeric_limits<std::size_t>::max();
    return static_cast<std::size_t>(job.groups_size());
}

// Our reply arrives as bytes the plug-in owns, protobuf's as bytes it reads where they are: the
// copy that hands ours over is made before the clock starts.
double TimeOurs(const std::string& bytes) {
    std::string payload = bytes;
    const double start = bench::CpuSeconds();
    benchmark::DoNotOptimize(ReadOurs(std::move(payload)));
    return bench::CpuSeconds() - start;
}

double TimePeer(const std::string& bytes) {
    const double start = bench::CpuSeconds();
    benchmark::DoNotOptimize(ReadPeer(bytes));
    return bench::CpuSeconds() - start;
}

std::uint64_t OurAllocations(bool withTicket) {
    std::string payload = bench::CompanionBytes(withTicket);
    const std::uint64_t before = bench::AllocationCount();
    ReadOurs(std::move(payload));
    return bench::AllocationCount() - before;
}

void BM_JobAgainstProtobuf(benchmark::State& state) {
    const bool withTicket = state.range(0) != 0;
    const std::string& ours = bench::CompanionBytes(withTicket);
    const std::string peer = PeerBytes(withTicket);
    if (ReadOurs(std::string(ours)) != static_cast<std::size_t>(bench::kGroups) ||
        ReadPeer(peer) != static_cast<std::size_t>(bench::kGroups)) {
        state.SkipWithError("a reader lost the groups");
        return;
    }
    double oursSeconds = 0, peerSeconds = 0;
    bool oursFirst = true;
    for (auto _ : state) {
        double o, p;
        if (oursFirst) {
            o = TimeOurs(ours);
            p = TimePeer(peer);
        } else {
            p = TimePeer(peer);
            o = TimeOurs(ours);
        }
        oursFirst = !oursFirst;
        oursSeconds += o;
        peerSeconds += p;
        state.SetIterationTime(o);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ours_ms"] = 1e3 * oursSeconds / n;
    state.counters["protobuf_ms"] = 1e3 * peerSeconds / n;
    state.counters["ratio"] = oursSeconds / peerSeconds;
    state.SetLabel("vs protobuf, no arena");
    state.counters["protobuf_arena"] = 0;
    state.counters["goal_ratio"] = withTicket ? kGoalWithTicket : kGoalWithoutTicket;
    if (withTicket) state.counters["floor_ratio"] = kFloorWithTicket;
    state.counters["bytes"] = static_cast<double>(ours.size());
    state.counters["protobuf_bytes"] = static_cast<double>(peer.size());
    if (withTicket) {
        const double perCheck = static_cast<double>(OurAllocations(true) - OurAllocations(false)) /
                                static_cast<double>(bench::kChecks);
        state.counters["allocs_per_check"] = perCheck;
        state.counters["goal_allocs_per_check"] = kGoalAllocationsPerCheck;
    }
}
BENCHMARK(BM_JobAgainstProtobuf)
    ->ArgName("ticket")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
