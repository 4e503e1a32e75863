// SPDX-License-Identifier: MIT
#include "gui/qt/SchedulePane.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace orvane::gui {

namespace {

using Event = schedule::PresetSchedule::Event;

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QDoubleSpinBox* degrees(double limit, QWidget* parent) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(-limit, limit);
    box->setDecimals(4);
    box->setSuffix(QStringLiteral("°"));
    return box;
}

}  // namespace

SchedulePane::SchedulePane(SettingsModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* layout = new QVBoxLayout(this);
    auto* place = new QGroupBox(tr("Location"), this);
    auto* form = new QFormLayout(place);
    latitude_ = degrees(90, place);
    longitude_ = degrees(180, place);
    setLocation_ = new QPushButton(tr("Use This Place"), place);
    locationText_ = new QLabel(place);
    locationText_->setForegroundRole(QPalette::PlaceholderText);
    form->addRow(tr("Latitude (north)"), latitude_);
    form->addRow(tr("Longitude (east)"), longitude_);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(locationText_, 1);
    buttonRow->addWidget(setLocation_);
    form->addRow(buttonRow);

    auto* presets = new QGroupBox(tr("Presets"), this);
    auto* presetsLayout = new QVBoxLayout(presets);
    auto* caption = new QLabel(tr(SettingsModel::kScheduleCaption), presets);
    caption->setWordWrap(true);
    caption->setForegroundRole(QPalette::PlaceholderText);
    presetsLayout->addWidget(caption);
    grid_ = new QGridLayout;
    grid_->setColumnStretch(0, 1);
    presetsLayout->addLayout(grid_);
    empty_ = new QLabel(tr(SettingsModel::kNoPresets), presets);
    empty_->setForegroundRole(QPalette::PlaceholderText);
    presetsLayout->addWidget(empty_);
    error_ = new QLabel(presets);
    error_->setWordWrap(true);
    error_->setStyleSheet(QStringLiteral("color: #d70015;"));
    presetsLayout->addWidget(error_);

    layout->addWidget(place);
    layout->addWidget(presets);
    layout->addStretch(1);
    connect(setLocation_, &QPushButton::clicked, this, [this] {
        model_.setLocation(schedule::Location{latitude_->value(), longitude_->value()});
        refresh();
    });
}

void SchedulePane::apply(const Row& row) {
    std::optional<schedule::PresetSchedule> when;
    switch (row.event->currentIndex()) {
        case 1:
            when = schedule::PresetSchedule{
                Event::time, row.time->time().hour() * 60 + row.time->time().minute()};
            break;
        case 2:
            when = schedule::PresetSchedule{Event::sunrise, row.offset->value()};
            break;
        case 3:
            when = schedule::PresetSchedule{Event::sunset, row.offset->value()};
            break;
        default:
            break;
    }
    model_.setSchedule(row.preset.toStdString(), when);
    refresh();
}

void SchedulePane::refresh() {
    const auto where = model_.location();
    {
        const QSignalBlocker a(latitude_), b(longitude_);
        if (where) {
            latitude_->setValue(where->latitude);
            longitude_->setValue(where->longitude);
        }
    }
    locationText_->setText(where ? tr("Sun times are for this place") : tr("No place set"));

    while (auto* item = grid_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    rows_.clear();
    int r = 0;
    for (const auto& entry : model_.scheduleRows()) {
        auto* name = new QLabel(q(entry.preset), this);
        auto* event = new QComboBox(this);
        event->addItems({tr("Not scheduled"), tr("At"), tr("At sunrise"), tr("At sunset")});
        event->setAccessibleName(q(entry.preset));
        auto* time = new QTimeEdit(this);
        time->setDisplayFormat(QStringLiteral("HH:mm"));
        auto* offset = new QSpinBox(this);
        offset->setRange(-720, 720);
        offset->setSuffix(tr(" min"));
        offset->setPrefix(QString());
        offset->setToolTip(tr("Minutes before (-) or after the sun event"));
        const auto& when = entry.when;
        event->setCurrentIndex(!when                           ? 0
                               : when->event == Event::time    ? 1
                               : when->event == Event::sunrise ? 2
                                                               : 3);
        if (when && when->event == Event::time) {
            time->setTime(QTime(when->minutes / 60, when->minutes % 60));
        } else {
            time->setTime(QTime(21, 0));
        }
        if (when && when->followsTheSun()) offset->setValue(when->minutes);
        grid_->addWidget(name, r, 0);
        grid_->addWidget(event, r, 1);
        grid_->addWidget(time, r, 2);
        grid_->addWidget(offset, r, 2);
        // After the layout has given them their parent, which hides them.
        time->setVisible(event->currentIndex() == 1);
        offset->setVisible(event->currentIndex() >= 2);
        rows_.push_back({q(entry.preset), event, time, offset});
        const std::size_t index = rows_.size() - 1;
        // Each change takes effect at once. The rows are drawn again after
        // it, so not from inside the signal of a widget that goes with them.
        const auto applyLater = [this, index] {
            QMetaObject::invokeMethod(
                this, [this, index] { apply(rows_[index]); }, Qt::QueuedConnection);
        };
        connect(event, &QComboBox::activated, this, applyLater);
        connect(time, &QTimeEdit::editingFinished, this, applyLater);
        connect(offset, &QSpinBox::editingFinished, this, applyLater);
        ++r;
    }
    empty_->setVisible(rows_.empty());
    error_->setText(q(model_.scheduleError()));
    error_->setVisible(!model_.scheduleError().empty());
}

}  // namespace orvane::gui
