// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

namespace orvane::platform::linux_ {

/// The built-in panel's backlight: /sys/class/backlight/<name>, the firmware
/// interface preferred over the platform's, the platform's over a raw one.
/// Read from sysfs; written through logind's Session.SetBrightness (allowed to
/// the active session without privileges), else through the sysfs file where
/// that is writable.
class Backlight {
  public:
    /// None when the machine has no backlight under root.
    static std::optional<Backlight> find(const std::string& root);

    const std::string& name() const { return name_; }
    /// brightness / max_brightness, 0...1; none when unreadable.
    std::optional<float> level() const;
    /// False when neither logind nor the file took it.
    bool setLevel(float level) const;

  private:
    Backlight(std::string dir, std::string name) : dir_(std::move(dir)), name_(std::move(name)) {}
    std::optional<long> read(const char* file) const;
    std::string dir_;
    std::string name_;
};

}  // namespace orvane::platform::linux_
