// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/WindowServer.h"
#include "platform/linux/EDID.h"

namespace orvane::platform::linux_ {

/// One monitor as the display server shows it.
struct SessionOutput {
    /// The server's handle on it (X11: the RandR output; Mutter: the connector).
    std::string name;
    /// X11: the RandR CRTC that drives it (gamma goes there); wlroots: the
    /// wl_output's global name; unused by Mutter, which finds the CRTC by
    /// connector name.
    unsigned long crtc = 0;
    /// What identifies the monitor: its raw EDID where the server gives it,
    /// else the vendor, product and serial the server read from it (no vendor
    /// where the server gives a company name instead of the EDID's code).
    std::vector<std::uint8_t> edid;
    std::string vendor, product, serial;
    /// modeID is an index into modeNames on servers that name modes.
    std::vector<ScreenMode> modes;
    std::vector<std::string> modeNames;
    std::optional<ScreenMode> current;

    /// Whether this output shows the monitor with these EDID bytes.
    bool shows(const std::vector<std::uint8_t>& edidBytes, const std::optional<EDID>& parsed) const;
};

/// A display server's modes and gamma ramps, and word of their changes.
class DisplayConfig {
  public:
    virtual ~DisplayConfig() = default;
    /// Connected outputs that show a picture.
    virtual std::vector<SessionOutput> outputs() = 0;
    /// Whether the server lets a client list and switch modes.
    virtual bool hasModes() const { return true; }
    /// Switches output to one of its modes for the session; false when refused.
    virtual bool setMode(const SessionOutput& output, std::int32_t modeID) = 0;
    /// The ramp size for output; 0 when it has none.
    virtual int gammaSize(const SessionOutput& output) = 0;
    /// The ramps as 0...1; false when there are none.
    virtual bool getGamma(const SessionOutput& output, std::vector<float>& red,
                          std::vector<float>& green, std::vector<float>& blue) = 0;
    /// Ramps of gammaSize() entries each; false when refused.
    virtual bool setGamma(const SessionOutput& output, const std::vector<float>& red,
                          const std::vector<float>& green, const std::vector<float>& blue) = 0;
    /// Lets go of what gamma changes hold, after the original ramps went back.
    virtual void releaseGamma() {}
    /// Called on a thread of the service's after a change of the monitors.
    std::function<void()> onScreenChange;
    /// Starts following changes; set onScreenChange before.
    virtual void startEvents() = 0;
};

}  // namespace orvane::platform::linux_
