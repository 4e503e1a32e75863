// SPDX-License-Identifier: MIT
#pragma once
// libFuzzer times inputs in whole seconds; the targets hold each input to
// 100 ms. They count this thread's CPU time, which a busy machine inflates far
// less than wall time: everything a target runs, it runs here (the simulated
// desk's queues are lanes of one virtual executor). An input over the budget
// runs once more, so that a page-fault storm or a stolen cache is not taken
// for a slow input; over it twice, the run aborts, and libFuzzer keeps the
// input as a crash.
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace orvane::fuzz {

inline constexpr double kInputBudgetMs = 100;

inline double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

/// Runs one input's work (run must be safe to repeat) within the budget.
template <class Run>
void withinBudget(Run&& run) {
    double spent = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const double start = threadCpuMs();
        run();
        spent = threadCpuMs() - start;
        if (spent <= kInputBudgetMs) return;
    }
    std::fprintf(stderr, "fuzz: an input took %.1f ms of CPU time, twice (at most %.0f)\n", spent,
                 kInputBudgetMs);
    std::abort();
}

}  // namespace orvane::fuzz
