// SPDX-License-Identifier: MIT
#include "gui/qt/OnboardingWindow.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/qt/SymbolIcon.h"

namespace orvane::gui {

namespace {

const QColor kBackground = QColor::fromRgbF(13 / 255.0f, 17 / 255.0f, 23 / 255.0f);
const QColor kText(0xe6, 0xed, 0xf3);
const QColor kMuted(0x8b, 0x94, 0x9e);
const QColor kAccent(0x3d, 0xae, 0xe9);

QLabel* text(const QString& s, QWidget* parent, qreal scale, bool bold, QColor color) {
    auto* label = new QLabel(s, parent);
    QFont f = label->font();
    f.setPointSizeF(f.pointSizeF() * scale);
    if (bold) f.setWeight(QFont::DemiBold);
    label->setFont(f);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
    label->setWordWrap(true);
    return label;
}

QPushButton* primary(const QString& label, QWidget* parent) {
    auto* button = new QPushButton(label, parent);
    button->setIcon(SymbolIcon::icon("arrow.right", Qt::white));
    button->setIconSize(QSize(14, 14));
    button->setStyleSheet(QStringLiteral(
        "QPushButton { background: #3daee9; color: white; border: none; border-radius: 8px;"
        " padding: 8px 22px; font-weight: 600; } QPushButton:hover { background: #52b8ee; }"));
    return button;
}

/// The check mark in its two circles.
class CheckMark final : public QWidget {
  public:
    explicit CheckMark(QWidget* parent) : QWidget(parent) { setFixedSize(100, 100); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(61, 174, 233, 90), 2));
        p.drawEllipse(QRectF(1, 1, 98, 98));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(61, 174, 233, 60));
        p.drawEllipse(QRectF(14, 14, 72, 72));
        QPainterPath tick;
        tick.moveTo(36, 51);
        tick.lineTo(46, 61);
        tick.lineTo(65, 40);
        p.setPen(QPen(kAccent, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }
};

QWidget* tile(const char* symbol, const QString& label, QWidget* parent) {
    auto* box = new QWidget(parent);
    box->setObjectName("tile");
    box->setStyleSheet(
        QStringLiteral("#tile { background: rgba(255,255,255,14); border-radius: 10px; }"));
    auto* layout = new QVBoxLayout(box);
    auto* icon = new QLabel(box);
    icon->setPixmap(
        SymbolIcon::icon(symbol, kText).pixmap(QSize(28, 28), box->devicePixelRatioF()));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    auto* name = text(label, box, 0.9, false, kText);
    name->setAlignment(Qt::AlignCenter);
    layout->addWidget(name);
    box->setFixedSize(110, 76);
    return box;
}

}  // namespace

OnboardingWindow::OnboardingWindow(QWidget* parent)
    : QWidget(parent), pages_(new QStackedWidget(this)) {
    setWindowTitle(tr("Welcome to Orvane"));
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, kBackground);
    setPalette(p);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pages_);
    pages_->addWidget(firstPage());
    pages_->addWidget(secondPage());
}

int OnboardingWindow::page() const {
    return pages_->currentIndex();
}

QWidget* OnboardingWindow::firstPage() {
    auto* page = new QWidget(pages_);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(48, 24, 48, 24);
    layout->setSpacing(10);
    auto* icon = new QLabel(page);
    icon->setFixedSize(120, 120);
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(
        SymbolIcon::icon("display", kAccent).pixmap(QSize(96, 96), devicePixelRatioF()));
    auto* title = text(tr("Welcome to orvane"), page, 1.8, true, kText);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    layout->addWidget(title);
    firstParts_ = {icon, title};
    const std::pair<const char*, const char*> features[] = {
        {"sun.max.fill",
         "Adjust brightness, contrast, and volume on external monitors with native controls."},
        {"slider.horizontal.3",
         "Save display presets and switch between configurations instantly."},
        {"keyboard",
         "Use keyboard shortcuts to fine-tune your displays without reaching for buttons."},
    };
    for (const auto& [symbol, words] : features) {
        auto* row = new QWidget(page);
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        auto* glyph = new QLabel(row);
        glyph->setPixmap(
            SymbolIcon::icon(symbol, kAccent).pixmap(QSize(20, 20), devicePixelRatioF()));
        glyph->setFixedWidth(28);
        rowLayout->addWidget(glyph, 0, Qt::AlignTop);
        rowLayout->addWidget(text(tr(words), row, 1.0, false, kMuted), 1);
        layout->addWidget(row);
        firstParts_.push_back(row);
    }
    layout->addStretch(1);
    start_ = primary(tr("Get Started"), page);
    layout->addWidget(start_, 0, Qt::AlignHCenter);
    firstParts_.push_back(start_);
    connect(start_, &QPushButton::clicked, this, [this] {
        if (onStarted) onStarted();
        pages_->setCurrentIndex(1);
        reveal(secondParts_, {500, 900, 1200, 1300, 1500, 2100});
    });
    return page;
}

QWidget* OnboardingWindow::secondPage() {
    auto* page = new QWidget(pages_);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(48, 32, 48, 24);
    layout->setSpacing(12);
    auto* check = new CheckMark(page);
    auto* heading = text(tr("You're all set."), page, 1.8, true, kText);
    heading->setAlignment(Qt::AlignCenter);
    auto* tiles = new QWidget(page);
    auto* tilesLayout = new QHBoxLayout(tiles);
    auto* one = tile("display", tr("1 Display"), tiles);
    auto* two = tile("display.2", tr("2 Displays"), tiles);
    tilesLayout->addStretch(1);
    tilesLayout->addWidget(one);
    tilesLayout->addWidget(two);
    tilesLayout->addStretch(1);
    // "menu bar" is the other platform's word for the tray.
    auto* hint =
        text(tr("Look for the display icon in your system tray."), page, 1.0, false, kMuted);
    hint->setAlignment(Qt::AlignCenter);
    finish_ = primary(tr("Start Using orvane"), page);
    layout->addWidget(check, 0, Qt::AlignHCenter);
    layout->addWidget(heading);
    layout->addWidget(tiles);
    layout->addWidget(hint);
    layout->addStretch(1);
    layout->addWidget(finish_, 0, Qt::AlignHCenter);
    // The tiles fade in one by one; their row gets no fade of its own: Qt
    // draws no effect inside another, and one tile would stay blank.
    secondParts_ = {check, heading, one, two, hint, finish_};
    tiles_ = tiles;
    connect(finish_, &QPushButton::clicked, this, [this] {
        if (onFinished) onFinished();
        close();
    });
    return page;
}

void OnboardingWindow::reveal(const std::vector<QWidget*>& parts, const std::vector<int>& delays) {
    for (std::size_t i = 0; i < parts.size(); ++i) {
        auto* effect = new QGraphicsOpacityEffect(parts[i]);
        effect->setOpacity(0);
        parts[i]->setGraphicsEffect(effect);
        const int delay = i < delays.size() ? delays[i] : delays.back();
        QTimer::singleShot(delay, effect, [effect] {
            auto* fade = new QPropertyAnimation(effect, "opacity", effect);
            fade->setDuration(350);
            fade->setStartValue(0.0);
            fade->setEndValue(1.0);
            fade->setEasingCurve(QEasingCurve::OutCubic);
            fade->start(QAbstractAnimation::DeleteWhenStopped);
        });
    }
}

void OnboardingWindow::revealAll() {
    revealed_ = true;
    for (auto* part : firstParts_)
        part->setGraphicsEffect(nullptr);
    for (auto* part : secondParts_)
        part->setGraphicsEffect(nullptr);
}

void OnboardingWindow::showEvent(QShowEvent* event) {
    if (!revealed_) {
        revealed_ = true;
        reveal(firstParts_, {0, 250, 450, 600, 750, 950});
    }
    QWidget::showEvent(event);
}

}  // namespace orvane::gui
