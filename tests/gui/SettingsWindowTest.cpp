// SPDX-License-Identifier: MIT
// The settings window, onboarding and the update check, offscreen, on the
// whole application over a simulated machine; the feed comes from a
// loopback HTTP server started here.

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimeEdit>
#include <QToolButton>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include <QLayout>
#include "controls/BrightnessSyncManager.h"

#include "gui/FakeDesktopShortcuts.h"
#include "gui/GuiScenes.h"
#include "gui/ScopedAppFont.h"
#include "gui/qt/AboutPane.h"
#include "gui/qt/OnboardingWindow.h"
#include "gui/qt/QtWindowToolkit.h"
#include "gui/qt/SchedulePane.h"
#include "gui/qt/SettingsWindow.h"
#include "gui/qt/SymbolIcon.h"
#include "gui/qt/UpdateController.h"
#include "gui/viewmodel/SettingsModel.h"
#include "platform/posix/XdgAutostart.h"
#include "platform/sim/SimRig.h"
#include "settings/SettingsBindingsStore.h"

using namespace orvane;
using input::ShortcutAction;

namespace {

/// Answers every request with one canned HTTP response.
class FeedServer : public QTcpServer {
  public:
    QByteArray response;
    FeedServer() {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (auto* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n") || response.isEmpty()) return;
                    socket->write(response);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(serverPort()));
    }
    /// silent: read the request, answer nothing.
    void answer(int status, const QByteArray& body, bool silent = false) {
        if (silent) {
            response.clear();
            return;
        }
        response = "HTTP/1.1 " + QByteArray::number(status) +
                   " X\r\nContent-Type: application/xml\r\nContent-Length: " +
                   QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }
};

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

    void theUpdateCheckDecidesFromTheFeed() {
        FeedServer server;
        gui::UpdateController updates(server.url(), QStringLiteral("Orvane"),
                                      QStringLiteral("0.6.0"));
        std::vector<gui::UpdateController::Alert> alerts;
        updates.present = [&](const gui::UpdateController::Alert& a, QWidget*) {
            alerts.push_back(a);
        };
        const auto item = [](const char* version) {
            return QByteArray("<rss><channel><item id=\"1\"><title>Orvane ") + version +
                   "</title><link>https://orvane.app/download/" + version +
                   "</link></item></channel></rss>";
        };
        struct Case {
            int status;
            QByteArray body;
            QString title, says;
        };
        const QString upToDate = QStringLiteral("You're up to date!");
        const QString failed = QStringLiteral("Could not check for updates");
        const Case cases[] = {
            {200, "<rss><channel><title>Orvane</title></channel></rss>", upToDate,
             "Orvane 0.6.0 is the latest version."},
            {200, item("0.6.0"), upToDate, "Orvane 0.6.0 is the latest version."},
            {200, item("0.5.0"), upToDate, "Orvane 0.6.0 is the latest version."},
            {200, item("0.10.0"), "A new version of Orvane is available", "0.10.0 is out"},
            {200, "", failed, "The check failed: the feed is empty."},
            {404, "<item>", failed, "The check failed: the server answered HTTP 404."},
            {200, "<item><title>Orvane</title></item>", failed, "names no version"},
        };
        for (const auto& c : cases) {
            server.answer(c.status, c.body);
            const auto before = alerts.size();
            updates.checkForUpdates(nullptr);
            QTRY_COMPARE_WITH_TIMEOUT(alerts.size(), before + 1, 5000);
            QCOMPARE(alerts.back().title, c.title);
            QVERIFY2(alerts.back().text.contains(c.says), qPrintable(alerts.back().text));
        }
        QCOMPARE(alerts[3].download, QUrl(QStringLiteral("https://orvane.app/download/0.10.0")));
        QVERIFY(alerts[0].download.isEmpty() && alerts[4].download.isEmpty());

        // A server that never answers: the check fails in time, and says so;
        // meanwhile the button is off.
        Settings s("desk.json");
        gui::AboutPane about(updates, s.sim.app->defaults(), QStringLiteral("0.6.0"),
                             QStringLiteral("7"));
        server.answer(0, {}, true);
        updates.timeoutMs = 300;
        const auto before = alerts.size();
        updates.checkForUpdates(nullptr);
        QVERIFY(!about.checkButton()->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(alerts.size(), before + 1, 5000);
        QCOMPARE(alerts.back().title, failed);
        QVERIFY2(alerts.back().text.contains(QStringLiteral("did not answer within 0.3 s")),
                 qPrintable(alerts.back().text));
        QVERIFY(about.checkButton()->isEnabled());
        updates.timeoutMs = 15000;
        // The automatic check: silent without news, at most once a day.
        const QString stamp = QString::fromStdString(
            (std::filesystem::temp_directory_path() /
             ("orvane-stamp-" + std::to_string(::getpid())) / "last-update-check")
                .string());
        QFile::remove(stamp);
        server.answer(200, "<rss><channel></channel></rss>");
        const auto quietBefore = alerts.size();
        QVERIFY(updates.checkAutomatically(stamp));
        QTRY_VERIFY_WITH_TIMEOUT(updates.canCheckForUpdates(), 5000);
        QCOMPARE(alerts.size(), quietBefore);
        QVERIFY(QFile::exists(stamp));
        QVERIFY2(!updates.checkAutomatically(stamp), "not due again within the day");
        {
            QFile old(stamp);
            QVERIFY(old.open(QIODevice::ReadWrite));
            QVERIFY(old.setFileTime(QDateTime::currentDateTime().addDays(-2),
                                    QFileDevice::FileModificationTime));
        }
        server.answer(200, "<item><title>0.8.0</title><link>https://orvane.app/dl</link></item>");
        QVERIFY(updates.checkAutomatically(stamp));
        QTRY_COMPARE_WITH_TIMEOUT(alerts.size(), quietBefore + 1, 5000);
        QVERIFY(alerts.back().text.contains(QStringLiteral("0.8.0")));
    }

    void onboardingRecordsTheFirstPageAndClosesOnTheLast() {
        gui::OnboardingWindow window;
        int started = 0, finished = 0;
        window.onStarted = [&] { ++started; };
        window.onFinished = [&] { ++finished; };
        window.show();
        QCOMPARE(window.size(), QSize(520, 420));
        QCOMPARE(window.page(), 0);
        window.startButton()->click();
        QCOMPARE(started, 1);
        QCOMPARE(window.page(), 1);
        // Both tiles fade in, and nothing around them fades too: Qt draws no
        // effect inside another, which left a tile blank.
        const auto tiles = window.tiles()->findChildren<QWidget*>(QStringLiteral("tile"));
        QCOMPARE(tiles.size(), qsizetype(2));
        for (auto* t : tiles) {
            QVERIFY(t->graphicsEffect());
            for (auto* up = t->parentWidget(); up; up = up->parentWidget())
                QVERIFY2(!up->graphicsEffect(), qPrintable(up->objectName()));
        }
        // Centred on the page.
        window.layout()->activate();
        const int left = tiles[0]->mapTo(&window, QPoint(0, 0)).x();
        const int right = tiles[1]->mapTo(&window, QPoint(tiles[1]->width(), 0)).x();
        QVERIFY(std::abs((left + right) / 2 - window.width() / 2) <= 2);
        QCOMPARE(finished, 0);
        window.finishButton()->click();
        QCOMPARE(finished, 1);
        QVERIFY(!window.isVisible());
    }

    void theScheduleTabSetsThePlaceAndEachPresetsMoment() {
        Settings s("desk.json");
        s.window.tabs()->setCurrentIndex(3);
        auto* pane = s.window.schedulePane();
        QVERIFY(pane->rows().empty());
        auto& presets = *s.sim.app->presetManager();
        presets.savePreset("Day");
        presets.savePreset("Evening");
        s.window.refresh();
        QCOMPARE(pane->rows().size(), std::size_t(2));
        QCOMPARE(pane->rows()[1].preset, QStringLiteral("Evening"));
        QCOMPARE(pane->rows()[1].event->currentText(), QStringLiteral("Not scheduled"));
        // Sunset without a place is refused, and says what is missing.
        pane->rows()[1].event->setCurrentIndex(3);
        pane->rows()[1].event->activated(3);
        QTRY_VERIFY(pane->error()->isVisible());
        QCOMPARE(pane->error()->text(), QString::fromUtf8(gui::SettingsModel::kNeedsLocation));
        QVERIFY(!presets.preset("Evening")->schedule());
        pane->latitude()->setValue(59.9139);
        pane->longitude()->setValue(10.7522);
        QTest::mouseClick(pane->setLocationButton(), Qt::LeftButton);
        QCOMPARE(presets.location(), (schedule::Location{59.9139, 10.7522}));
        pane->rows()[1].offset->setValue(-30);
        pane->rows()[1].event->setCurrentIndex(3);
        pane->rows()[1].event->activated(3);
        QTRY_COMPARE(presets.preset("Evening")->schedule(),
                     schedule::PresetSchedule::parse("sunset-30"));
        QVERIFY(!pane->error()->isVisible());
        pane->rows()[0].time->setTime(QTime(7, 30));
        pane->rows()[0].event->setCurrentIndex(1);
        pane->rows()[0].event->activated(1);
        QTRY_COMPARE(presets.preset("Day")->schedule(), schedule::PresetSchedule::parse("07:30"));
        // Drawn again, the rows show what is kept.
        QTRY_COMPARE(pane->rows()[0].time->time(), QTime(7, 30));
        QVERIFY(pane->rows()[0].time->isVisibleTo(pane));
        QCOMPARE(pane->rows()[1].offset->value(), -30);
        pane->rows()[0].event->setCurrentIndex(0);
        pane->rows()[0].event->activated(0);
        QTRY_VERIFY(!presets.preset("Day")->schedule());
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
