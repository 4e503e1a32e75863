// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Backend.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRig.h"

namespace orvane::platform::sim {

/// The simulated machine as a backend: always available, built from the
/// built-in rig or the rig file given. A one-shot run goes on the virtual clock.
class SimBackend final : public Backend {
  public:
    static constexpr std::string_view kName = "sim";

    /// rigPath empty: the built-in rig. log: where the machine says its own lines.
    explicit SimBackend(std::string rigPath = {}, runtime::Logger* log = nullptr);
    ~SimBackend() override;

    std::string_view name() const override { return kName; }
    std::optional<std::string> unavailableReason() const override { return std::nullopt; }
    /// Loads the rig; throws with the parse error.
    void prepare() override;
    /// "[Orvane] Running on simulated machine "<rig>" with N displays".
    std::string startLine() const override;
    RuntimeKind runtimeFor(RunMode mode) const override;
    Platform start(runtime::Runtime& rt) override;
    void stop() override { machine_.reset(); }
    /// Schedules the rig's connect and disconnect events.
    void run(runtime::Executor& main) override;
    bool writeState(const std::string& path) override;
    /// As the rig says (a session without a compositor, say).
    bool overlaysShow() const override { return !rig_ || rig_->overlays; }

    /// The machine, from start to stop; the tests' and rigs' controls.
    SimMachine* machine() { return machine_.get(); }

  private:
    std::string rigPath_;
    runtime::Logger* log_;
    std::optional<SimRig> rig_;
    std::unique_ptr<SimMachine> machine_;
};

}  // namespace orvane::platform::sim
