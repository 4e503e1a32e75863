// SPDX-License-Identifier: MIT
#include "platform/sim/SimBackend.h"

#include <stdexcept>

#include "platform/sim/SimStateWriter.h"

namespace orvane::platform::sim {

SimBackend::SimBackend(std::string rigPath, runtime::Logger* log)
    : rigPath_(std::move(rigPath)), log_(log) {}

SimBackend::~SimBackend() = default;

void SimBackend::prepare() {
    if (!rig_) rig_ = rigPath_.empty() ? SimRig::defaultRig() : SimRig::load(rigPath_);
}

std::string SimBackend::startLine() const {
    if (!rig_) throw std::logic_error("SimBackend: not prepared");
    return "[Orvane] Running on simulated machine \"" + rig_->name + "\" with " +
           std::to_string(rig_->displays.size()) + " displays";
}

RuntimeKind SimBackend::runtimeFor(RunMode mode) const {
    // Device pauses and timers cost no real time on the virtual clock; a
    // resident run answers other programs, so it keeps real time.
    return mode == RunMode::once ? RuntimeKind::virtualClock : RuntimeKind::threaded;
}

Platform SimBackend::start(runtime::Runtime& rt) {
    prepare();
    if (machine_) throw std::logic_error("SimBackend: started twice");
    machine_ = std::make_unique<SimMachine>(*rig_, rt.clock());
    machine_->setMainExecutor(rt.main());
    if (log_) machine_->setLog(*log_);
    return machine_->platform();
}

void SimBackend::run(runtime::Executor& main) {
    if (machine_) machine_->scheduleEvents(main);
}

bool SimBackend::writeState(const std::string& path) {
    return machine_ && SimStateWriter::write(*machine_, path);
}

}  // namespace orvane::platform::sim
