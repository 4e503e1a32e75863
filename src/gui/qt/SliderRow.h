// SPDX-License-Identifier: MIT
#pragma once

#include <QLabel>
#include <QSlider>
#include <QWidget>
#include <functional>

#include "gui/viewmodel/DisplayCardModel.h"

namespace orvane::gui {

/// Symbol, label, a 0-100 slider and the value as "62%".
class SliderRow final : public QWidget {
  public:
    explicit SliderRow(QWidget* parent = nullptr);
    /// Shows row without reporting a change.
    void setModel(const SliderRowModel& row);
    /// Each value the user moves the slider to.
    std::function<void(double)> onChanged;
    QSlider* slider() const { return slider_; }
    QString valueText() const { return value_->text(); }
    QString iconSymbol() const { return symbol_; }
    QLabel* label() const { return label_; }
    QLabel* value() const { return value_; }

  private:
    QLabel* icon_;
    QLabel* label_;
    QSlider* slider_;
    QLabel* value_;
    QString symbol_;
};

}  // namespace orvane::gui
