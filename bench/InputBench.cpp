// SPDX-License-Identifier: MIT
// The cost of deciding one system-defined event: it sits in the path of every
// such event the user's applications receive. Prints ns per event and heap
// allocations per event.

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>

#include <benchmark/benchmark.h>

#include "input/MediaKeyInterceptor.h"
#include "platform/sim/SimInput.h"
#include "platform/sim/SimMechanismTexts.h"
#include "runtime/Logger.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

// Counts every heap allocation of the process; the benchmark reads the
// difference around the calls it measures.
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace orvane;

/// Runs nothing: the benchmark measures the decision, not the display work.
class DiscardingExecutor final : public runtime::Executor {
  public:
    void post(std::function<void()>) override {}
    void postAfter(runtime::Duration, std::function<void()>) override {}
};

void HandleMediaKey(benchmark::State& state, platform::MediaKey key) {
    platform::sim::SimInput input;
    DiscardingExecutor main;
    runtime::CapturingLogger log;
    auto interceptor = std::make_shared<input::MediaKeyInterceptor>(
        input, main, log, platform::sim::kSimMechanismTexts);
    interceptor->setHasExternalDisplays(true);
    interceptor->onBrightnessKey = [](double) {};
    const long before = allocations.load();
    for (auto _ : state)
        benchmark::DoNotOptimize(interceptor->handleMediaKey(key));
    state.counters["allocs/event"] =
        static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations());
}

// Volume up, not redirected by default: passes through after the locked copy.
BENCHMARK_CAPTURE(HandleMediaKey, volumeNotRedirected, platform::MediaKey::volumeUp);
// Brightness up, redirected: consumed, and the step is posted to the main executor.
BENCHMARK_CAPTURE(HandleMediaKey, brightnessConsumed, platform::MediaKey::brightnessUp);

}  // namespace
