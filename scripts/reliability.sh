#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The long versions of the reliability tests (CI runs short ones):
#   1,000 kill -9 during store saves, 1,000 races of 2-8 starts in one
#   process, 102 runs killed dimmed (SIGKILL, SIGSEGV, SIGABRT) and started again,
#   ORVANE_HANDOVER_REPEAT (default 20) rounds of hand-overs to stopped
#   and failing instances, 200 rounds of the instance channel's and
#   100 of the gamma journal's faults, the dead-monitor benchmark, then every fuzz target for FUZZ_SECONDS
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
echo "== a run killed dimmed, then the next start, 34 times per signal"
ORVANE_E2E_CRASH_TRIALS=34 "$tests"/orvane_e2e_tests \
    --gtest_filter='*AfterARunDiesDimmedTheNextStartGivesTheGammaTablesBack'
echo "== hand-overs to stopped and failing instances, ${ORVANE_HANDOVER_REPEAT:=20} rounds"
"$tests"/orvane_e2e_tests --gtest_repeat="$ORVANE_HANDOVER_REPEAT" --gtest_brief=1 \
    --gtest_filter='*AHandOverNeverWaitsForEver*:*AStoreThatCannotBeCreated*:*StartsAtOnceOnAFreshStore*'
echo "== the instance channel: deadlines, peer limit, answers nobody reads, 200 rounds"
"$tests"/orvane_tests --gtest_repeat=200 --gtest_brief=1 \
    --gtest_filter='InstanceChannel.NoPeer*:InstanceChannel.IdlePeers*:InstanceChannel.AnAnswer*'
echo "== the gamma journal: planted, stale, black and replugged, 100 rounds"
"$tests"/orvane_tests --gtest_repeat=100 --gtest_brief=1 \
    --gtest_filter='GammaJournalTest.*:LinuxGamma.*'
echo "== a dead monitor among 16"
build/dev/bench/orvane_bench --benchmark_filter='DeadMonitor|Probe16'
echo "== fuzzing, ${FUZZ_SECONDS:=600} s per target"
./scripts/fuzz.sh "$FUZZ_SECONDS"
