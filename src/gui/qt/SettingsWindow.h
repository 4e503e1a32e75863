// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>
#include <map>

#include "gui/qt/AboutPane.h"
#include "gui/viewmodel/SettingsModel.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QToolButton;
class QVBoxLayout;

namespace orvane::gui {

/// The settings window: "Loading settings..." until the record is read,
/// then the General, Keyboard, Sync, Schedule and About tabs.
class SettingsWindow final : public QWidget {
  public:
    SettingsWindow(SettingsModel& model, UpdateController& updates,
                   settings::UserDefaults& defaults, QString version, QString build,
                   QWidget* parent = nullptr);
    ~SettingsWindow() override;

    QTabWidget* tabs() const { return tabs_; }
    QCheckBox* launchAtLogin() const { return launch_; }
    QCheckBox* showOSD() const { return osd_; }
    QComboBox* brightnessStep() const { return brightnessStep_; }
    QComboBox* volumeStep() const { return volumeStep_; }
    QCheckBox* interceptBrightness() const { return interceptBrightness_; }
    QCheckBox* interceptVolume() const { return interceptVolume_; }
    QPushButton* shortcutButton(input::ShortcutAction action) const;
    QToolButton* clearButton(input::ShortcutAction action) const;
    QLabel* refusal() const { return refusal_; }
    /// "Add to ..." or "Remove from ..." the desktop's shortcuts; null where
    /// the desktop has none Orvane can add to.
    QPushButton* desktopShortcutsButton() const { return desktopButton_; }
    QLabel* desktopShortcutsStatus() const { return desktopStatus_; }
    QCheckBox* syncToggle() const { return sync_; }
    QLabel* linkedText() const { return linkedText_; }
    QWidget* linkedSection() const { return linkedSection_; }
    class SchedulePane* schedulePane() const {
        return schedule_;
    }
    std::vector<QCheckBox*> linkToggles() const { return linkToggles_; }
    /// Draws the model again.
    void refresh();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* target, QEvent* event) override;

  private:
    QWidget* generalTab();
    QWidget* keyboardTab();
    QWidget* syncTab();
    void rebuildLinks();

    SettingsModel& model_;
    QStackedWidget* stack_;
    QTabWidget* tabs_ = nullptr;
    QCheckBox *launch_ = nullptr, *osd_ = nullptr;
    QComboBox *brightnessStep_ = nullptr, *volumeStep_ = nullptr;
    QCheckBox *interceptBrightness_ = nullptr, *interceptVolume_ = nullptr;
    struct Row {
        QPushButton* button;
        QToolButton* clear;
    };
    std::map<input::ShortcutAction, Row> rows_;
    QLabel* refusal_ = nullptr;
    QPushButton* desktopButton_ = nullptr;
    QLabel* desktopStatus_ = nullptr;
    /// The recording the rows show; a key that ends it draws them again.
    std::optional<input::ShortcutAction> shownRecording_;
    QCheckBox* sync_ = nullptr;
    QWidget* linkedSection_ = nullptr;
    QLabel* linkedText_ = nullptr;
    class SchedulePane* schedule_ = nullptr;
    QVBoxLayout* linkList_ = nullptr;
    std::vector<QCheckBox*> linkToggles_;
    UpdateController& updates_;
    settings::UserDefaults& defaults_;
    QString version_, build_;
};

}  // namespace orvane::gui
