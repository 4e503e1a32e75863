// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/linux/BusLoop.h"

namespace orvane::platform::linux_ {

/// Follows logind's PrepareForSleep on the system bus: monitors lose their
/// settings, and the display server its ramps, while the machine sleeps.
class SleepMonitor {
  public:
    /// onResume runs on the bus thread after each resume.
    explicit SleepMonitor(std::function<void()> onResume);
    /// Why resumes are not followed ("" when they are).
    const std::string& error() const { return error_; }

  private:
    std::function<void()> onResume_;
    std::string error_;
    std::unique_ptr<BusLoop> loop_;
};

}  // namespace orvane::platform::linux_
