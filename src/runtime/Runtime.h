// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/Clock.h"
#include "runtime/Executor.h"
#include "runtime/SerialQueue.h"

namespace orvane::runtime {

/// What the core needs from its surroundings: the main executor, the clock and
/// a way to make serial I/O queues.
class Runtime {
  public:
    virtual ~Runtime() = default;
    virtual Executor& main() = 0;
    virtual Clock& clock() = 0;
    virtual std::shared_ptr<SerialQueue> makeSerialQueue(std::string label) = 0;
};

/// Production: a run loop driven by the thread that runs it (the core's own
/// EventLoop unless a GUI brings its toolkit's), one worker thread per queue.
class ThreadedRuntime final : public Runtime {
  public:
    Executor& main() override;
    Clock& clock() override;
    std::shared_ptr<SerialQueue> makeSerialQueue(std::string label) override;
    class RunLoop& loop();
    /// Runs the loop until nothing is queued, timed or running on a queue.
    void runUntilIdle();
    /// The end of a run, once the loop has returned: every I/O queue drops its
    /// queued work and joins its thread, then the loop drops its items and
    /// waiting tasks. Afterwards nothing touches the platform any more.
    void shutdown();

    ThreadedRuntime();
    explicit ThreadedRuntime(std::unique_ptr<class RunLoop> loop);
    ~ThreadedRuntime() override;

  private:
    std::unique_ptr<class RunLoop> loop_;
    std::vector<std::weak_ptr<class ThreadSerialQueue>> queues_;
};

/// Tests and benchmarks: everything on one deterministic executor and virtual clock.
class VirtualRuntime final : public Runtime {
  public:
    VirtualRuntime();
    ~VirtualRuntime() override;
    Executor& main() override;
    Clock& clock() override;
    std::shared_ptr<SerialQueue> makeSerialQueue(std::string label) override;
    class ManualExecutor& executor();

  private:
    std::unique_ptr<class ManualExecutor> executor_;
};

}  // namespace orvane::runtime
