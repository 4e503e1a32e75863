// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/PlatformTypes.h"
#include "platform/WindowToolkit.h"
#include "runtime/Executor.h"
#include "runtime/Timer.h"

namespace orvane::input {

/// One display's on-screen panel: shown near the bottom of the display's
/// screen, hidden 1.5 s after the latest show with a 0.3 s fade.
class CustomOSDView : public std::enable_shared_from_this<CustomOSDView> {
  public:
    static constexpr double kWidth = 200;
    static constexpr double kHeight = 70;
    static constexpr double kBottomOffset = 80;
    static constexpr std::chrono::milliseconds kFadeIn{150};
    /// From the latest show to the start of the fade out.
    static constexpr std::chrono::milliseconds kShowDuration{1500};
    static constexpr std::chrono::milliseconds kFadeOut{300};

    CustomOSDView(DisplayID display, platform::WindowToolkit& toolkit, runtime::Executor& main);

    void show(const std::string& icon, const std::string& label, double level);
    void hide();

    DisplayID displayID() const { return displayID_; }
    bool hasWindow() const { return window_ != nullptr; }

  private:
    DisplayID displayID_;
    platform::WindowToolkit& toolkit_;
    runtime::Executor& main_;
    std::unique_ptr<platform::Window> window_;
    std::unique_ptr<runtime::Timer> dismissTimer_;
    // A show after a fade began must keep its window: the fade's completion
    // only orders out the window it faded.
    std::uint64_t showCount_ = 0;
};

}  // namespace orvane::input
