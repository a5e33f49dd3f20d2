#!/usr/bin/env bash
# How much of the readers of outside bytes the fuzz corpora reach: builds the replay programs
# with gcc's --coverage in a build folder of its own, replays every tests/fuzz/corpus/<name>/
# with its program, and prints the lines run per reader source file and in total (goal: 85%).
#
#   scripts/coverage.sh [BUILD_DIR]        (default build/coverage)
#
# Needs gcc, gcov and python3; nothing else (no gcovr or lcov).
set -euo pipefail
case ${1:-} in -h | --help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
cd "$(dirname "$0")/.."
build=${1:-build/coverage}

launcher=()
if command -v ccache >/dev/null; then
    # Coverage notes record the folder they were compiled in: no sharing across build folders.
    unset CCACHE_NOHASHDIR
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage \
    -DCMAKE_SHARED_LINKER_FLAGS=--coverage -DCMAKE_MODULE_LINKER_FLAGS=--coverage \
    -DVARNEL_BENCH=OFF -DVARNEL_FUZZ=OFF "${launcher[@]}" >/dev/null
names=$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/^fuzz_//; s/\.cpp$//')
cmake --build "$build" --target $(printf 'replay_%s ' $names)

# Counts add up across runs: start from none, so the figures are the corpora's alone.
find "$build" -name '*.gcda' -delete
rm -f "$build/replay.log"
for name in $names; do
    printf '%-18s ' "$name"
    "$build/tests/replay_$name" "tests/fuzz/corpus/$name" 2>>"$build/replay.log"
done
python3 scripts/coverage.py "$build"
