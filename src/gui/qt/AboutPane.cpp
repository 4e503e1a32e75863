// SPDX-License-Identifier: MIT
#include "gui/qt/AboutPane.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/qt/SymbolIcon.h"

namespace orvane::gui {

AboutPane::AboutPane(UpdateController& updates, settings::UserDefaults& defaults, QString version,
                     QString build, QWidget* parent)
    : QWidget(parent), version_(std::move(version)), build_(std::move(build)) {
    auto* outer = new QVBoxLayout(this);
    auto* column = new QWidget(this);
    column->setMaximumWidth(280);
    auto* layout = new QVBoxLayout(column);
    layout->setSpacing(6);
    auto* icon = new QLabel(column);
    icon->setPixmap(SymbolIcon::icon("display.2", palette().color(QPalette::WindowText))
                        .pixmap(QSize(48, 48), devicePixelRatioF()));
    icon->setAlignment(Qt::AlignCenter);
    auto* name = new QLabel(QStringLiteral("Orvane"), column);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setWeight(QFont::DemiBold);
    name->setFont(big);
    name->setAlignment(Qt::AlignCenter);
    auto* versionLabel = new QLabel(versionText(), column);
    versionLabel->setAlignment(Qt::AlignCenter);
    versionLabel->setForegroundRole(QPalette::PlaceholderText);
    auto* description = new QLabel(tr(kDescription), column);
    description->setAlignment(Qt::AlignCenter);
    description->setWordWrap(true);
    // Wrapped at the column's width, with room for every line.
    description->setMinimumHeight(description->heightForWidth(280));
    auto* website = new QPushButton(tr("Orvane Website"), column);
    website->setFixedWidth(200);
    connect(website, &QPushButton::clicked, this,
            [] { QDesktopServices::openUrl(QUrl(QStringLiteral(ORVANE_WEBSITE))); });
    auto* contact = new QLabel(
        tr("Questions or ideas? Write to %1").arg(QStringLiteral(ORVANE_CONTACT)), column);
    contact->setAlignment(Qt::AlignCenter);
    contact->setWordWrap(true);
    contact->setForegroundRole(QPalette::PlaceholderText);
    contact->setTextInteractionFlags(Qt::TextSelectableByMouse);
    check_ = new QPushButton(tr("Check for Updates\u2026"), column);
    check_->setFixedWidth(200);
    connect(check_, &QPushButton::clicked, this,
            [this, &updates] { updates.checkForUpdates(window()); });
    // Off while a check runs, the automatic one included.
    check_->setEnabled(updates.canCheckForUpdates());
    updates.whileRunning(check_, [button = check_](bool running) { button->setEnabled(!running); });
    automatic_ = new QCheckBox(tr("Automatically download updates"), column);
    automatic_->setChecked(defaults.boolForKey(kAutomaticallyUpdate));
    connect(automatic_, &QCheckBox::toggled, this,
            [&defaults](bool on) { defaults.setBool(kAutomaticallyUpdate, on); });
    for (QWidget* w : std::initializer_list<QWidget*>{icon, name, versionLabel, description})
        layout->addWidget(w);
    layout->addSpacing(6);
    layout->addWidget(website, 0, Qt::AlignHCenter);
    layout->addWidget(contact);
    layout->addSpacing(6);
    layout->addWidget(check_, 0, Qt::AlignHCenter);
    layout->addWidget(automatic_, 0, Qt::AlignHCenter);
    outer->addStretch(1);
    outer->addWidget(column, 0, Qt::AlignHCenter);
    outer->addStretch(1);
}

QString AboutPane::versionText() const {
    return tr("Version %1 (%2)")
        .arg(version_.isEmpty() ? QStringLiteral("1.0.0") : version_, build_);
}

}  // namespace orvane::gui
