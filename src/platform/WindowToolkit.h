// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
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
    /// The device description's "NSScreenNumber"; absent or out of range on odd screens.
    std::optional<std::int64_t> screenNumber;
    Rect frame;
    std::string localizedName;
    std::optional<ColorSpace> colorSpace;
};

inline constexpr std::uint32_t kBorderlessWindowMask = 0;
inline constexpr int kBackingStoreBuffered = 2;
inline constexpr int kScreenSaverWindowLevel = 1000;
inline constexpr std::uint32_t kCollectionCanJoinAllSpaces = 1u << 0;
inline constexpr std::uint32_t kCollectionStationary = 1u << 4;
inline constexpr std::uint32_t kCollectionIgnoresCycle = 1u << 6;
inline constexpr int kAnimationBehaviorNone = 2;

/// A window of the toolkit. Destroying it closes it.
class Window {
  public:
    virtual ~Window() = default;
    virtual void setBackgroundColor(Color color) = 0;
    virtual void setOpaque(bool opaque) = 0;
    virtual void setHasShadow(bool shadow) = 0;
    virtual void setLevel(int level) = 0;
    virtual void setCollectionBehavior(std::uint32_t behavior) = 0;
    virtual void setIgnoresMouseEvents(bool ignores) = 0;
    virtual void setAnimationBehavior(int behavior) = 0;
    virtual void setReleasedWhenClosed(bool released) = 0;
    virtual void setFrame(Rect frame, bool display) = 0;
    virtual void setAlphaValue(double alpha) = 0;
    virtual void orderFrontRegardless() = 0;
    virtual void orderOut() = 0;
    virtual double alphaValue() const = 0;
    virtual bool isVisible() const = 0;
};

/// Screens and windows.
class WindowToolkit {
  public:
    virtual ~WindowToolkit() = default;
    virtual std::vector<Screen> screens() = 0;
    /// None when the system reports no main screen.
    virtual std::optional<Screen> mainScreen() = 0;
    virtual std::unique_ptr<Window> makeWindow(Rect contentRect, std::uint32_t styleMask,
                                               int backing, bool defer, const Screen& screen) = 0;
};

/// The first screen whose "NSScreenNumber" is display; none when no screen shows it.
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
