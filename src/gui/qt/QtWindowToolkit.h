// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/LayerShell.h"
#include "platform/WindowToolkit.h"
#include "runtime/Logger.h"

class QScreen;

namespace orvane::gui {

class QtWindow;

/// The window toolkit on Qt: screens are QScreens, windows are frameless
/// widgets. The core's rectangles have their origin at the bottom left of
/// the primary screen with y growing upwards; Qt's at the top left, y down.
class QtWindowToolkit final : public platform::WindowToolkit {
  public:
    /// The display a screen shows, when known (by EDID, else by geometry).
    using ScreenMatcher = std::function<std::optional<DisplayID>(const QScreen&)>;

    QtWindowToolkit(runtime::Logger& log, ScreenMatcher matcher = nullptr);
    void setMatcher(ScreenMatcher matcher) { matcher_ = std::move(matcher); }
    ~QtWindowToolkit() override;

    std::vector<platform::Screen> screens() override;
    std::optional<platform::Screen> mainScreen() override;
    std::unique_ptr<platform::Window> makeWindow(platform::WindowRole role, platform::Rect frame,
                                                 const platform::Screen& screen) override;
    std::unique_ptr<platform::EventMonitor> addLocalMonitorForEvents(
        std::uint64_t mask,
        std::function<std::optional<platform::KeyEvent>(const platform::KeyEvent&)> handler)
        override;

    /// The compositor's layers (on Wayland) Orvane's windows become surfaces
    /// of instead of Qt's windows; with them, overlays and panels show. Null:
    /// none.
    void setLayerShell(platform::LayerShell* shell);
    platform::LayerShell* layerShell() const { return layerShell_; }

    /// Why dimming overlays cannot be shown in this session; none when they can.
    const std::optional<std::string>& overlaysUnavailable() const { return overlaysUnavailable_; }
    /// Why on-screen panels cannot be shown; none when they can.
    const std::optional<std::string>& panelsUnavailable() const { return panelsUnavailable_; }

    /// Core rectangle to Qt's, and back.
    static QRect toQt(const platform::Rect& rect);
    static platform::Rect toCore(const QRect& rect);
    /// The visible windows, lowest level first (for tests).
    std::vector<const QtWindow*> stack() const;

  private:
    friend class QtWindow;
    QScreen* qscreenFor(const platform::Screen& screen) const;
    void restack();
    void forget(QtWindow* window);
    /// Logs the reason a window of this level cannot be shown, once per kind;
    /// false when it cannot.
    bool mayShow(platform::WindowRole role);
    /// A layer panel appeared, moved or went: the overlays on its screen
    /// draw their clear place for it again.
    void panelsMoved(const QScreen* screen);
    /// Where visible layer panels on screen are (Qt's coordinates).
    std::vector<QRect> panelPlaces(const QScreen* screen) const;
    /// Logs once that the compositor refused a surface.
    void layerRefused(const std::string& error);

    runtime::Logger& log_;
    ScreenMatcher matcher_;
    std::vector<QtWindow*> windows_;
    std::optional<std::string> overlaysUnavailable_;
    std::optional<std::string> panelsUnavailable_;
    bool saidOverlays_ = false;
    bool saidPanels_ = false;
    platform::LayerShell* layerShell_ = nullptr;
    bool saidLayerRefused_ = false;
};

/// The Qt key as the toolkit's key event: the US-layout virtual key code and
/// device-independent modifier flags. None for keys without a code.
std::optional<platform::KeyEvent> keyEventFromQt(int qtKey, Qt::KeyboardModifiers modifiers);

}  // namespace orvane::gui
