// SPDX-License-Identifier: MIT
#pragma once

#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/LayerShell.h"
#include "platform/WindowToolkit.h"

namespace orvane::gui {

class QtWindowToolkit;

/// A frameless, always-on-top widget behind the core's window interface.
/// Its role decides its stacking among Orvane's windows: panels above overlays.
class QtWindow final : public QWidget, public platform::Window {
  public:
    QtWindow(QtWindowToolkit& toolkit, platform::WindowRole role, QRect frame);
    ~QtWindow() override;

    void setBackgroundColor(platform::Color color) override;
    void setOpaque(bool opaque) override;
    void setIgnoresMouseEvents(bool ignores) override;
    void setFrame(platform::Rect frame, bool display) override;
    void setAlphaValue(double alpha) override;
    void orderFrontRegardless() override;
    void orderOut() override;
    void setContentView(std::shared_ptr<const platform::ContentView> view) override;
    void animateAlphaValue(double target, std::chrono::nanoseconds duration,
                           std::function<void()> completion) override;
    double alphaValue() const override { return alpha_; }
    bool isVisible() const override;

    platform::WindowRole role() const { return role_; }
    /// Higher stacks above lower.
    int level() const { return role_ == platform::WindowRole::panel ? 1 : 0; }
    const platform::Color& backgroundColor() const { return background_; }
    const platform::ContentView* content() const { return content_.get(); }

    /// On a layer shell: draws the window and hands it to its surface.
    void presentLayer();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void applyFlags();
    void paint(QPainter& p, const QRect& area) const;
    /// Whether the window is a layer surface rather than a window of Qt's.
    bool onLayer() const;
    void finishAnimation();

    QtWindowToolkit& toolkit_;
    platform::Color background_{1, 1, 1, 1};
    bool opaque_ = true;
    bool ignoresMouse_ = false;
    platform::WindowRole role_;
    double alpha_ = 1;
    std::shared_ptr<const platform::ContentView> content_;
    QPointer<QVariantAnimation> animation_;
    std::function<void()> completion_;
    std::unique_ptr<platform::LayerSurface> layer_;
    bool layerShown_ = false;
};

}  // namespace orvane::gui
