// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/linux/BusLoop.h"
#include "platform/linux/DisplayConfig.h"

struct sd_bus;

namespace orvane::platform::linux_ {

/// GNOME's display configuration on the session bus
/// (org.gnome.Mutter.DisplayConfig): monitors and modes from GetCurrentState,
/// mode switches through ApplyMonitorsConfig with the temporary method (they
/// last for the session), gamma through the CRTC interface (best effort),
/// MonitorsChanged as the change signal.
class MutterDisplayConfig final : public DisplayConfig {
  public:
    static constexpr const char* kService = "org.gnome.Mutter.DisplayConfig";

    /// None (with the reason in error) when the session bus or the service
    /// is not there.
    static std::unique_ptr<MutterDisplayConfig> open(std::string& error);
    ~MutterDisplayConfig() override;

    std::vector<SessionOutput> outputs() override;
    bool setMode(const SessionOutput& output, std::int32_t modeID) override;
    int gammaSize(const SessionOutput& output) override;
    bool getGamma(const SessionOutput& output, std::vector<float>& red, std::vector<float>& green,
                  std::vector<float>& blue) override;
    bool setGamma(const SessionOutput& output, const std::vector<float>& red,
                  const std::vector<float>& green, const std::vector<float>& blue) override;
    void startEvents() override;

  private:
    explicit MutterDisplayConfig(sd_bus* bus);

    std::mutex lock_;  // one call at a time on bus_
    sd_bus* bus_;
    /// The signals' own connection and its thread.
    std::unique_ptr<BusLoop> listener_;
};

}  // namespace orvane::platform::linux_
