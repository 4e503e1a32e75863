// SPDX-License-Identifier: MIT
#pragma once
// libFuzzer times inputs in whole seconds; the targets hold each input to
// 100 ms. They count this thread's CPU time, which a busy machine does not
// inflate the way it does wall time: everything a target runs, it runs here
// (the simulated desk's queues are lanes of one virtual executor).
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace orvane::fuzz {

class InputBudget {
  public:
    static constexpr double kLimitMs = 100;

    InputBudget() : start_(cpuMs()) {}
    InputBudget(const InputBudget&) = delete;
    InputBudget& operator=(const InputBudget&) = delete;
    /// Aborts, which libFuzzer reports as a crash and keeps the input of.
    ~InputBudget() {
        const double spent = cpuMs() - start_;
        if (spent > kLimitMs) {
            std::fprintf(stderr, "fuzz: an input took %.1f ms of CPU time (at most %.0f)\n", spent,
                         kLimitMs);
            std::abort();
        }
    }

  private:
    static double cpuMs() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    }

    double start_;
};

}  // namespace orvane::fuzz
