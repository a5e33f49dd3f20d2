#!/usr/bin/env python3
"""Runs every benchmark of the project and reports which performance goals hold.

Each benchmark program (BUILD_DIR/bench/bench_*) prints its results, each with its ratio to its
anchor; the JSON results go to BUILD_DIR/bench-results/. The callgrind driver then counts the
instructions per input byte of the hex decode, the key-stream scan and unflatten. At the end a
one-page table goes to standard output and a bar chart of the goals to BUILD_DIR/bench-report.png.

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

# What each counter with a goal means, for the table and the chart.
GOAL_TEXT = {
    "ratio": "ratio",
    "allocs_per_check": "allocations per check",
    "ms": "time, ms",
    "subject_ms": "time, ms",
    "ms_1000": "1000 destinations, ms",
    "lookup_all_ms": "lookup of all keys, ms",
}
# Google Benchmark's time units, in milliseconds.
MS_PER_UNIT = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


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
    """BM_Family/args without the time-keeping suffix."""
    name = run_name[3:] if run_name.startswith("BM_") else run_name
    return name[:-len("/manual_time")] if name.endswith("/manual_time") else name


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
    """(benchmark, what, value, goal) for every counter that carries a goal_ companion."""
    goals = []
    for name, label, counters in rows:
        for key, goal in counters.items():
            if key.startswith("goal_") and key[5:] in counters:
                what = GOAL_TEXT.get(key[5:], key[5:])
                if key == "goal_ratio" and label:
                    what += " " + label
                goals.append((name, what, counters[key[5:]], goal))
    return goals


def print_table(rows, goals, counts, failed):
    width = max([len(r[0]) for r in rows] + [20])
    print()
    print("Benchmark report: ratios of CPU times taken in the same iteration (medians)")
    print()
    print(f"{'benchmark':<{width}}  {'ratio':>9}  anchor")
    for name, label, counters in rows:
        ratio = counters.get("ratio")
        text = f"{ratio:9.3f}" if ratio is not None else f"{'-':>9}"
        print(f"{name:<{width}}  {text}  {label}")
    print()
    print("Goals (value at most the goal):")
    held = 0
    for name, what, value, goal in goals:
        ok = value <= goal
        held += ok
        print(f"  {'holds' if ok else 'FAILS':<5}  {name:<{width}}  {what:<24} {value:8.3f}  goal {goal:g}")
    print(f"  {held} of {len(goals)} goals hold")
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

def draw_chart(goals, counts, path):
    """One bar per goal, as a fraction of its goal: the goal line is at 1, green bars hold."""
    import matplotlib
    matplotlib.use("Agg")  # no display: the chart is a file
    import matplotlib.pyplot as plt

    labels = [f"{name}\n{what}" for name, what, _, _ in goals]
    fractions = [value / goal if goal > 0 else float("inf") for _, _, value, goal in goals]
    scale_max = max([2.0] + [f for f in fractions if f != float("inf")])
    held = sum(1 for _, _, v, g in goals if v <= g)
    height = 1.2 + 0.45 * len(goals) + (0.3 * (len(counts) + 1) if counts else 0)
    fig, ax = plt.subplots(figsize=(11, height))
    rows = list(range(len(goals)))[::-1]
    colours = ["#2e8b3e" if v <= g else "#c0392b" for _, _, v, g in goals]
    ax.barh(rows, [min(f, scale_max) for f in fractions], color=colours, height=0.6)
    ax.axvline(1.0, color="#1f4e99", linewidth=1.5)
    ax.set_yticks(rows, labels, fontsize=7)
    ax.set_xlim(0, scale_max * 1.35)
    ax.set_xlabel("value / goal (at most 1 holds)")
    ax.set_title(f"Performance goals: {held} of {len(goals)} hold")
    for row, (_, _, value, goal), fraction in zip(rows, goals, fractions):
        ax.text(min(fraction, scale_max) + scale_max * 0.02, row,
                f"{value:.3g} (goal {goal:g}) {'holds' if value <= goal else 'fails'}", va="center", fontsize=7)
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
    draw_chart(goals, counts, chart)
    print(f"\nchart: {chart}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
