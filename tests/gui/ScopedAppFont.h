// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>
#include <QFont>

namespace orvane::test {

/// The application's font at pointSize for one scope, as a user's larger
/// system font sets it.
class ScopedAppFont {
  public:
    explicit ScopedAppFont(qreal pointSize) : saved_(QApplication::font()) {
        QFont font = saved_;
        font.setPointSizeF(pointSize);
        QApplication::setFont(font);
    }
    ~ScopedAppFont() { QApplication::setFont(saved_); }
    ScopedAppFont(const ScopedAppFont&) = delete;
    ScopedAppFont& operator=(const ScopedAppFont&) = delete;

  private:
    QFont saved_;
};

}  // namespace orvane::test
