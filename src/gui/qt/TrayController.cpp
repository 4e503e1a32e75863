// SPDX-License-Identifier: MIT
#include "gui/qt/TrayController.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QScreen>

#include "gui/qt/SymbolIcon.h"

namespace orvane::gui {

namespace {

/// Hides the tray's popover when it loses focus, as a popover does. A window
/// that stands alone is only hidden when closed: quitting would take the keys
/// and shortcuts with it.
class PopoverBehaviour final : public QObject {
  public:
    PopoverBehaviour(QWidget* popover, const bool& standalone)
        : QObject(popover), standalone_(standalone) {
        popover->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* target, QEvent* event) override {
        auto* window = static_cast<QWidget*>(target);
        if (!standalone_ && event->type() == QEvent::WindowDeactivate &&
            !QApplication::activeModalWidget() && !QApplication::activePopupWidget()) {
            window->hide();
        }
        return false;
    }

  private:
    const bool& standalone_;
};

}  // namespace

TrayController::TrayController(PopoverModel& model, runtime::Logger& log,
                               std::function<void()> quit, std::function<bool()> trayAvailable,
                               int pollMs)
    : popover_(std::make_unique<PopoverWindow>(model)),
      quit_(std::move(quit)),
      trayAvailable_(std::move(trayAvailable)),
      log_(log) {
    popover_->onQuit = quit_;
    new PopoverBehaviour(popover_.get(), standalone_);  // the popover owns it
    if (trayAvailable_()) {
        makeTray();
        return;
    }
    log.line(
        "[Gui] No system tray in this session - showing the popover as a window "
        "(on GNOME, the AppIndicator extension adds a tray)");
    standalone_ = true;
    popover_->show();
    // A panel that starts after Orvane at login brings its tray then.
    poll_.setInterval(pollMs);
    connect(&poll_, &QTimer::timeout, this, [this] {
        if (!trayAvailable_()) return;
        poll_.stop();
        log_.line("[Gui] A system tray is there now - the popover opens from its icon");
        popover_->hide();
        makeTray();
    });
    poll_.start();
}

void TrayController::makeTray() {
    standalone_ = false;
    popover_->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    tray_ = std::make_unique<QSystemTrayIcon>();
    // The panel's colour is unknown; its theme's text colour is the best
    // guess, and follows a switch between light and dark.
    tray_->setIcon(SymbolIcon::icon("display", trayColour()));
    qApp->installEventFilter(this);
    tray_->setToolTip(QStringLiteral("Orvane"));
    menu_ = std::make_unique<QMenu>();
    menu_->addAction(QObject::tr("Open Orvane"), this, [this] { togglePopover(); });
    menu_->addAction(QObject::tr("Quit Orvane"), this, [this] {
        if (quit_) quit_();
    });
    tray_->setContextMenu(menu_.get());
    connect(tray_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // A double-click's second press must not close what its first opened.
                if (reason == QSystemTrayIcon::Trigger) togglePopover();
                if (reason == QSystemTrayIcon::DoubleClick && !popover_->isVisible())
                    togglePopover();
            });
    tray_->show();
}

QPoint TrayController::placement(const QRect& anchor, const QRect& area, const QSize& size) {
    // Next to the icon on whichever edge its panel is; the available area
    // leaves the panel out, so the popover never covers it.
    const QPoint c = anchor.center();
    int x = c.x() - size.width() / 2;
    int y = c.y() < area.center().y() ? anchor.bottom() + 6 : anchor.top() - size.height() - 6;
    if (c.x() < area.left()) {
        x = area.left() + 6;
        y = c.y() - size.height() / 2;
    } else if (c.x() > area.right()) {
        x = area.right() - size.width() - 6;
        y = c.y() - size.height() / 2;
    }
    x = std::clamp(x, area.left() + 6, std::max(area.left() + 6, area.right() - size.width() - 6));
    y = std::clamp(y, area.top() + 6, std::max(area.top() + 6, area.bottom() - size.height() - 6));
    return {x, y};
}

QColor TrayController::trayColour() {
    return QApplication::palette().color(QPalette::WindowText);
}

bool TrayController::eventFilter(QObject* target, QEvent* event) {
    if (target == qApp && event->type() == QEvent::ApplicationPaletteChange && tray_)
        tray_->setIcon(SymbolIcon::icon("display", trayColour()));
    return QObject::eventFilter(target, event);
}

void TrayController::reopen() {
    if (standalone_) {
        popover_->refresh();
        popover_->show();
        popover_->raise();
        popover_->activateWindow();
    } else if (!popover_->isVisible()) {
        togglePopover();
    }
}

TrayController::~TrayController() {
    // The popover's event filter reads standalone_: it goes first.
    qApp->removeEventFilter(this);
    popover_.reset();
}

void TrayController::togglePopover() {
    if (popover_->isVisible()) {
        popover_->hide();
        return;
    }
    popover_->refresh();
    placePopover();
    popover_->show();
    popover_->raise();
    popover_->activateWindow();
}

void TrayController::placePopover() {
    // Anchor at the icon; a StatusNotifierItem reports no geometry, so the
    // pointer that clicked it stands in.
    QRect anchor = tray_ ? tray_->geometry() : QRect();
    if (anchor.isEmpty()) anchor = QRect(QCursor::pos(), QSize(1, 1));
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    // As tall as fits in the area: the cards scroll inside.
    popover_->fitTo(area);
    const QSize size = popover_->size();
    popover_->move(placement(anchor, area, size));
}

}  // namespace orvane::gui
