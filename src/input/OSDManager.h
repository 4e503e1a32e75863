// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <memory>

#include "input/CustomOSDView.h"
#include "platform/DesktopOSD.h"
#include "platform/WindowToolkit.h"
#include "runtime/Executor.h"

namespace orvane::input {

/// One on-screen panel per display, created on first use and kept.
class OSDManager {
  public:
    /// desktop, when not null, shows the panels instead of Orvane's own.
    OSDManager(platform::WindowToolkit& toolkit, runtime::Executor& main,
               platform::DesktopOSD* desktop = nullptr)
        : toolkit_(toolkit), main_(main), desktop_(desktop) {}

    void showBrightness(DisplayID display, double level);
    void showVolume(DisplayID display, double level);
    /// The display's panel, made when missing.
    CustomOSDView& view(DisplayID display);
    /// Shows a panel on the display's view, unless panels are turned off.
    void show(DisplayID display, const std::string& icon, const std::string& label, double level,
              platform::OSDKind kind = platform::OSDKind::other);

    /// The user's "Show OSD" setting: off, no panel is shown.
    bool enabled = true;
    const std::map<DisplayID, std::shared_ptr<CustomOSDView>>& customOSDs() const {
        return customOSDs_;
    }

  private:
    platform::WindowToolkit& toolkit_;
    runtime::Executor& main_;
    platform::DesktopOSD* desktop_;
    std::map<DisplayID, std::shared_ptr<CustomOSDView>> customOSDs_;
};

}  // namespace orvane::input
