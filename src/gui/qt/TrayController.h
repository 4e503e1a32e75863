// SPDX-License-Identifier: MIT
#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <memory>

#include "gui/qt/PopoverWindow.h"
#include "gui/viewmodel/PopoverModel.h"
#include "runtime/Logger.h"

namespace orvane::gui {

/// The tray icon and its popover. Without a tray (plain GNOME, offscreen, a
/// panel that has not started yet) the popover is an ordinary window shown at
/// launch; closing it hides it, and Orvane keeps running with its keys. A tray
/// that appears later gets the icon, and the window goes.
class TrayController final : public QObject {
  public:
    /// trayAvailable is asked at start and, while there is no tray, every
    /// pollMs.
    TrayController(PopoverModel& model, runtime::Logger& log, std::function<void()> quit,
                   std::function<bool()> trayAvailable = &QSystemTrayIcon::isSystemTrayAvailable,
                   int pollMs = 2000);
    ~TrayController() override;

    bool hasTray() const { return tray_ != nullptr; }
    PopoverWindow& popover() { return *popover_; }
    /// Opens the popover next to the tray icon, or closes it.
    void togglePopover();
    /// A second start: the popover (or the window) shows again.
    void reopen();

    /// Where a popover of size goes for an icon at anchor, in the screen's
    /// available area (the panels left out).
    static QPoint placement(const QRect& anchor, const QRect& area, const QSize& size);
    /// The tray icon's colour: the palette's text colour.
    static QColor trayColour();
    QSystemTrayIcon* systemTrayIcon() const { return tray_.get(); }

  protected:
    bool eventFilter(QObject* target, QEvent* event) override;

  private:
    void placePopover();
    void makeTray();

    std::unique_ptr<PopoverWindow> popover_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::unique_ptr<QMenu> menu_;
    std::function<void()> quit_;
    std::function<bool()> trayAvailable_;
    runtime::Logger& log_;
    QTimer poll_;
    bool standalone_ = false;
};

}  // namespace orvane::gui
