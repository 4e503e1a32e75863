// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/DisplayConfig.h"

struct wl_display;
struct wl_registry;
struct wl_output;
struct zwlr_gamma_control_manager_v1;
struct zwlr_gamma_control_v1;

namespace orvane::platform::linux_ {

/// Gamma ramps of a wlroots compositor (Sway, Hyprland, labwc, ...) through
/// wlr-gamma-control. Such a compositor offers no mode switching to clients,
/// so modes stay with the connector's list. It holds one control per output
/// for as long as Orvane dims it: releasing the control, or Orvane's exit of
/// any kind, gives the output its own ramps back.
///
/// The connection is served by a thread of its own; every call is handed to
/// it and waited for, so libwayland is only ever touched from there.
class WlrGammaControl final : public DisplayConfig {
  public:
    /// The compositor WAYLAND_DISPLAY names; null with the reason in error
    /// when it cannot be reached or offers no gamma control.
    static std::unique_ptr<WlrGammaControl> open(std::string& error);
    /// The compositor at the other end of fd (a connected socket), which the
    /// control takes.
    static std::unique_ptr<WlrGammaControl> connect(int fd, std::string& error);
    ~WlrGammaControl() override;
    WlrGammaControl(const WlrGammaControl&) = delete;
    WlrGammaControl& operator=(const WlrGammaControl&) = delete;

    /// Outputs with the model the compositor read from the EDID, and the serial
    /// taken from its description; crtc holds the wl_output's global name.
    std::vector<SessionOutput> outputs() override;
    bool hasModes() const override { return false; }
    bool setMode(const SessionOutput&, std::int32_t) override { return false; }
    /// Takes the output's control; 0 when the compositor refuses it (another
    /// program, such as a night-light tool, holds it).
    int gammaSize(const SessionOutput& output) override;
    /// The protocol cannot read ramps: the compositor's own are the identity,
    /// which is what it puts back when the control is released.
    bool getGamma(const SessionOutput& output, std::vector<float>& red, std::vector<float>& green,
                  std::vector<float>& blue) override;
    bool setGamma(const SessionOutput& output, const std::vector<float>& red,
                  const std::vector<float>& green, const std::vector<float>& blue) override;
    /// Releases every control: the compositor restores the ramps.
    void releaseGamma() override;
    void startEvents() override;

    struct Output;

  private:
    explicit WlrGammaControl(wl_display* display);
    bool bindGlobals(std::string& error);
    /// Runs work on the connection's thread and waits for it; false when the
    /// connection is gone.
    bool call(const std::function<void()>& work);
    void run();
    Output* find(std::uint32_t global);
    /// The output's control, taken on first use; null when refused.
    zwlr_gamma_control_v1* control(Output& output);
    /// Tells onScreenChange on the notifier thread: a call from it may come
    /// back to the connection's thread.
    void changed();
    void notify();

    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
    static void globalRemove(void* data, wl_registry* registry, std::uint32_t name);

    wl_display* display_;
    wl_registry* registry_ = nullptr;
    zwlr_gamma_control_manager_v1* manager_ = nullptr;
    std::vector<std::unique_ptr<Output>> outputs_;
    bool connected_ = true;  // the connection thread's own
    std::atomic<bool> events_{false};

    std::mutex lock_;
    std::deque<std::function<void()>> work_;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread thread_;

    std::mutex notifyLock_;
    std::condition_variable notifyWake_;
    bool pending_ = false;
    std::thread notifier_;
};

}  // namespace orvane::platform::linux_
