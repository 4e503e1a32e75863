// SPDX-License-Identifier: MIT
#pragma once

#include <QLabel>
#include <QString>

namespace orvane::gui {

/// A one-line label that gives up width: a text longer than it has room for
/// ends in "…", and the whole text is its tooltip.
class ElidedLabel final : public QLabel {
  public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    void setFullText(const QString& text);
    const QString& fullText() const { return full_; }
    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void elide();
    QString full_;
};

}  // namespace orvane::gui
