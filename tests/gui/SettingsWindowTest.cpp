// SPDX-License-Identifier: MIT
// The settings window, onboarding and the update check, offscreen, on the
// whole application over a simulated machine; the feed comes from a
// loopback HTTP server started here.

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include <QLayout>
#include "controls/BrightnessSyncManager.h"

#include "gui/FakeDesktopShortcuts.h"
#include "gui/GuiScenes.h"
#include "gui/ScopedAppFont.h"
#include "gui/qt/QtWindowToolkit.h"
#include "gui/qt/SettingsWindow.h"
#include "gui/qt/SymbolIcon.h"
#include "gui/viewmodel/SettingsModel.h"
#include "platform/posix/XdgAutostart.h"
#include "platform/sim/SimRig.h"
#include "settings/SettingsBindingsStore.h"

using namespace orvane;
using input::ShortcutAction;

namespace {

using test::FakeDesktopShortcuts;

/// The application on a rig with the settings window over it.
struct Settings {
    explicit Settings(const std::string& rig, platform::DesktopShortcuts* desktop = nullptr)
        : dir(test::freshDirectory("settings-" + rig)),
          sim(platform::sim::SimRig::load(std::string(ORVANE_GUI_RIGS) + "/" + rig), dir.string(),
              desktop),
          ui(sim, dir, QStringLiteral("7")),
          sync(ui.sync),
          model(ui.model),
          window(ui.window) {
        sim.launch();
        window.show();
    }
    std::filesystem::path dir;
    test::SimApp sim;
    test::SettingsScene ui;
    controls::BrightnessSyncManager& sync;
    gui::SettingsModel& model;
    gui::SettingsWindow& window;
};

}  // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { gui::SymbolIcon::setUseTheme(false); }

    void anEmptyStoreShowsTheDefaults() {
        Settings s("desk.json");
        auto* tabs = s.window.tabs();
        QVERIFY(tabs);
        QCOMPARE(tabs->count(), 5);
        QCOMPARE(tabs->tabText(0), QStringLiteral("General"));
        QCOMPARE(tabs->tabText(3), QStringLiteral("Schedule"));
        QCOMPARE(tabs->tabText(4), QStringLiteral("About"));
        QVERIFY(!s.window.launchAtLogin()->isChecked());
        QVERIFY(s.window.showOSD()->isChecked());
        QCOMPARE(s.window.brightnessStep()->currentText(), QStringLiteral("6.25% (16 steps)"));
        QCOMPARE(s.window.volumeStep()->currentText(), QStringLiteral("6.25% (16 steps)"));
        QCOMPARE(s.window.volumeStep()->count(), 4);
        QVERIFY(s.window.interceptBrightness()->isChecked());
        QCOMPARE(s.window.interceptBrightness()->text(),
                 QStringLiteral("Intercept brightness keys"));
        QVERIFY(!s.window.interceptVolume()->isChecked());
        QVERIFY(!s.window.syncToggle()->isChecked());
        QCOMPARE(s.window.shortcutButton(ShortcutAction::brightnessUp)->text(),
                 QStringLiteral("Not set"));
    }

    void editsReachTheRecordAndTheInterceptorAtOnce() {
        Settings s("desk.json");
        auto& interceptor = *s.sim.app->registry().mediaKeyInterceptor();
        QVERIFY(!interceptor.interceptVolume());
        s.window.interceptVolume()->click();
        QVERIFY(interceptor.interceptVolume());
        s.window.volumeStep()->setCurrentIndex(3);  // "1% (fine)"
        auto record = settings::fetchOrCreateSettings(s.sim.app->container().mainContext());
        QVERIFY(record->interceptVolumeKeys());
        QCOMPARE(record->volumeStep(), 1.0);
        QCOMPARE(interceptor.volumeStep(), 1.0);
    }

    void launchAtLoginWritesTheAutostartEntryOrSaysWhyNot() {
        Settings s("desk.json");
        s.window.launchAtLogin()->click();
        QVERIFY(std::filesystem::exists(s.ui.autostart.entryPath()));
        s.window.launchAtLogin()->click();
        QVERIFY(!std::filesystem::exists(s.ui.autostart.entryPath()));
        // A file where the folder should be: the choice stays, the reason is said.
        std::filesystem::remove_all(s.dir / "config");
        std::ofstream(s.dir / "config") << "";
        s.window.launchAtLogin()->click();
        QVERIFY(s.window.launchAtLogin()->isChecked());
        QVERIFY(s.model.launchAtLogin());
        const auto lines =
            s.sim.log.linesStartingWith("[SettingsView] Failed to set launch at login: ");
        QCOMPARE(lines.size(), std::size_t(1));
    }

    void theStepPickersShowTheirEntriesWholeInALargeFont() {
        {
            const test::ScopedAppFont large(14);
            Settings s("desk.json");
            s.window.show();
            for (auto* box : {s.window.brightnessStep(), s.window.volumeStep()}) {
                QVERIFY(box);
                for (int i = 0; i < box->count(); ++i) {
                    const int needed = box->fontMetrics().horizontalAdvance(box->itemText(i));
                    QVERIFY2(box->width() > needed, qPrintable(box->itemText(i)));
                }
            }
        }
    }

    void syncNeedsTwoExternalDisplays() {
        Settings one("one.json");
        one.window.tabs()->setCurrentIndex(2);
        // No brightness path follows the links: the tab promises none.
        bool said = false;
        for (auto* label : one.window.findChildren<QLabel*>()) {
            QVERIFY(!label->text().contains(QStringLiteral("will proportionally adjust")));
            said = said || label->text().contains(QStringLiteral("later version"));
        }
        QVERIFY(said);
        QVERIFY(!one.window.linkedSection()->isVisible());
        one.window.syncToggle()->click();
        QVERIFY(one.window.linkedSection()->isVisible());
        QCOMPARE(one.window.linkedText()->text(),
                 QStringLiteral("Connect at least two external displays to use sync."));
        QVERIFY(one.window.linkToggles().empty());
        QVERIFY(one.sync.isEnabled);

        Settings desk("desk.json");
        desk.window.tabs()->setCurrentIndex(2);
        desk.window.syncToggle()->click();
        QCOMPARE(desk.window.linkToggles().size(), std::size_t(2));
        QVERIFY(!desk.window.linkedText()->isVisible());
        // All are linked until one is switched off; the other stays linked.
        QVERIFY(desk.window.linkToggles().front()->isChecked());
        desk.window.linkToggles().front()->click();
        desk.window.refresh();
        QCOMPARE(desk.sync.linkedDisplayIDs.size(), std::size_t(1));
        QVERIFY(!desk.window.linkToggles().front()->isChecked());
        QVERIFY(desk.window.linkToggles().back()->isChecked());
    }

    void escapeKeepsTheCombinationAndDeleteClearsIt() {
        Settings s("desk.json");
        s.window.tabs()->setCurrentIndex(1);
        auto* button = s.window.shortcutButton(ShortcutAction::brightnessUp);
        button->click();
        QCOMPARE(button->text(), QStringLiteral("Press shortcut\u2026"));
        QTest::keyClick(&s.window, Qt::Key_Up, Qt::ControlModifier | Qt::AltModifier);
        QCoreApplication::processEvents();
        const QString recorded = button->text();
        // As a Linux desktop writes it; the log keeps the stored format.
        QCOMPARE(recorded, QStringLiteral("Ctrl+Alt+Up"));
        QVERIFY(!s.sim.log.linesStartingWith("[ShortcutManager] Registered Brightness Up: ⌃⌥↑")
                     .empty());
        QVERIFY(s.window.clearButton(ShortcutAction::brightnessUp)->isVisibleTo(&s.window));

        button->click();
        QTest::keyClick(&s.window, Qt::Key_Escape);
        QCoreApplication::processEvents();
        QCOMPARE(button->text(), recorded);

        // The same combination for another action is taken: refused, and said.
        auto* down = s.window.shortcutButton(ShortcutAction::brightnessDown);
        down->click();
        QTest::keyClick(&s.window, Qt::Key_Up, Qt::ControlModifier | Qt::AltModifier);
        QCoreApplication::processEvents();
        QCOMPARE(down->text(), QStringLiteral("Not set"));
        QVERIFY(s.window.refusal()->isVisibleTo(&s.window));
        QVERIFY(s.window.refusal()->text().startsWith(QStringLiteral("Ctrl+Alt+Up is taken")));

        button->click();
        QVERIFY(!s.window.refusal()->isVisibleTo(&s.window));
        QTest::keyClick(&s.window, Qt::Key_Backspace);
        QCoreApplication::processEvents();
        QCOMPARE(button->text(), QStringLiteral("Not set"));
    }

    void theDesktopsOwnShortcutsGetTheActionsOnlyWhenAsked() {
        {
            Settings s("desk.json");
            QVERIFY(!s.window.desktopShortcutsButton());  // a desktop without them
        }
        FakeDesktopShortcuts desktop;
        Settings s("desk.json", &desktop);
        s.window.tabs()->setCurrentIndex(1);
        auto* add = s.window.desktopShortcutsButton();
        QVERIFY(add);
        QCOMPARE(add->text(), QStringLiteral("Add to GNOME's keyboard shortcuts"));
        QVERIFY(desktop.entries.empty());  // nothing before the user asks
        add->click();
        QCOMPARE(desktop.entries.size(), std::size_t(6));
        QCOMPARE(desktop.entries[0].action, std::string("brightness-up"));
        QCOMPARE(desktop.entries[5].name, std::string("Orvane: Volume Down"));
        QCOMPARE(desktop.entries[0].keyCode, 0u);  // unbound: the user binds it there
        QCOMPARE(add->text(), QStringLiteral("Remove from GNOME's keyboard shortcuts"));
        // A combination recorded here goes there too.
        s.window.shortcutButton(ShortcutAction::brightnessUp)->click();
        QTest::keyClick(&s.window, Qt::Key_Up, Qt::ControlModifier | Qt::AltModifier);
        QCoreApplication::processEvents();
        s.window.refresh();
        QCOMPARE(desktop.entries[0].keyCode, 126u);
        QCOMPARE(desktop.entries[0].modifiers, unsigned(input::kControlKey | input::kOptionKey));
        // Taken out: none of Orvane's stay; a desktop that refuses says why.
        add->click();
        QVERIFY(desktop.entries.empty());
        desktop.fails = true;
        add->click();
        QCOMPARE(add->text(), QStringLiteral("Add to GNOME's keyboard shortcuts"));
        QVERIFY(s.window.desktopShortcutsStatus()->isVisibleTo(&s.window));
        QCOMPARE(s.window.desktopShortcutsStatus()->text(),
                 QStringLiteral("the settings are read-only"));
        QVERIFY(!s.sim.log
                     .linesStartingWith("[SettingsView] Could not change GNOME's keyboard "
                                        "shortcuts: the settings are read-only")
                     .empty());
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
