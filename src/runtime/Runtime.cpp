// SPDX-License-Identifier: MIT
#include "runtime/Runtime.h"

#include "runtime/EventLoop.h"
#include "runtime/ManualExecutor.h"
#include "runtime/ThreadSerialQueue.h"

namespace orvane::runtime {

ThreadedRuntime::ThreadedRuntime() : loop_(std::make_unique<EventLoop>()) {}
ThreadedRuntime::ThreadedRuntime(std::unique_ptr<RunLoop> loop) : loop_(std::move(loop)) {}
ThreadedRuntime::~ThreadedRuntime() {
    shutdown();
}
void ThreadedRuntime::shutdown() {
    for (auto& weak : queues_) {
        if (auto queue = weak.lock()) queue->close();
    }
    queues_.clear();
    loop_->discardPending();
}
Executor& ThreadedRuntime::main() {
    return *loop_;
}
Clock& ThreadedRuntime::clock() {
    return *loop_;
}
RunLoop& ThreadedRuntime::loop() {
    return *loop_;
}
void ThreadedRuntime::runUntilIdle() {
    loop_->runUntilIdle([this] {
        for (auto& weak : queues_) {
            if (auto queue = weak.lock(); queue && !queue->idle()) return false;
        }
        return true;
    });
}
std::shared_ptr<SerialQueue> ThreadedRuntime::makeSerialQueue(std::string label) {
    auto queue = std::make_shared<ThreadSerialQueue>(std::move(label));
    queues_.push_back(queue);
    return queue;
}

VirtualRuntime::VirtualRuntime() : executor_(std::make_unique<ManualExecutor>()) {}
VirtualRuntime::~VirtualRuntime() = default;
Executor& VirtualRuntime::main() {
    return *executor_;
}
Clock& VirtualRuntime::clock() {
    return *executor_;
}
ManualExecutor& VirtualRuntime::executor() {
    return *executor_;
}
std::shared_ptr<SerialQueue> VirtualRuntime::makeSerialQueue(std::string label) {
    return executor_->makeLane(std::move(label));
}

}  // namespace orvane::runtime
