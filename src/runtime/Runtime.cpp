// SPDX-License-Identifier: MIT
#include "runtime/Runtime.h"

#include "runtime/EventLoop.h"
#include "runtime/ManualExecutor.h"
#include "runtime/ThreadSerialQueue.h"

namespace orvane::runtime {

ThreadedRuntime::ThreadedRuntime() : loop_(std::make_unique<EventLoop>()) {}
ThreadedRuntime::~ThreadedRuntime() = default;
Executor& ThreadedRuntime::main() {
    return *loop_;
}
Clock& ThreadedRuntime::clock() {
    return *loop_;
}
EventLoop& ThreadedRuntime::loop() {
    return *loop_;
}
std::shared_ptr<SerialQueue> ThreadedRuntime::makeSerialQueue(std::string label) {
    return std::make_shared<ThreadSerialQueue>(std::move(label));
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
