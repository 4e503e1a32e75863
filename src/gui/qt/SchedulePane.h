// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>
#include <vector>

#include "gui/viewmodel/SettingsModel.h"

class QComboBox;
class QDoubleSpinBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimeEdit;

namespace orvane::gui {

/// The settings window's Schedule tab: the place sun times are for, and for
/// each preset when it comes into force.
class SchedulePane final : public QWidget {
  public:
    explicit SchedulePane(SettingsModel& model, QWidget* parent = nullptr);
    /// Draws the presets and the place again.
    void refresh();

    // Parts, for tests and screenshots.
    QDoubleSpinBox* latitude() const { return latitude_; }
    QDoubleSpinBox* longitude() const { return longitude_; }
    QPushButton* setLocationButton() const { return setLocation_; }
    QLabel* error() const { return error_; }
    struct Row {
        QString preset;
        QComboBox* event;
        QTimeEdit* time;
        QSpinBox* offset;
    };
    const std::vector<Row>& rows() const { return rows_; }

  private:
    void apply(const Row& row);

    SettingsModel& model_;
    QDoubleSpinBox* latitude_;
    QDoubleSpinBox* longitude_;
    QPushButton* setLocation_;
    QLabel* locationText_;
    QGridLayout* grid_;
    QLabel* empty_;
    QLabel* error_;
    std::vector<Row> rows_;
};

}  // namespace orvane::gui
