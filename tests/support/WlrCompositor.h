// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct wl_display;
struct wl_event_source;

namespace orvane::test {

/// A small Wayland compositor for tests: outputs as wlroots describes them,
/// and wlr-gamma-control with its rules (one control per output, failed for
/// an output without ramps or held by another client, the ramps put back
/// when the control goes). Served by a thread of its own; clients join
/// through connectClient().
class WlrCompositor {
  public:
    struct OutputSpec {
        std::string make, model, serial, name;
        std::uint32_t gammaSize = 256;
    };
    using Ramps = std::vector<std::uint16_t>;  // red, green, blue

    WlrCompositor();
    ~WlrCompositor();

    /// A socket for a new client; the caller owns it.
    int connectClient();
    /// Announces an output; returns its index for the calls below.
    std::size_t addOutput(const OutputSpec& spec);
    void removeOutput(std::size_t index);
    /// What the output shows now: the identity when nobody holds its control.
    Ramps ramps(std::size_t index);
    /// How many controls clients hold now, on any output.
    int heldControls();
    /// Another program takes the output's control (a night-light tool).
    void holdElsewhere(std::size_t index, bool held);
    /// The next set_gamma fails, as when the driver refuses the table.
    void failNextSet();

    struct State;

  private:
    /// Runs work on the compositor's thread and waits for it.
    void call(const std::function<void()>& work);
    std::unique_ptr<State> state_;
    std::thread thread_;
};

}  // namespace orvane::test
