// SPDX-License-Identifier: MIT
// Renders the popover, the on-screen panel and a dimming overlay to PNG on
// the simulated machine, for docs/screenshots/. Run offscreen:
//   QT_QPA_PLATFORM=offscreen orvane_screenshots OUT_DIR

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QStyleFactory>
#include <cstdio>
#include <filesystem>

#include <QMessageBox>
#include <QTabWidget>

#include "controls/BrightnessSyncManager.h"
#include "gui/FakeDesktopShortcuts.h"
#include "gui/GuiScenes.h"
#include "gui/qt/OnboardingWindow.h"
#include "gui/qt/PopoverWindow.h"
#include "gui/qt/QtWindow.h"
#include "gui/qt/QtWindowToolkit.h"
#include "gui/qt/SettingsWindow.h"
#include "gui/qt/SymbolIcon.h"
#include "gui/qt/UpdateController.h"
#include "gui/viewmodel/PopoverModel.h"
#include "gui/viewmodel/SettingsModel.h"
#include "input/OSDContentView.h"
#include "platform/posix/XdgAutostart.h"
#include "platform/sim/SimRig.h"
#include "settings/SettingsBindingsStore.h"

using namespace orvane;

namespace {

QImage render(QWidget& widget, qreal scale) {
    widget.show();
    QApplication::processEvents();
    if (dynamic_cast<gui::OnboardingWindow*>(&widget)) {
        // Its size is fixed.
    } else if (auto* popover = dynamic_cast<gui::PopoverWindow*>(&widget))
        popover->fitContent();
    else
        widget.adjustSize();
    QApplication::processEvents();
    QImage image(widget.size() * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    widget.render(&image);
    return image;
}

bool save(const QImage& image, const QString& path) {
    if (image.save(path)) {
        std::printf("wrote %s (%dx%d)\n", qPrintable(path), image.width(), image.height());
        return true;
    }
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

/// The application on rig, launched, with its popover as the application has it.
struct Scene : test::PopoverScene {
    Scene(const std::string& rig, const std::string& name,
          platform::DesktopShortcuts* desktop = nullptr)
        : PopoverScene(rig, "screenshots-" + name, desktop) {
        window->onOpenSettings = [] {};  // as in the application: the gear opens settings
        window->refresh();
    }
};

/// The settings window over a scene's application.
struct SettingsScene : test::SettingsScene {
    explicit SettingsScene(Scene& s) : test::SettingsScene(s.sim, s.dir, QStringLiteral("1")) {
        window.show();
    }
};

QPalette darkPalette() {
    QPalette p;
    const QColor window(0x2a, 0x2e, 0x32), base(0x1b, 0x1e, 0x20), text(0xfc, 0xfc, 0xfc);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x31, 0x36, 0x3b));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, QColor(0x3d, 0xae, 0xe9));
    p.setColor(QPalette::HighlightedText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0xa1, 0xa9, 0xb1));
    p.setColor(QPalette::Mid, QColor(0x40, 0x46, 0x4c));
    p.setColor(QPalette::Midlight, QColor(0x3a, 0x40, 0x45));
    p.setColor(QPalette::Light, QColor(0x4d, 0x53, 0x59));
    p.setColor(QPalette::Dark, QColor(0x18, 0x1a, 0x1c));
    return p;
}

/// A desktop of the given size: a calm gradient and a window, so dimming shows.
QImage desktop(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    QLinearGradient sky(0, 0, size.width(), size.height());
    sky.setColorAt(0, QColor(0x3d, 0x7e, 0xc9));
    sky.setColorAt(1, QColor(0x9b, 0x59, 0xb6));
    p.fillRect(image.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(250, 250, 250));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRect(60, 50, size.width() - 120, size.height() - 190), 8, 8);
    p.setBrush(QColor(0xe0, 0xe0, 0xe0));
    p.drawRoundedRect(QRect(60, 50, size.width() - 120, 28), 8, 8);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("TZ", "UTC", 1);  // the times the pictures show
    tzset();
    QApplication qt(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    gui::SymbolIcon::setUseTheme(false);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    bool ok = true;
    const QPalette light = QApplication::palette();

    {
        Scene s("empty.json", "empty");
        ok &= save(render(*s.window, 1), out + "/popover-no-displays.png");
    }
    {
        Scene s("one.json", "one");
        ok &= save(render(*s.window, 1), out + "/popover-one-display.png");
    }
    {
        Scene s("desk.json", "desk");
        // A software-dimmed display, a saved default preset, the info panel open.
        for (auto* card : s.window->cards()) {
            if (card->model().displayID() == 3) card->brightness()->slider()->setValue(60);
        }
        s.model->newPresetName = "Evening";
        s.model->submitSave();
        s.model->setDefaultPreset("Evening");
        // On a schedule, seen at a fixed 18:00 UTC (the pictures are rendered in UTC).
        auto& presets = *s.sim.app->presetManager();
        presets.setLocation(schedule::Location{51.5074, -0.1278});
        presets.setSchedule(*presets.preset("Evening"),
                            schedule::PresetSchedule::parse("sunset-30"));
        s.model->wallNow = [] { return 1718906400.0; };  // 2024-06-20 18:00 UTC
        s.sim.executor().runUntilIdle();
        s.window->refresh();
        ok &= save(render(*s.window, 1), out + "/popover-three-displays.png");
        for (auto* card : s.window->cards()) {
            if (card->model().displayID() == 2) card->infoButton()->click();
        }
        ok &= save(render(*s.window, 1), out + "/popover-info-panel.png");
        ok &= save(render(*s.window, 2), out + "/popover-info-panel@2x.png");
    }
    {
        // The monitor's other features, read from its capabilities.
        Scene s("desk.json", "more");
        for (auto* card : s.window->cards()) {
            if (card->model().displayID() == 2) card->moreButton()->click();
        }
        s.sim.executor().runUntilIdle();
        s.window->refresh();
        ok &= save(render(*s.window, 1), out + "/popover-more-panel.png");
    }
    {
        // A display without DDC that cannot be dimmed here either (its gamma
        // refused): the brightness row says there is nothing to move.
        Scene s("desk.json", "undimmable");
        for (auto& [id, record] : s.sim.app->registry().records()) {
            if (record.dimmer) record.dimmer->method = controls::SoftwareDimmer::Method::gamma;
        }
        s.sim.machine.failWindowServer(platform::sim::SimWindowServerCall::setTransfer,
                                       platform::sim::kCGErrorFailure);
        for (auto* card : s.window->cards()) {
            if (card->model().displayID() == 3) card->brightness()->slider()->setValue(40);
        }
        s.sim.executor().runUntilIdle();
        s.window->refresh();
        ok &= save(render(*s.window, 1), out + "/popover-dimming-unavailable.png");
    }
    {
        QApplication::setPalette(darkPalette());
        Scene s("desk.json", "dark");
        ok &= save(render(*s.window, 1), out + "/popover-dark.png");
        QApplication::setPalette(light);
    }
    {
        // The on-screen panel as the toolkit draws it, on a desktop.
        runtime::CapturingLogger log;
        gui::QtWindowToolkit toolkit(log);
        auto window = toolkit.makeWindow(platform::WindowRole::panel, {0, 0, 200, 70}, {});
        auto* panel = static_cast<gui::QtWindow*>(window.get());
        panel->setBackgroundColor({0, 0, 0, 0});
        panel->setOpaque(false);
        panel->setContentView(
            std::make_shared<input::OSDContentView>(0.625, "sun.max.fill", "Brightness"));
        QImage scene = desktop(QSize(640, 400));
        QPainter p(&scene);
        // Half of the screen under a 40 % overlay, the panel above it.
        p.fillRect(QRect(320, 0, 320, 400), QColor::fromRgbF(0, 0, 0, 0.4f));
        const QImage plate = render(*panel, 1);
        p.drawImage(QPoint((640 - 200) / 2, 400 - 80 - 70), plate);
        p.end();
        ok &= save(scene, out + "/osd-panel-over-overlay.png");
        panel->setContentView(
            std::make_shared<input::OSDContentView>(0, "speaker.slash.fill", "Volume"));
        QImage volume = desktop(QSize(320, 200));
        QPainter v(&volume);
        v.drawImage(QPoint(60, 200 - 80), render(*panel, 1));
        v.end();
        ok &= save(volume, out + "/osd-panel-muted.png");
    }
    {
        // The settings window, tab by tab, on the desk with two externals.
        Scene s("desk.json", "settings");
        SettingsScene settings(s);
        auto& model = settings.model;
        auto& window = settings.window;
        // A recorded shortcut and one being recorded, sync on.
        model.startRecording(input::ShortcutAction::brightnessUp);
        model.recorder().handleKeyDown({126, 0x40000 | 0x80000});
        model.startRecording(input::ShortcutAction::volumeUp);
        model.setSyncEnabled(true);
        // Two presets, one at a time of day and one at sunset, for Oslo.
        auto& presets = *s.sim.app->presetManager();
        presets.savePreset("Day");
        presets.savePreset("Evening");
        model.setLocation(schedule::Location{59.9139, 10.7522});
        model.setSchedule("Day", schedule::PresetSchedule::parse("07:30"));
        model.setSchedule("Evening", schedule::PresetSchedule::parse("sunset-30"));
        window.refresh();
        const char* names[] = {"settings-general", "settings-keyboard", "settings-sync",
                               "settings-schedule", "settings-about"};
        for (int i = 0; i < 5; ++i) {
            window.tabs()->setCurrentIndex(i);
            model.startRecording(input::ShortcutAction::volumeUp);
            window.refresh();
            ok &= save(render(window, 1), out + "/" + names[i] + ".png");
        }
        window.tabs()->setCurrentIndex(1);
        model.startRecording(input::ShortcutAction::volumeUp);
        window.refresh();
        ok &= save(render(window, 2), out + "/settings-keyboard@2x.png");
        model.stopRecording();
    }
    {
        // On GNOME: the six actions added to its own keyboard shortcuts.
        test::FakeDesktopShortcuts gnome;
        Scene s("desk.json", "settings-gnome", &gnome);
        SettingsScene settings(s);
        auto& model = settings.model;
        auto& window = settings.window;
        model.startRecording(input::ShortcutAction::brightnessUp);
        model.recorder().handleKeyDown({126, 0x40000 | 0x80000});
        model.setDesktopShortcutsAdded(true);
        window.tabs()->setCurrentIndex(1);
        window.refresh();
        ok &= save(render(window, 1), out + "/settings-keyboard-gnome.png");

        // The update check's three answers.
        QMessageBox upToDate(QMessageBox::Information, QStringLiteral("You're up to date!"),
                             QStringLiteral("You're up to date!"), QMessageBox::Ok);
        upToDate.setInformativeText(QStringLiteral("Orvane 0.6.0 is the latest version."));
        ok &= save(render(upToDate, 1), out + "/update-up-to-date.png");
        QMessageBox available(QMessageBox::Information,
                              QStringLiteral("A new version of Orvane is available"),
                              QStringLiteral("A new version of Orvane is available"));
        available.setInformativeText(
            QStringLiteral("Orvane 0.7.0 is out (you have 0.6.0). Open its download page?"));
        available.addButton(QStringLiteral("Download"), QMessageBox::AcceptRole);
        available.addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
        ok &= save(render(available, 1), out + "/update-available.png");
        QMessageBox failed(QMessageBox::Warning, QStringLiteral("Could not check for updates"),
                           QStringLiteral("Could not check for updates"), QMessageBox::Ok);
        failed.setInformativeText(
            QStringLiteral("The check failed: the server did not answer within 15 s."));
        ok &= save(render(failed, 1), out + "/update-failed.png");
    }
    {
        gui::OnboardingWindow onboarding;
        onboarding.revealAll();
        ok &= save(render(onboarding, 1), out + "/onboarding-welcome.png");
        onboarding.startButton()->click();
        onboarding.revealAll();
        ok &= save(render(onboarding, 1), out + "/onboarding-all-set.png");
    }
    return ok ? 0 : 1;
}
