// SPDX-License-Identifier: MIT
#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

#include "gui/qt/PopoverWindow.h"
#include "gui/viewmodel/PopoverModel.h"
#include "runtime/Logger.h"

namespace orvane::gui {

/// The tray icon and its popover. Without a tray (plain GNOME, offscreen)
/// the popover is an ordinary window shown at launch, and closing it quits.
class TrayController final : public QObject {
  public:
    TrayController(PopoverModel& model, runtime::Logger& log, std::function<void()> quit);
    ~TrayController() override;

    bool hasTray() const { return tray_ != nullptr; }
    PopoverWindow& popover() { return *popover_; }
    /// Opens the popover next to the tray icon, or closes it.
    void togglePopover();

  private:
    void placePopover();

    std::unique_ptr<PopoverWindow> popover_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::unique_ptr<QMenu> menu_;
    std::function<void()> quit_;
};

}  // namespace orvane::gui
