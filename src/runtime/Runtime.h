// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

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

/// Production: an event loop driven by the thread that runs it, one worker thread per queue.
class ThreadedRuntime final : public Runtime {
  public:
    Executor& main() override;
    Clock& clock() override;
    std::shared_ptr<SerialQueue> makeSerialQueue(std::string label) override;
    class EventLoop& loop();

    ThreadedRuntime();
    ~ThreadedRuntime() override;

  private:
    std::unique_ptr<class EventLoop> loop_;
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
