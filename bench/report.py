#!/usr/bin/env python3
"""Runs every benchmark of the project and reports which performance goals hold.

Each benchmark program (BUILD_DIR/bench/bench_*) prints its results, each with its ratio to its
anchor; the JSON results go to BUILD_DIR/bench-results/. The callgrind driver then counts the
instructions per input byte of the hex decode, the key-stream scan and unflatten. At the end a
one-page table goes to standard output and a bar chart of the goals to BUILD_DIR/bench-report.png.

A goal is any counter NAME beside a counter goal_NAME: it holds when NAME is at most goal_NAME.
A counter floor_NAME beside them is the least that will do, shown with the goal. Whatever program
reports such pairs has its goals in the report, without a change here.

The chart is drawn with matplotlib (Debian's python3-matplotlib); the table needs nothing beyond
the standard library.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

CALLGRIND_PHASES = [
    ("hex", "hex decode"),
    ("keystream", "key-stream scan"),
    ("unflatten", "unflatten (and destroy)"),
    ("job", "job read without ticket"),
]

# What each counter with a goal means, for the table and the chart. A ratio's benchmark label
# says what it is relative to and follows the text; a counter not named here is described by
# its name ("export_cpu_s": "export, CPU s").
GOAL_TEXT = {
    "ratio": "ratio",
    "doubling_ratio": "time",
    "mem_ratio": "memory",
    "first_read_ratio": "first read",
    "allocs_per_check": "allocations per check",
    "ms": "time, ms",
    "export_cpu_s": "export, CPU s",
    "open_save_cpu_s": "open and save, CPU s",
    "job_peak_MiB": "peak resident size, MiB",
    "message_s": "time, s",
}
UNIT_TEXT = [("_cpu_s", ", CPU s"), ("_ms", ", ms"), ("_s", ", s"), ("_MiB", ", MiB")]
# Figures printed beside the goals: the times and sizes behind a ratio.
FIGURES = [
    ("trip64_ms", "64-byte round trip {:.2f} ms"),
    ("ours_ms", "ours {:.1f} ms"),
    ("protobuf_ms", "protobuf {:.1f} ms"),
    ("small_ms", "half the destinations {:.1f} ms"),
    ("large_ms", "all of them {:.1f} ms"),
    ("large_faults", "{:,.0f} page faults a read"),
    ("input_MiB", "input {:.1f} MiB"),
    ("added_MiB", "added at the peak {:.1f} MiB"),
    ("bytes_per_check", "{:.0f} bytes per check"),
    ("first_ms", "first read {:.1f} ms"),
    ("warm_ms", "warm read {:.1f} ms"),
    ("first_faults", "{:,.0f} page faults in the first"),
]
# Google Benchmark's time units, in milliseconds.
MS_PER_UNIT = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


def describe(counter, label):
    """The text of a goal's counter; a ratio's label says what it is relative to."""
    text = GOAL_TEXT.get(counter)
    if text is None:
        text = counter
        for suffix, unit in UNIT_TEXT:
            if counter.endswith(suffix):
                text = counter[:-len(suffix)] + unit
                break
        text = text.replace("_", " ")
    if counter.endswith("ratio") and label:
        text += " " + label
    return text


def run_benchmarks(build, results, repetitions):
    """Runs each benchmark program; returns the names of those that failed."""
    programs = sorted(
        p for p in os.listdir(os.path.join(build, "bench"))
        if p.startswith("bench_") and os.access(os.path.join(build, "bench", p), os.X_OK))
    if not programs:
        sys.exit(f"report.py: no benchmark programs in {build}/bench; build them first")
    failed = []
    for name in programs:
        print(f"== {name}", flush=True)
        out = os.path.join(results, name + ".json")
        status = subprocess.call([
            os.path.join(build, "bench", name),
            f"--benchmark_repetitions={repetitions}",
            "--benchmark_report_aggregates_only=true",
            f"--benchmark_out={out}",
            "--benchmark_out_format=json",
        ])
        if status != 0:
            failed.append(name)
    return failed


def count_instructions(build, results):
    """Instructions per input byte of each callgrind phase, saved beside the benchmark results."""
    driver = os.path.join(build, "bench", "callgrind_driver")
    if shutil.which("valgrind") is None or not os.access(driver, os.X_OK):
        print("report.py: valgrind or the callgrind driver is missing; no instruction counts")
        return {}
    counts = {}
    with tempfile.TemporaryDirectory() as tmp:
        for phase, _ in CALLGRIND_PHASES:
            out = os.path.join(tmp, phase + ".out")
            print(f"== callgrind: {phase}", flush=True)
            proc = subprocess.run(
                ["valgrind", "--tool=callgrind", "--instr-atstart=no", f"--callgrind-out-file={out}",
                 driver, phase],
                capture_output=True, text=True)
            fields = proc.stdout.split()
            if proc.returncode != 0 or len(fields) != 2 or not os.path.exists(out):
                print(f"report.py: callgrind run of '{phase}' failed:\n{proc.stderr[-2000:]}")
                continue
            with open(out) as f:
                totals = [int(line.split()[1]) for line in f if line.startswith("totals:")]
            if totals:
                counts[phase] = {"instructions": totals[0], "bytes": int(fields[1])}
    with open(os.path.join(results, "instructions.json"), "w") as f:
        json.dump(counts, f, indent=1)
    return counts


def short_name(run_name):
    """BM_Family/args without what Google Benchmark adds: the clock, fixed iterations or repeats."""
    name = run_name[3:] if run_name.startswith("BM_") else run_name
    return "/".join(part for part in name.split("/")
                    if part not in ("manual_time", "real_time") and not part.startswith(("iterations:", "repeats:")))


def load_results(results):
    """Rows of (benchmark, label, counters), medians when the runs were repeated."""
    rows = []
    for name in sorted(os.listdir(results)):
        if not name.startswith("bench_") or not name.endswith(".json"):
            continue
        with open(os.path.join(results, name)) as f:
            data = json.load(f)
        benchmarks = data.get("benchmarks", [])
        repeated = any(b.get("run_type") == "aggregate" for b in benchmarks)
        for b in benchmarks:
            if repeated and b.get("aggregate_name") != "median":
                continue
            if "error_occurred" in b and b["error_occurred"]:
                rows.append((short_name(b.get("run_name", b["name"])), "error: " + b.get("error_message", ""), {}))
                continue
            counters = {k: v for k, v in b.items() if isinstance(v, (int, float)) and not isinstance(v, bool)}
            # Time goals compare the measured (or manual) time itself, as "ms".
            if "real_time" in counters and b.get("time_unit") in MS_PER_UNIT:
                counters.setdefault("ms", counters["real_time"] * MS_PER_UNIT[b["time_unit"]])
            rows.append((short_name(b.get("run_name", b["name"])), b.get("label", ""), counters))
    return rows


def goals_of(rows):
    """(benchmark, what, value, goal, floor) for every counter with a goal_ companion; floor is the
    least that will do (a floor_ companion) or None."""
    goals = []
    for name, label, counters in rows:
        for key, goal in counters.items():
            if key.startswith("goal_") and key[5:] in counters:
                counter = key[5:]
                goals.append((name, describe(counter, label), counters[counter], goal,
                              counters.get("floor_" + counter)))
    return goals


def verdict(value, goal, floor):
    if value <= goal:
        return "holds"
    return "floor" if floor is not None and value <= floor else "FAILS"


def arena_note(rows):
    """Whether protobuf, the job read's peer, parses on an arena: the peer benchmark says so."""
    arenas = {counters["protobuf_arena"] for _, _, counters in rows if "protobuf_arena" in counters}
    if not arenas:
        return None
    return "protobuf parses on an arena" if any(arenas) else "protobuf parses without an arena"


def print_table(rows, goals, counts, failed):
    width = max([len(r[0]) for r in rows] + [20])
    what_width = max([len(g[1]) for g in goals] + [24])
    print()
    print("Benchmark report: each goal a ratio to a reference taken in the same run (medians)")
    note = arena_note(rows)
    if note:
        print(f"The job read's peer: {note}.")
    print()
    print(f"{'benchmark':<{width}}  {'ratio':>9}  anchor")
    for name, label, counters in rows:
        ratio = counters.get("ratio")
        if ratio is None:  # a ratio of its own kind, with its goal
            ratio = next((v for k, v in counters.items() if k.endswith("ratio") and "goal_" + k in counters), None)
        text = f"{ratio:9.3f}" if ratio is not None else f"{'-':>9}"
        print(f"{name:<{width}}  {text}  {label}")
    print()
    print("Goals (value at most the goal; 'floor': over the goal, within the least that will do):")
    held = within_floor = 0
    for name, what, value, goal, floor in goals:
        v = verdict(value, goal, floor)
        held += v == "holds"
        within_floor += v == "floor"
        floor_text = f" (floor {floor:g})" if floor is not None else ""
        print(f"  {v:<5}  {name:<{width}}  {what:<{what_width}} {value:10.3f}  goal {goal:.4g}{floor_text}")
    floor_text = f", {within_floor} more within their floor" if within_floor else ""
    print(f"  {held} of {len(goals)} goals hold{floor_text}")
    figures = []
    for name, _, counters in rows:
        texts = [fmt.format(counters[key]) for key, fmt in FIGURES if key in counters]
        if texts:
            figures.append(f"  {name:<{width}}  " + ", ".join(texts))
    if figures:
        print()
        print("Figures behind the ratios:")
        print("\n".join(figures))
    if counts:
        print()
        print("Instructions per input byte (callgrind, exact from run to run):")
        for phase, text in CALLGRIND_PHASES:
            if phase in counts:
                c = counts[phase]
                per_byte = c["instructions"] / c["bytes"]
                print(f"  {text:<24} {per_byte:8.2f}   ({c['instructions']:,} over {c['bytes']:,} bytes)")
    if failed:
        print()
        print("Programs that failed: " + ", ".join(failed))


# --- chart ------------------------------------------------------------------------------------

COLOURS = {"holds": "#2e8b3e", "floor": "#e08e0b", "FAILS": "#c0392b"}


def draw_chart(goals, counts, note, path):
    """One bar per goal, as a fraction of its goal: the goal line is at 1, green bars hold, orange
    ones are within their floor (marked on the bar's row)."""
    import matplotlib
    matplotlib.use("Agg")  # no display: the chart is a file
    import matplotlib.pyplot as plt

    labels = [f"{name}\n{what}" for name, what, _, _, _ in goals]
    fractions = [value / goal if goal > 0 else float("inf") for _, _, value, goal, _ in goals]
    scale_max = max([2.0] + [f for f in fractions if f != float("inf")])
    verdicts = [verdict(v, g, f) for _, _, v, g, f in goals]
    held = verdicts.count("holds")
    height = 1.2 + 0.45 * len(goals) + (0.3 * (len(counts) + 1) if counts else 0)
    fig, ax = plt.subplots(figsize=(11, height))
    rows = list(range(len(goals)))[::-1]
    ax.barh(rows, [min(f, scale_max) for f in fractions], color=[COLOURS[v] for v in verdicts], height=0.6)
    ax.axvline(1.0, color="#1f4e99", linewidth=1.5)
    for row, (_, _, _, goal, floor) in zip(rows, goals):
        if floor is not None and goal > 0:
            ax.plot([floor / goal] * 2, [row - 0.4, row + 0.4], color="#1f4e99", linestyle="--", linewidth=1.2)
    ax.set_yticks(rows, labels, fontsize=7)
    ax.set_xlim(0, scale_max * 1.35)
    ax.set_xlabel("value / goal (at most 1 holds; dashed: the floor, the least that will do)")
    title = f"Performance goals: {held} of {len(goals)} hold"
    ax.set_title(title + (f" ({note})" if note else ""))
    for row, (_, _, value, goal, floor), fraction, v in zip(rows, goals, fractions, verdicts):
        floor_text = f", floor {floor:g}" if floor is not None else ""
        word = {"holds": "holds", "floor": "within floor", "FAILS": "fails"}[v]
        ax.text(min(fraction, scale_max) + scale_max * 0.02, row,
                f"{value:.3g} (goal {goal:.4g}{floor_text}) {word}", va="center", fontsize=7)
    if counts:
        lines = ["Instructions per input byte (callgrind):"]
        for phase, text in CALLGRIND_PHASES:
            if phase in counts:
                c = counts[phase]
                lines.append(f"  {text}: {c['instructions'] / c['bytes']:.2f}")
        fig.text(0.01, 0.01, "\n".join(lines), fontsize=8, family="monospace", va="bottom")
    fig.tight_layout(rect=(0, 0.04 + 0.025 * len(counts) if counts else 0, 1, 1))
    fig.savefig(path, dpi=110)
    plt.close(fig)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir", help="the CMake build directory holding bench/")
    parser.add_argument("--repetitions", type=int, default=5, help="runs of each benchmark (default 5)")
    parser.add_argument("--no-run", action="store_true",
                        help="report from the results of the last run instead of running again")
    args = parser.parse_args()
    build = os.path.abspath(args.build_dir)
    if not os.path.isdir(os.path.join(build, "bench")):
        sys.exit(f"report.py: {build} has no bench/ folder; is it a build directory with benchmarks?")
    results = os.path.join(build, "bench-results")
    os.makedirs(results, exist_ok=True)
    failed = []
    if args.no_run:
        path = os.path.join(results, "instructions.json")
        counts = json.load(open(path)) if os.path.exists(path) else {}
    else:
        failed = run_benchmarks(build, results, args.repetitions)
        counts = count_instructions(build, results)
    rows = load_results(results)
    if not rows:
        sys.exit(f"report.py: no benchmark results in {results}")
    goals = goals_of(rows)
    print_table(rows, goals, counts, failed)
    chart = os.path.join(build, "bench-report.png")
    draw_chart(goals, counts, arena_note(rows), chart)
    print(f"\nchart: {chart}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
