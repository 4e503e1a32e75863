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

#include "platform/linux/DisplayConfig.h"

namespace orvane::platform::linux_ {

/// An X11 display server through Xlib and XRandR: outputs, their modes and
/// gamma ramps, change notifications, and key grabs on the root window.
/// Requests go through one connection (any thread, serialised); events come
/// through a second one, read by a thread of its own.
class X11Session final : public DisplayConfig {
  public:
    /// Keys are grabbed with every lock-modifier variant, so Caps Lock and
    /// Num Lock do not hide them.
    enum class Grab { grabbed, taken, noSuchKey };

    /// None (with the reason in error) when the server cannot be reached or
    /// has no RandR 1.2.
    static std::unique_ptr<X11Session> open(const std::string& displayName, std::string& error);
    ~X11Session() override;
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    /// RandR outputs with the "EDID" property; modeID is the RandR mode.
    std::vector<SessionOutput> outputs() override;
    /// Drives output's CRTC with mode, growing the screen when the mode needs it.
    bool setMode(const SessionOutput& output, std::int32_t modeID) override;
    int gammaSize(const SessionOutput& output) override;
    bool getGamma(const SessionOutput& output, std::vector<float>& red, std::vector<float>& green,
                  std::vector<float>& blue) override;
    bool setGamma(const SessionOutput& output, const std::vector<float>& red,
                  const std::vector<float>& green, const std::vector<float>& blue) override;

    /// Grabs the key with keysym and modifiers (X masks) for id; a key
    /// another client holds is taken and nothing stays grabbed.
    Grab grabKey(unsigned long keysym, unsigned int modifiers, int id);
    void ungrabKey(int id);
    /// Sends a press of the key grabbed for id on to whoever would have had
    /// it without the grab (the focused window).
    void replayKey(int id);

    /// Called on the event thread for each press of a grabbed key (with its id).
    std::function<void(int id)> onKeyPress;
    /// Starts reading events (RandR changes, keys); set the callbacks before.
    void startEvents() override;
    /// Ends the event thread: no callback runs once it returns.
    void stopEvents();

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
