// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/WindowServer.h"

namespace orvane::platform::linux_ {

/// One connected RandR output that a CRTC drives.
struct X11Output {
    unsigned long output = 0;
    unsigned long crtc = 0;
    std::string name;
    /// The "EDID" output property; empty when the server has none.
    std::vector<std::uint8_t> edid;
    /// The output's modes (modeID is the RandR mode), the current one first
    /// among equals as the server lists them.
    std::vector<CGDisplayMode> modes;
    std::optional<CGDisplayMode> current;
};

/// An X11 display server through Xlib and XRandR: outputs, their modes and
/// gamma ramps, change notifications, and key grabs on the root window.
/// Requests go through one connection (any thread, serialised); events come
/// through a second one, read by a thread of its own.
class X11Session {
  public:
    /// Keys are grabbed with every lock-modifier variant, so Caps Lock and
    /// Num Lock do not hide them.
    enum class Grab { grabbed, taken, noSuchKey };

    /// None (with the reason in error) when the server cannot be reached or
    /// has no RandR 1.2.
    static std::unique_ptr<X11Session> open(const std::string& displayName, std::string& error);
    ~X11Session();
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    std::vector<X11Output> outputs();
    /// Drives output's CRTC with mode, growing the screen when the mode needs
    /// it; false when the server refuses.
    bool setMode(const X11Output& output, std::int32_t modeID);
    /// The CRTC's ramp size; 0 when it has no gamma.
    int gammaSize(unsigned long crtc);
    /// The ramps as 0...1; false when the server has none.
    bool getGamma(unsigned long crtc, std::vector<float>& red, std::vector<float>& green,
                  std::vector<float>& blue);
    /// Sets ramps of gammaSize() entries each; false when refused.
    bool setGamma(unsigned long crtc, const std::vector<float>& red,
                  const std::vector<float>& green, const std::vector<float>& blue);

    /// Grabs the key with keysym and modifiers (X masks) for id; a key
    /// another client holds is taken and nothing stays grabbed.
    Grab grabKey(unsigned long keysym, unsigned int modifiers, int id);
    void ungrabKey(int id);
    /// Sends a press of the key grabbed for id on to whoever would have had
    /// it without the grab (the focused window).
    void replayKey(int id);

    /// Called on the event thread: after a burst of RandR changes, and for
    /// each press of a grabbed key (with its id).
    std::function<void()> onScreenChange;
    std::function<void(int id)> onKeyPress;
    /// Starts reading events; set the callbacks before.
    void startEvents();

  private:
    struct Connection;
    X11Session(std::unique_ptr<Connection> requests, std::unique_ptr<Connection> events);
    void readEvents();
    void wakeEvents();

    std::unique_ptr<Connection> requests_;
    std::unique_ptr<Connection> events_;
    std::mutex requestsLock_;
    std::mutex eventsLock_;
    struct Grabbed {
        unsigned int keycode;
        unsigned int modifiers;
    };
    std::map<int, Grabbed> grabs_;  // under eventsLock_
    int randrEventBase_ = 0;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<bool> stopping_{false};
};

}  // namespace orvane::platform::linux_
