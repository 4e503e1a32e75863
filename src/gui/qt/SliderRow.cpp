// SPDX-License-Identifier: MIT
#include "gui/qt/SliderRow.h"

#include <QFontMetrics>
#include <algorithm>

#include <QFontDatabase>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <cmath>

#include "gui/qt/SymbolIcon.h"

namespace orvane::gui {

SliderRow::SliderRow(QWidget* parent)
    : QWidget(parent),
      icon_(new QLabel(this)),
      label_(new QLabel(this)),
      slider_(new QSlider(Qt::Horizontal, this)),
      value_(new QLabel(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    icon_->setFixedWidth(20);
    icon_->setAlignment(Qt::AlignCenter);
    // One column for the three labels, as wide as the widest in this font.
    int labelWidth = 0;
    for (const char* name : {"Brightness", "Contrast", "Volume"})
        labelWidth = std::max(labelWidth, label_->fontMetrics().horizontalAdvance(tr(name)));
    label_->setFixedWidth(labelWidth + 2);
    // A screen reader hears the label with the slider, as one control.
    label_->setBuddy(slider_);
    slider_->setRange(0, 100);
    slider_->setSingleStep(1);
    slider_->setPageStep(10);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(9);
    mono.setWeight(QFont::Medium);
    value_->setFont(mono);
    value_->setFixedWidth(QFontMetrics(mono).horizontalAdvance(QStringLiteral("100%")) + 2);
    value_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(icon_);
    layout->addWidget(label_);
    layout->addWidget(slider_, 1);
    layout->addWidget(value_);
    connect(slider_, &QSlider::valueChanged, this, [this](int v) {
        if (onChanged) onChanged(v);
    });
}

void SliderRow::setModel(const SliderRowModel& row) {
    symbol_ = QString::fromStdString(row.icon);
    const QColor color = palette().color(QPalette::WindowText);
    icon_->setPixmap(SymbolIcon::icon(row.icon, color).pixmap(QSize(14, 14), devicePixelRatioF()));
    label_->setText(QString::fromStdString(row.label));
    {
        const QSignalBlocker quiet(slider_);
        slider_->setRange(int(std::lround(row.minimum)), 100);
        // The whole number the value label shows: one value for eye and ear.
        slider_->setValue(int(std::max(row.value, row.minimum)));
    }
    value_->setText(QString::fromStdString(row.valueText()));
    slider_->setAccessibleName(QString::fromStdString(row.label));
    slider_->setAccessibleDescription(QString::fromStdString(row.accessibilityValue()));
    setEnabled(row.isEnabled);
    if (!row.isEnabled) {
        auto* dim = new QGraphicsOpacityEffect(this);
        dim->setOpacity(0.5);
        setGraphicsEffect(dim);
    } else {
        setGraphicsEffect(nullptr);
    }
}

}  // namespace orvane::gui
