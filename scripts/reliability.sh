#!/usr/bin/env bash
# The long versions of the reliability tests (CI runs short ones):
#   1,000 kill -9 during store saves, 1,000 races of 2-8 starts in one
#   process, ORVANE_E2E_RACE_TRIALS (default 100) races of real processes,
#   102 runs killed dimmed (SIGKILL, SIGSEGV, SIGABRT) and started again,
#   the dead-monitor benchmark, then every fuzz target for FUZZ_SECONDS
#   (default 600) each. Figures go to standard output; docs/reliability.md
#   keeps the last ones.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset dev >/dev/null
cmake --build --preset dev
tests=build/dev/tests

echo "== kill -9 during saves, 1,000 times"
ORVANE_CRASH_TRIALS=1000 "$tests"/orvane_tests \
    --gtest_filter='StoreFaultTest.KilledAtRandomMomentsTheStoreLosesNoCommittedPreset'
echo "== 2-8 starts over a stale socket, 1,000 times (threads)"
ORVANE_RACE_TRIALS=1000 "$tests"/orvane_tests \
    --gtest_filter='InstanceChannel.OfManyStartsAtOnceOverAStaleSocketExactlyOneListens'
echo "== 2-8 starts over a stale socket, ${ORVANE_E2E_RACE_TRIALS:=100} times (processes)"
ORVANE_E2E_RACE_TRIALS=$ORVANE_E2E_RACE_TRIALS "$tests"/orvane_e2e_tests \
    --gtest_filter='*OfManyStartsAtOnceOverAStaleSocketOneRunsAndNoURLIsLost'
echo "== a run killed dimmed, then the next start, 34 times per signal"
ORVANE_E2E_CRASH_TRIALS=34 "$tests"/orvane_e2e_tests \
    --gtest_filter='*AfterARunDiesDimmedTheNextStartGivesTheGammaTablesBack'
echo "== a dead monitor among 16"
build/dev/bench/orvane_bench --benchmark_filter='DeadMonitor|Probe16'
echo "== fuzzing, ${FUZZ_SECONDS:=600} s per target"
./scripts/fuzz.sh "$FUZZ_SECONDS"
