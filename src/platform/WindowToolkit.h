// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/PlatformTypes.h"

namespace orvane::platform {

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const Rect&) const = default;
};

struct Color {
    double red = 0, green = 0, blue = 0, alpha = 1;
    bool operator==(const Color&) const = default;
};

struct ColorSpace {
    std::optional<std::string> localizedName;
    std::optional<std::vector<std::uint8_t>> iccProfileData;
};

/// One screen of the window toolkit.
struct Screen {
    /// The display the screen shows; absent or out of range on odd screens.
    std::optional<std::int64_t> screenNumber;
    Rect frame;
    std::string localizedName;
    std::optional<ColorSpace> colorSpace;
};

/// What a window is for; the toolkit frames, stacks and places it so. Both
/// are borderless, on every workspace, out of window cycling, shown and
/// hidden without the toolkit's own animation, and never take focus.
enum class WindowRole {
    /// Covers a screen above everything else, with no shadow.
    dimmingOverlay,
    /// The on-screen panel: above every dimming overlay, or at 0 % the black
    /// overlay would hide it.
    panel,
};
inline constexpr std::uint64_t kKeyDownMask = 1u << 10;

/// What a window shows. The core describes its views with subclasses; a
/// toolkit renders the ones it knows.
class ContentView {
  public:
    virtual ~ContentView() = default;
};

/// A key press as the window toolkit reports it.
struct KeyEvent {
    std::uint16_t keyCode = 0;
    /// Device-independent modifier flags (0x20000 shift, 0x40000 control,
    /// 0x80000 option, 0x100000 command).
    std::uint64_t modifierFlags = 0;
};

/// A local event monitor; destroying it removes it.
class EventMonitor {
  public:
    virtual ~EventMonitor() = default;
};

/// A window of the toolkit. Destroying it closes it. Main thread only.
class Window {
  public:
    virtual ~Window() = default;
    /// The window's fill.
    virtual void setBackgroundColor(Color color) = 0;
    /// Whether what is behind may show through.
    virtual void setOpaque(bool opaque) = 0;
    /// True: clicks pass through to what is below.
    virtual void setIgnoresMouseEvents(bool ignores) = 0;
    /// Moves and sizes the window (screen coordinates).
    virtual void setFrame(Rect frame, bool display) = 0;
    /// Opacity, 0...1, at once.
    virtual void setAlphaValue(double alpha) = 0;
    /// Shows the window above its level's others, even when Orvane is not active.
    virtual void orderFrontRegardless() = 0;
    /// Hides the window; it can be shown again.
    virtual void orderOut() = 0;
    /// What the window shows; shared with the caller.
    virtual void setContentView(std::shared_ptr<const ContentView> view) = 0;
    /// Animates the alpha value to target over duration; completion runs on
    /// the main thread when the animation ends or another one replaces it.
    virtual void animateAlphaValue(double target, std::chrono::nanoseconds duration,
                                   std::function<void()> completion) = 0;
    /// The current opacity.
    virtual double alphaValue() const = 0;
    /// Whether the window is on screen.
    virtual bool isVisible() const = 0;
};

/// Screens and windows. Main thread only.
/// Linux: the Qt GUI's screens and widgets; a headless run has no screens.
class WindowToolkit {
  public:
    virtual ~WindowToolkit() = default;
    /// The screens, as values, in the toolkit's order; empty without a display server.
    virtual std::vector<Screen> screens() = 0;
    /// None when the system reports no main screen.
    virtual std::optional<Screen> mainScreen() = 0;
    /// A new window for role on screen at frame, hidden until ordered front;
    /// the caller owns it.
    virtual std::unique_ptr<Window> makeWindow(WindowRole role, Rect frame,
                                               const Screen& screen) = 0;
    /// Sees every key-down event that reaches the application while the monitor
    /// exists (the caller owns it); the handler returns the event to pass it on,
    /// or none to consume it.
    virtual std::unique_ptr<EventMonitor> addLocalMonitorForEvents(
        std::uint64_t mask, std::function<std::optional<KeyEvent>(const KeyEvent&)> handler) = 0;
};

/// The first screen that shows display; none when no screen does.
inline std::optional<Screen> screenForDisplay(WindowToolkit& toolkit, DisplayID display) {
    for (auto& screen : toolkit.screens()) {
        const auto n = screen.screenNumber;
        if (n && *n >= 0 && *n <= std::numeric_limits<std::uint32_t>::max() &&
            static_cast<DisplayID>(*n) == display) {
            return screen;
        }
    }
    return std::nullopt;
}

}  // namespace orvane::platform
