// SPDX-License-Identifier: MIT
#include "gui/qt/ElidedLabel.h"

#include <QEvent>
#include <QFontMetrics>

namespace orvane::gui {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString& text) {
    full_ = text;
    elide();
}

QSize ElidedLabel::minimumSizeHint() const {
    return QSize(0, QLabel::minimumSizeHint().height());
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) elide();
}

void ElidedLabel::elide() {
    const QString shown = fontMetrics().elidedText(full_, Qt::ElideRight, width());
    if (shown != text()) setText(shown);
    setToolTip(shown == full_ ? QString() : full_);
}

}  // namespace orvane::gui
