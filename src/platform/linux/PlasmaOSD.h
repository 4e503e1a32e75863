// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "platform/DesktopOSD.h"

struct sd_bus;

namespace orvane::platform::linux_ {

/// Plasma's on-screen display (org.kde.osdService of plasmashell on the
/// session bus): the brightness and volume panels Plasma shows for its own
/// keys, and a text panel for the rest. Calls wait for no answer.
class PlasmaOSD final : public DesktopOSD {
  public:
    /// None (with the reason in error) without a session bus.
    static std::unique_ptr<PlasmaOSD> open(std::string& error);
    ~PlasmaOSD() override;
    PlasmaOSD(const PlasmaOSD&) = delete;
    PlasmaOSD& operator=(const PlasmaOSD&) = delete;

    bool show(OSDKind kind, const std::string& label, double level) override;

  private:
    explicit PlasmaOSD(sd_bus* bus) : bus_(bus) {}
    sd_bus* bus_;
};

}  // namespace orvane::platform::linux_
