#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets (clang 16, ASan + UBSan) and runs each one.
#   scripts/fuzz.sh              every target for 10 minutes
#   scripts/fuzz.sh 3600 url     one target for an hour
#   FUZZ_RUNS=100000 scripts/fuzz.sh   a fixed count each (what CI runs)
# New inputs that reach new code go to build/fuzz/corpus/<target>; a crash, a
# leak, an input over 100 ms of CPU time on two runs in a row, or one that
# hangs for a second stops the run and leaves its input in build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(url edid rig documents capabilities)

if ! command -v clang++-16 >/dev/null; then
    echo "fuzz: clang++-16 is missing (packages clang-16, libfuzzer-16-dev, libclang-rt-16-dev; scripts/setup.sh installs them)" >&2
    exit 1
fi
# ASan's fake stack for use-after-return makes coroutine-heavy code ten times
# slower; that one check is given up for the count.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_stack_use_after_return=0}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]/%/_fuzzer}"

for t in "${targets[@]}"; do
    corpus=build/fuzz/corpus/$t
    mkdir -p "$corpus" build/fuzz/artifacts
    limit=(-max_total_time="$seconds")
    runs=${FUZZ_RUNS:-}
    [[ -n "$runs" ]] && limit=(-runs="$runs")
    echo "fuzz: $t (${limit[*]})"
    log=build/fuzz/$t.log
    if ! ./build/fuzz/fuzz/"${t}"_fuzzer "${limit[@]}" -timeout=1 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/"$t"- \
        "$corpus" fuzz/corpus/"${t}"_fuzzer >"$log" 2>&1; then
        tail -40 "$log"
        echo "fuzz: $t FAILED (input in build/fuzz/artifacts/)" >&2
        exit 1
    fi
    grep -E "^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::slowest_unit_time_sec|stat::peak_rss_mb)" "$log"
done
