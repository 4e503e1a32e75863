// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include "gui/qt/UpdateController.h"
#include "settings/UserDefaults.h"

class QPushButton;
class QCheckBox;

namespace orvane::gui {

/// The About tab: symbol, name, version, description, website, contact,
/// "Check for Updates…" and "Automatically download updates".
class AboutPane final : public QWidget {
  public:
    static constexpr const char* kAutomaticallyUpdate = "SUAutomaticallyUpdate";
    /// The description, with the other platform's words said for this one.
    static constexpr const char* kDescription =
        "External display control for Linux.\nBrightness, contrast, volume, and input switching "
        "from your system tray.";

    AboutPane(UpdateController& updates, settings::UserDefaults& defaults, QString version,
              QString build, QWidget* parent = nullptr);
    QPushButton* checkButton() const { return check_; }
    QCheckBox* automaticToggle() const { return automatic_; }
    QString versionText() const;

  private:
    QString version_, build_;
    QPushButton* check_;
    QCheckBox* automatic_;
};

}  // namespace orvane::gui
