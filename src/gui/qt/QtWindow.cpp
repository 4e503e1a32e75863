// SPDX-License-Identifier: MIT
#include "gui/qt/QtWindow.h"

#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <cmath>

#include "gui/qt/QtWindowToolkit.h"
#include "gui/qt/SymbolIcon.h"
#include "input/OSDContentView.h"

namespace orvane::gui {

namespace {

QColor toQColor(const platform::Color& c) {
    return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue), float(c.alpha));
}

/// The on-screen panel: symbol, label and percentage over a level bar, light
/// on a dark translucent rounded plate.
void paintPanel(QPainter& p, const QRect& area, const input::OSDContentView& v) {
    using V = input::OSDContentView;
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF plate(area.x() + (area.width() - V::kWidth) / 2, area.y(), V::kWidth,
                       area.height());
    QPainterPath shape;
    shape.addRoundedRect(plate, V::kCornerRadius, V::kCornerRadius);
    p.fillPath(shape, QColor::fromRgbF(0, 0, 0, float(V::kBackgroundBlackOpacity)));
    p.fillPath(shape, QColor(255, 255, 255, 18));  // the thin material's sheen

    const QRectF inner = plate.adjusted(V::kHorizontalPadding, V::kVerticalPadding,
                                        -V::kHorizontalPadding, -V::kVerticalPadding);
    // The layout's points are device-independent pixels here.
    const qreal rowHeight = 24;
    const QRectF row(inner.x(), inner.y(), inner.width(), rowHeight);
    const int symbol = int(V::kSymbolSize);
    SymbolIcon::icon(v.icon, Qt::white)
        .paint(&p, QRect(int(row.x()), int(row.center().y()) - symbol / 2, symbol, symbol));

    QFont label = p.font();
    label.setPixelSize(int(V::kLabelSize));
    label.setWeight(QFont::DemiBold);
    p.setFont(label);
    p.setPen(QColor::fromRgbF(1, 1, 1, float(V::kLabelOpacity)));
    p.drawText(row.adjusted(symbol + 8, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
               QString::fromStdString(v.label));

    QFont percent = p.font();
    percent.setPixelSize(int(V::kPercentSize));
    percent.setWeight(QFont::Medium);
    p.setFont(percent);
    p.setPen(QColor::fromRgbF(1, 1, 1, float(V::kPercentOpacity)));
    p.drawText(row, Qt::AlignVCenter | Qt::AlignRight, QString::fromStdString(v.percentageText()));

    const QRectF track(inner.x(), inner.bottom() - V::kTrackHeight, inner.width(), V::kTrackHeight);
    QPainterPath trackPath;
    trackPath.addRoundedRect(track, V::kTrackCornerRadius, V::kTrackCornerRadius);
    p.fillPath(trackPath, QColor::fromRgbF(1, 1, 1, float(V::kTrackOpacity)));
    QPainterPath fill;
    fill.addRoundedRect(QRectF(track.x(), track.y(), track.width() * v.barFill(), track.height()),
                        V::kTrackCornerRadius, V::kTrackCornerRadius);
    p.fillPath(fill, QColor::fromRgbF(1, 1, 1, float(V::kFillOpacity)));
}

}  // namespace

QtWindow::QtWindow(QtWindowToolkit& toolkit, platform::WindowRole role, QRect frame)
    : toolkit_(toolkit), role_(role) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    applyFlags();
    setGeometry(frame);
}

QtWindow::~QtWindow() {
    if (animation_) animation_->stop();
    toolkit_.forget(this);
    if (layerShown_ && role_ == platform::WindowRole::panel) toolkit_.panelsMoved(screen());
}

void QtWindow::applyFlags() {
    Qt::WindowFlags flags = Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool |
                            Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint;
    // Above docks and panels, which the window manager would otherwise keep on top.
    flags |= Qt::X11BypassWindowManagerHint;
    if (ignoresMouse_) flags |= Qt::WindowTransparentForInput;
    const bool shown = QWidget::isVisible();
    setWindowFlags(flags);
    if (shown) show();
}

bool QtWindow::onLayer() const {
    return toolkit_.layerShell() != nullptr;
}

bool QtWindow::isVisible() const {
    return onLayer() ? layerShown_ : QWidget::isVisible();
}

void QtWindow::setBackgroundColor(platform::Color color) {
    background_ = color;
    update();
    if (layerShown_) presentLayer();
}

void QtWindow::setOpaque(bool opaque) {
    opaque_ = opaque;
    update();
    if (layerShown_) presentLayer();
}

void QtWindow::setIgnoresMouseEvents(bool ignores) {
    ignoresMouse_ = ignores;
    applyFlags();
}

void QtWindow::setFrame(platform::Rect frame, bool) {
    const QRect before = geometry();
    setGeometry(QtWindowToolkit::toQt(frame));
    if (!layerShown_ || geometry() == before) return;
    layer_.reset();  // a surface keeps the place it was made at
    presentLayer();
    if (role_ == platform::WindowRole::panel) toolkit_.panelsMoved(screen());
}

void QtWindow::setAlphaValue(double alpha) {
    alpha_ = alpha;
    setWindowOpacity(alpha);
    if (layerShown_) presentLayer();
}

void QtWindow::orderFrontRegardless() {
    if (!toolkit_.mayShow(role_)) return;
    if (onLayer()) {
        if (layerShown_) return;
        layerShown_ = true;
        presentLayer();
        if (role_ == platform::WindowRole::panel) toolkit_.panelsMoved(screen());
        return;
    }
    show();
    toolkit_.restack();
}

void QtWindow::orderOut() {
    if (onLayer()) {
        if (!std::exchange(layerShown_, false)) return;
        layer_.reset();
        if (role_ == platform::WindowRole::panel) toolkit_.panelsMoved(screen());
        return;
    }
    hide();
}

void QtWindow::setContentView(std::shared_ptr<const platform::ContentView> view) {
    content_ = std::move(view);
    update();
    if (layerShown_) presentLayer();
}

void QtWindow::presentLayer() {
    auto* shell = toolkit_.layerShell();
    const QScreen* on = screen();
    if (!shell || !on || !layerShown_) return;
    const QRect place = geometry();
    if (place.isEmpty()) return;
    if (!layer_) {
        std::string error;
        const QPoint at = place.topLeft() - on->geometry().topLeft();
        layer_ = shell->makeSurface(role_, on->name().toStdString(), at.x(), at.y(), place.width(),
                                    place.height(), error);
        if (!layer_) {
            layerShown_ = false;  // nothing shows: said, and not claimed
            toolkit_.layerRefused(error);
            return;
        }
    }
    // Drawn at the output's scale, the window's opacity baked in.
    const int scale = std::max(1, int(std::ceil(on->devicePixelRatio())));
    QImage drawn(place.size() * scale, QImage::Format_ARGB32_Premultiplied);
    drawn.setDevicePixelRatio(scale);
    drawn.fill(Qt::transparent);
    {
        QPainter p(&drawn);
        paint(p, QRect(QPoint(0, 0), place.size()));
    }
    QImage shown(drawn.size(), QImage::Format_ARGB32_Premultiplied);
    shown.setDevicePixelRatio(scale);
    shown.fill(Qt::transparent);
    {
        QPainter p(&shown);
        p.setOpacity(alpha_);
        p.drawImage(0, 0, drawn);
        // Which of two layer surfaces is on top is the compositor's choice:
        // an overlay leaves the panels' plates clear, so they show either way.
        if (role_ == platform::WindowRole::dimmingOverlay) {
            p.setOpacity(1);
            p.setRenderHint(QPainter::Antialiasing);
            p.setCompositionMode(QPainter::CompositionMode_Clear);
            constexpr qreal radius = input::OSDContentView::kCornerRadius;
            for (const QRect& panel : toolkit_.panelPlaces(on)) {
                QPainterPath plate;
                plate.addRoundedRect(QRectF(panel.translated(-place.topLeft())), radius, radius);
                p.fillPath(plate, Qt::black);
            }
        }
    }
    if (!layer_->present(reinterpret_cast<const std::uint32_t*>(shown.constBits()), shown.width(),
                         shown.height(), scale)) {
        // Closed (its output went): made again when it is next shown.
        layer_.reset();
        layerShown_ = false;
    }
}

void QtWindow::finishAnimation() {
    if (animation_) {
        animation_->disconnect(this);
        animation_->stop();
        animation_->deleteLater();
    }
    if (auto done = std::exchange(completion_, nullptr)) done();
}

void QtWindow::animateAlphaValue(double target, std::chrono::nanoseconds duration,
                                 std::function<void()> completion) {
    finishAnimation();  // a replaced animation still completes
    completion_ = std::move(completion);
    auto* animation = new QVariantAnimation(this);
    animation->setStartValue(alpha_);
    animation->setEndValue(target);
    animation->setDuration(
        int(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count()));
    connect(animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& v) { setAlphaValue(v.toDouble()); });
    connect(animation, &QVariantAnimation::finished, this, [this] { finishAnimation(); });
    animation_ = animation;
    animation->start();
}

void QtWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint(p, rect());
}

void QtWindow::paint(QPainter& p, const QRect& area) const {
    p.setCompositionMode(QPainter::CompositionMode_Source);
    QColor fill = toQColor(background_);
    if (opaque_) fill.setAlphaF(1);
    p.fillRect(area, fill);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (auto* panel = dynamic_cast<const input::OSDContentView*>(content_.get()))
        paintPanel(p, area, *panel);
}

}  // namespace orvane::gui
