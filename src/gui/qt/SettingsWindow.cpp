// SPDX-License-Identifier: MIT
#include "gui/qt/SettingsWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "gui/qt/SchedulePane.h"
#include "gui/qt/ShortcutText.h"
#include "gui/qt/SymbolIcon.h"

namespace orvane::gui {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QLabel* caption(const char* text, QWidget* parent, bool tertiary = false) {
    auto* label = new QLabel(QObject::tr(text), parent);
    label->setWordWrap(true);
    QFont f = label->font();
    f.setPointSizeF(f.pointSizeF() * 0.85);
    label->setFont(f);
    label->setForegroundRole(tertiary ? QPalette::Mid : QPalette::PlaceholderText);
    return label;
}

QComboBox* stepPicker(QWidget* parent, double value) {
    auto* box = new QComboBox(parent);
    // As wide as its longest entry in the user's font, at least 180.
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    box->setMinimumWidth(180);
    for (const auto& step : SettingsModel::kSteps) {
        box->addItem(QObject::tr(step.text), step.value);
        if (step.value == value) box->setCurrentIndex(box->count() - 1);
    }
    return box;
}

}  // namespace

SettingsWindow::SettingsWindow(SettingsModel& model, UpdateController& updates,
                               settings::UserDefaults& defaults, QString version, QString build,
                               QWidget* parent)
    : QWidget(parent),
      model_(model),
      stack_(new QStackedWidget(this)),
      updates_(updates),
      defaults_(defaults),
      version_(std::move(version)),
      build_(std::move(build)) {
    setWindowTitle(tr("Orvane Settings"));
    model_.formatCombo = [&layout = model_.keyboardLayout()](const input::KeyCombo& combo) {
        return ShortcutText::desktop(combo, layout);
    };
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(stack_);
    auto* loading = new QWidget(stack_);
    loading->setFixedSize(450, 320);
    auto* loadingLayout = new QVBoxLayout(loading);
    auto* busy = new QProgressBar(loading);
    busy->setRange(0, 0);
    busy->setMaximumWidth(120);
    loadingLayout->addStretch(1);
    loadingLayout->addWidget(busy, 0, Qt::AlignHCenter);
    loadingLayout->addWidget(new QLabel(tr(SettingsModel::kLoading), loading), 0, Qt::AlignHCenter);
    loadingLayout->addStretch(1);
    stack_->addWidget(loading);
}

SettingsWindow::~SettingsWindow() {
    qApp->removeEventFilter(this);
}

void SettingsWindow::showEvent(QShowEvent* event) {
    if (!model_.isLoaded()) model_.load();
    if (!tabs_) {
        tabs_ = new QTabWidget(stack_);
        tabs_->setFixedWidth(450);
        const QColor ink = palette().color(QPalette::WindowText);
        tabs_->addTab(generalTab(), SymbolIcon::icon("gear", ink), tr("General"));
        tabs_->addTab(keyboardTab(), SymbolIcon::icon("keyboard", ink), tr("Keyboard"));
        tabs_->addTab(syncTab(), SymbolIcon::icon("arrow.triangle.2.circlepath", ink), tr("Sync"));
        schedule_ = new SchedulePane(model_, tabs_);
        tabs_->addTab(schedule_, SymbolIcon::icon("sun.max.fill", ink), tr("Schedule"));
        tabs_->addTab(new AboutPane(updates_, defaults_, version_, build_, tabs_),
                      SymbolIcon::icon("info.circle", ink), tr("About"));
        stack_->addWidget(tabs_);
        // Recording ends with the keyboard tab.
        connect(tabs_, &QTabWidget::currentChanged, this, [this](int) {
            model_.stopRecording();
            refresh();
        });
        // A key the recorder took changes the rows: draw them after it.
        qApp->installEventFilter(this);
    }
    stack_->setCurrentWidget(tabs_);
    refresh();
    QWidget::showEvent(event);
}

void SettingsWindow::hideEvent(QHideEvent* event) {
    model_.stopRecording();
    QWidget::hideEvent(event);
}

bool SettingsWindow::eventFilter(QObject*, QEvent* event) {
    // The recorder takes the key presses themselves; their releases come
    // through, after it has decided.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) && isVisible() &&
        model_.isLoaded() && model_.recorder().recordingAction() != shownRecording_)
        QTimer::singleShot(0, this, [this] { refresh(); });
    return false;
}

QWidget* SettingsWindow::generalTab() {
    auto* tab = new QWidget;
    auto* layout = new QVBoxLayout(tab);
    auto* startup = new QGroupBox(tr("Startup"), tab);
    auto* startupLayout = new QVBoxLayout(startup);
    launch_ = new QCheckBox(tr("Launch at login"), startup);
    startupLayout->addWidget(launch_);
    auto* osdBox = new QGroupBox(tr("On-Screen Display"), tab);
    auto* osdLayout = new QVBoxLayout(osdBox);
    osd_ = new QCheckBox(tr("Show OSD on brightness/volume changes"), osdBox);
    osdLayout->addWidget(osd_);
    auto* adjustments = new QGroupBox(tr("Adjustments"), tab);
    auto* form = new QFormLayout(adjustments);
    brightnessStep_ = stepPicker(adjustments, model_.brightnessStep());
    volumeStep_ = stepPicker(adjustments, model_.volumeStep());
    form->addRow(tr("Brightness step"), brightnessStep_);
    form->addRow(tr("Volume step"), volumeStep_);
    layout->addWidget(startup);
    layout->addWidget(osdBox);
    layout->addWidget(adjustments);
    layout->addStretch(1);
    connect(launch_, &QCheckBox::toggled, this, [this](bool on) { model_.setLaunchAtLogin(on); });
    connect(osd_, &QCheckBox::toggled, this, [this](bool on) { model_.setShowOSD(on); });
    connect(brightnessStep_, &QComboBox::currentIndexChanged, this,
            [this](int) { model_.setBrightnessStep(brightnessStep_->currentData().toDouble()); });
    connect(volumeStep_, &QComboBox::currentIndexChanged, this,
            [this](int) { model_.setVolumeStep(volumeStep_->currentData().toDouble()); });
    return tab;
}

QWidget* SettingsWindow::keyboardTab() {
    auto* tab = new QWidget;
    auto* layout = new QVBoxLayout(tab);
    auto* media = new QGroupBox(tr("Media Key Interception"), tab);
    auto* mediaLayout = new QVBoxLayout(media);
    interceptBrightness_ = new QCheckBox(tr("Intercept brightness keys"), media);
    interceptVolume_ = new QCheckBox(tr("Intercept volume keys"), media);
    mediaLayout->addWidget(interceptBrightness_);
    mediaLayout->addWidget(interceptVolume_);
    mediaLayout->addWidget(caption(SettingsModel::kInterceptionCaption, media));
    auto* shortcuts = new QGroupBox(tr("Custom Shortcuts"), tab);
    auto* shortcutLayout = new QVBoxLayout(shortcuts);
    shortcutLayout->addWidget(caption(SettingsModel::kShortcutsCaption, shortcuts));
    const QColor ink = palette().color(QPalette::PlaceholderText);
    for (const auto& row : model_.shortcutRows()) {
        auto* line = new QHBoxLayout();
        auto* label = new QLabel(q(row.label), shortcuts);
        auto* button = new QPushButton(shortcuts);
        button->setFlat(true);
        button->setObjectName("shortcutButton");
        QFont f = button->font();
        f.setWeight(QFont::Medium);
        button->setFont(f);
        auto* clear = new QToolButton(shortcuts);
        clear->setAutoRaise(true);
        clear->setIcon(SymbolIcon::icon("xmark.circle.fill", ink));
        clear->setToolTip(tr("Clear shortcut"));
        line->addWidget(label, 1);
        line->addWidget(button);
        line->addWidget(clear);
        shortcutLayout->addLayout(line);
        const auto action = row.action;
        connect(button, &QPushButton::clicked, this, [this, action] {
            model_.startRecording(action);
            refresh();
        });
        connect(clear, &QToolButton::clicked, this, [this, action] {
            model_.clearShortcut(action);
            refresh();
        });
        rows_[action] = Row{button, clear};
    }
    refusal_ = new QLabel(shortcuts);
    refusal_->setWordWrap(true);
    refusal_->setStyleSheet(QStringLiteral("color: #e67e00;"));
    shortcutLayout->addWidget(refusal_);
    shortcutLayout->addWidget(caption(SettingsModel::kShortcutsFooter, shortcuts, true));
    layout->addWidget(media);
    layout->addWidget(shortcuts);
    if (const auto place = model_.desktopShortcutsPlace(); !place.empty()) {
        auto* desktop = new QGroupBox(tr("Desktop Shortcuts"), tab);
        auto* desktopLayout = new QVBoxLayout(desktop);
        const std::string text =
            QString::fromUtf8(SettingsModel::kDesktopShortcutsCaption).arg(q(place)).toStdString();
        desktopLayout->addWidget(caption(text.c_str(), desktop));
        auto* line = new QHBoxLayout();
        desktopButton_ = new QPushButton(desktop);
        desktopStatus_ = new QLabel(desktop);
        desktopStatus_->setWordWrap(true);
        desktopStatus_->setStyleSheet(QStringLiteral("color: #e67e00;"));
        line->addWidget(desktopButton_);
        line->addStretch(1);
        desktopLayout->addLayout(line);
        desktopLayout->addWidget(desktopStatus_);
        layout->addWidget(desktop);
        connect(desktopButton_, &QPushButton::clicked, this, [this] {
            model_.setDesktopShortcutsAdded(!model_.desktopShortcutsAdded());
            refresh();
        });
    }
    layout->addStretch(1);
    connect(interceptBrightness_, &QCheckBox::toggled, this,
            [this](bool on) { model_.setInterceptBrightnessKeys(on); });
    connect(interceptVolume_, &QCheckBox::toggled, this,
            [this](bool on) { model_.setInterceptVolumeKeys(on); });
    return tab;
}

QWidget* SettingsWindow::syncTab() {
    auto* tab = new QWidget;
    auto* layout = new QVBoxLayout(tab);
    auto* syncBox = new QGroupBox(tr("Brightness Sync"), tab);
    auto* syncLayout = new QVBoxLayout(syncBox);
    sync_ = new QCheckBox(tr("Sync brightness across displays"), syncBox);
    syncLayout->addWidget(sync_);
    syncLayout->addWidget(caption(SettingsModel::kSyncCaption, syncBox));
    auto* linked = new QGroupBox(tr("Linked Displays"), tab);
    linkedSection_ = linked;
    linkList_ = new QVBoxLayout(linked);
    linkedText_ = new QLabel(linked);
    linkedText_->setForegroundRole(QPalette::PlaceholderText);
    linkList_->addWidget(linkedText_);
    layout->addWidget(syncBox);
    layout->addWidget(linked);
    layout->addStretch(1);
    connect(sync_, &QCheckBox::toggled, this, [this](bool on) {
        model_.setSyncEnabled(on);
        refresh();
    });
    return tab;
}

void SettingsWindow::rebuildLinks() {
    for (auto* toggle : linkToggles_)
        delete toggle;
    linkToggles_.clear();
    for (const auto& [state, linked] : model_.linkRows()) {
        auto* toggle = new QCheckBox(q(state->info.displayName()), linkedSection_);
        toggle->setChecked(linked);
        const auto id = state->info.id;
        connect(toggle, &QCheckBox::toggled, this,
                [this, id](bool on) { model_.setLinked(id, on); });
        linkList_->addWidget(toggle);
        linkToggles_.push_back(toggle);
    }
}

QPushButton* SettingsWindow::shortcutButton(input::ShortcutAction action) const {
    auto it = rows_.find(action);
    return it == rows_.end() ? nullptr : it->second.button;
}

QToolButton* SettingsWindow::clearButton(input::ShortcutAction action) const {
    auto it = rows_.find(action);
    return it == rows_.end() ? nullptr : it->second.clear;
}

void SettingsWindow::refresh() {
    if (!tabs_ || !model_.isLoaded()) return;
    {
        const QSignalBlocker a(launch_), b(osd_), c(interceptBrightness_), d(interceptVolume_),
            e(sync_);
        launch_->setChecked(model_.launchAtLogin());
        osd_->setChecked(model_.showOSD());
        interceptBrightness_->setChecked(model_.interceptBrightnessKeys());
        interceptVolume_->setChecked(model_.interceptVolumeKeys());
        sync_->setChecked(model_.syncEnabled());
    }
    shownRecording_ = model_.recorder().recordingAction();
    for (const auto& row : model_.shortcutRows()) {
        auto& widgets = rows_[row.action];
        widgets.button->setText(q(row.text));
        widgets.button->setAccessibleName(q(row.label) + QStringLiteral(": ") + q(row.text));
        // Recording in orange on an orange wash; otherwise a quiet chip.
        widgets.button->setStyleSheet(
            row.recording
                ? QStringLiteral(
                      "QPushButton { color: #e67e00; background: rgba(255,149,0,38);"
                      " border: 1px solid #ff9500; border-radius: 5px; padding: 4px 10px; }")
                : QStringLiteral("QPushButton { background: rgba(128,128,128,26); border: none;"
                                 " border-radius: 5px; padding: 4px 10px; %1 }")
                      .arg(row.hasCombination ? QString()
                                              : QStringLiteral("color: palette(mid);")));
        widgets.clear->setVisible(row.hasCombination && !row.recording);
    }
    refusal_->setText(q(model_.refusal()));
    refusal_->setVisible(!model_.refusal().empty());
    if (desktopButton_) {
        model_.syncDesktopShortcuts();
        const auto place = q(model_.desktopShortcutsPlace());
        desktopButton_->setText(model_.desktopShortcutsAdded() ? tr("Remove from %1").arg(place)
                                                               : tr("Add to %1").arg(place));
        desktopStatus_->setText(q(model_.desktopShortcutsError()));
        desktopStatus_->setVisible(!model_.desktopShortcutsError().empty());
    }
    linkedSection_->setVisible(model_.linkedDisplays() != SettingsModel::LinkedDisplays::hidden);
    const auto text = model_.linkedDisplaysText();
    linkedText_->setText(q(text));
    linkedText_->setVisible(!text.empty());
    rebuildLinks();
    schedule_->refresh();
}

}  // namespace orvane::gui
