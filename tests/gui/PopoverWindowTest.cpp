// SPDX-License-Identifier: MIT
// The popover's widgets offscreen, on the whole application over a simulated
// machine and a virtual clock.

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QtTest>
#include <filesystem>

#include <QApplication>
#include <QMessageBox>
#include <QToolButton>
#include "gui/qt/PopoverWindow.h"
#include "gui/qt/SymbolIcon.h"

#include "gui/GuiScenes.h"
#include "gui/ScopedAppFont.h"
#include "gui/qt/ElidedLabel.h"
#include "gui/qt/TrayController.h"
#include "gui/viewmodel/PopoverModel.h"
#include "platform/sim/SimRig.h"

using namespace orvane;
using namespace std::chrono_literals;

namespace {

/// The application on one of the GUI rigs, its popover shown.
struct Popover : test::PopoverScene {
    explicit Popover(const std::string& rig) : PopoverScene(rig, "popover-" + rig) {
        window->show();
    }
};

}  // namespace

class PopoverWindowTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { gui::SymbolIcon::setUseTheme(false); }

    void everySymbolHasADrawingThatRenders() {
        const auto symbols = gui::SymbolIcon::symbols();
        QCOMPARE(symbols.size(), std::size_t(36));
        for (const auto& symbol : symbols) {
            QVERIFY2(gui::SymbolIcon::isBundled(symbol), symbol.c_str());
            const QImage image =
                gui::SymbolIcon::icon(symbol, Qt::black).pixmap(QSize(16, 16)).toImage();
            int inked = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    inked += qAlpha(image.pixel(x, y)) > 0;
            QVERIFY2(inked > 8, symbol.c_str());  // an SVG Qt refuses draws nothing
        }
    }

    void eachCardHasTheRowsItsDisplayCanUse() {
        Popover p("desk.json");
        QCOMPARE(p.window->countLine()->text(), QStringLiteral("3 displays"));
        auto* ddc = p.card(2);
        auto* dimmed = p.card(3);
        auto* panel = p.card(1);
        QVERIFY(ddc && dimmed && panel);
        QVERIFY(ddc->contrast()->isVisible() && ddc->volume()->isVisible());
        QVERIFY(ddc->inputMenu()->isVisible() && ddc->powerButton()->isVisible());
        QVERIFY(ddc->resolutionMenu()->isVisible() && !ddc->note()->isVisible());
        QCOMPARE(ddc->resolutionMenu()->menu()->actions().size(), 3);
        QVERIFY(!dimmed->contrast()->isVisible() && !dimmed->powerButton()->isVisible());
        QVERIFY(dimmed->infoButton()->isVisible() && dimmed->note()->isVisible());
        QVERIFY(!panel->resolutionMenu()->isVisible() && !panel->infoButton()->isVisible());
        QCOMPARE(ddc->brightness()->valueText(), QStringLiteral("70%"));
        QCOMPARE(ddc->brightness()->iconSymbol(), QStringLiteral("sun.max.fill"));

        // The header folds the card (at once here); "Info" opens the panel.
        ddc->foldMilliseconds = 0;
        QVERIFY(!ddc->infoPanel()->isVisible());
        QTest::mouseClick(ddc->infoButton(), Qt::LeftButton);
        QVERIFY(ddc->infoPanel()->isVisible());
        QTest::mouseClick(ddc->header(), Qt::LeftButton);
        QVERIFY(!ddc->brightness()->isVisible());
        QTest::mouseClick(ddc->header(), Qt::LeftButton);
        QVERIFY(ddc->brightness()->isVisible());
    }

    void aSliderBurstGivesOneWriteWithTheLastValue() {
        Popover p("desk.json");
        auto* slider = p.card(2)->brightness()->slider();
        slider->setFocus();
        for (int i = 0; i < 10; ++i) {
            QTest::keyClick(slider, Qt::Key_Left);
            p.sim.executor().runFor(10ms);
        }
        QCOMPARE(slider->value(), 60);
        QCOMPARE(p.card(2)->brightness()->valueText(), QStringLiteral("60%"));
        QVERIFY(p.writes(2, 0x10).empty());
        p.sim.executor().runUntilIdle();
        QCOMPARE(p.writes(2, 0x10), std::vector<int>{60});
        QCOMPARE(p.card(2)->brightness()->iconSymbol(), QStringLiteral("sun.min.fill"));
        // Each control waits on its own: both of a pair moved together arrive.
        slider->setValue(80);
        p.card(2)->contrast()->slider()->setValue(30);
        p.sim.executor().runUntilIdle();
        QCOMPARE(p.writes(2, 0x10).back(), 80);
        QCOMPARE(p.writes(2, 0x12), std::vector<int>{30});
    }

    void theInputSwitchWaitsForConfirmation() {
        Popover p("desk.json");
        auto* card = p.card(2);
        QString title, message;
        bool answer = false;
        card->confirm = [&](const QString& t, const QString& m) {
            title = t;
            message = m;
            return answer;
        };
        card->chooseInput(2);  // DVI-1
        p.sim.executor().runUntilIdle();
        QCOMPARE(title, QStringLiteral("Switch Input?"));
        QVERIFY(message.startsWith(QStringLiteral("Switch to DVI-1? ")));
        QVERIFY(p.writes(2, 0x60).empty());
        answer = true;
        card->chooseInput(2);
        p.sim.executor().runUntilIdle();
        QCOMPARE(p.writes(2, 0x60), std::vector<int>{0x03});

        // A hot-plug while the question is open replaces every card; the
        // answer still reaches the monitor, and nothing touches the old card.
        card->confirm = [&](const QString&, const QString&) {
            p.sim.machine.disconnectDisplay(3);
            p.sim.executor().runUntilIdle();
            return true;
        };
        card->chooseInput(3);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        p.sim.executor().runUntilIdle();
        QCOMPARE(p.writes(2, 0x60), (std::vector<int>{0x03, 0x04}));
        QCOMPARE(p.window->cards().size(), std::size_t(2));
    }

    void everyIconHasTheContrastOfTheTextInLightAndDarkThemes() {
        // Where a desktop session's platform theme finds them; offscreen has none.
        QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() << QStringLiteral("/usr/share/icons"));
        QIcon::setThemeName(QStringLiteral("Adwaita"));
        if (!QIcon::hasThemeIcon(QStringLiteral("emblem-system-symbolic")))
            QSKIP("no Adwaita icon theme here (package adwaita-icon-theme)");
        gui::SymbolIcon::setUseTheme(true);
        const auto luminance = [](QColor c) {
            const auto channel = [](double v) {
                return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
            };
            return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
                   0.0722 * channel(c.blueF());
        };
        const auto contrast = [&](QColor a, QColor b) {
            const double x = luminance(a), y = luminance(b);
            return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
        };
        // The colour an icon's ink has: the mean of its opaque pixels.
        const auto ink = [](const QIcon& icon) {
            const QImage image =
                icon.pixmap(QSize(32, 32)).toImage().convertToFormat(QImage::Format_ARGB32);
            double r = 0, g = 0, b = 0;
            int n = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    if (c.alpha() < 200) continue;
                    r += c.redF(), g += c.greenF(), b += c.blueF(), ++n;
                }
            }
            return n ? QColor::fromRgbF(float(r / n), float(g / n), float(b / n)) : QColor();
        };
        const QPalette saved = QApplication::palette();
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x24, 0x24, 0x24));
        dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
        dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
        QPalette light;
        light.setColor(QPalette::Window, QColor(0xfa, 0xfa, 0xfa));
        light.setColor(QPalette::WindowText, QColor(0x24, 0x24, 0x24));
        for (const auto& palette : {light, dark}) {
            QApplication::setPalette(palette);
            Popover p("desk.json");
            const QColor background = palette.color(QPalette::Window);
            const double text = contrast(palette.color(QPalette::WindowText), background);
            for (auto* button : {p.window->settingsButton(), p.window->quitButton()}) {
                const QColor c = ink(button->icon());
                QVERIFY(c.isValid());
                QVERIFY2(contrast(c, background) > 0.9 * text,
                         qPrintable(QStringLiteral("%1:1 beside text at %2:1")
                                        .arg(contrast(c, background))
                                        .arg(text)));
            }
            QCOMPARE(ink(gui::SymbolIcon::icon("display", gui::TrayController::trayColour())),
                     palette.color(QPalette::WindowText));
        }
        QApplication::setPalette(saved);
        gui::SymbolIcon::setUseTheme(false);
    }

    void aLargeSystemFontFitsEveryLabelAndLongNamesElide() {
        {
            const test::ScopedAppFont large(14);
            Popover p("desk.json");
            p.window->fitTo(QRect(0, 0, 1920, 1080));
            const auto whole = [](QLabel* l) {
                return l->width() >= l->fontMetrics().horizontalAdvance(l->text());
            };
            for (auto* card : p.window->cards()) {
                for (auto* row : {card->brightness(), card->contrast(), card->volume()}) {
                    if (!row->isVisibleTo(card)) continue;
                    QVERIFY2(whole(row->label()), qPrintable(row->label()->text()));
                    row->value()->setText(QStringLiteral("100%"));
                    QVERIFY(whole(row->value()));
                }
            }
        }

        // A long name ends in "…" and says itself whole in its tooltip.
        Popover p("desk.json");
        auto* title = p.window->cards()[1]->title();
        QVERIFY(title);
        const QString name(80, QLatin1Char('W'));
        title->setFullText(name);
        p.window->fitTo(QRect(0, 0, 1920, 1080));
        QVERIFY(title->text().endsWith(QChar(0x2026)));
        QCOMPARE(title->toolTip(), name);
        QVERIFY(title->width() <= gui::PopoverWindow::kWidth);
    }

    void smallThingsAUserMeets() {
        Popover p("desk.json");
        // "Switch Input?" answers Cancel to Enter.
        auto question =
            gui::DisplayCard::switchQuestion(nullptr, QStringLiteral("Switch Input?"), {});
        QVERIFY(question->defaultButton() != question->buttons().front());
        QCOMPARE(question->buttons().front()->text(), QStringLiteral("Switch"));
        // The backlight slider stops above 0: many panels switch off there.
        auto* panel = p.card(1);
        QVERIFY(panel);
        QCOMPARE(panel->brightness()->slider()->minimum(), 1);
        panel->brightness()->slider()->setValue(0);
        QCOMPARE(panel->brightness()->slider()->value(), 1);
        QCOMPARE(p.card(2)->brightness()->slider()->minimum(), 0);  // a monitor may go to 0
        // Esc closes the popover.
        QVERIFY(p.window->isVisible());
        QTest::keyClick(p.window.get(), Qt::Key_Escape);
        QVERIFY(!p.window->isVisible());
    }

    void theLastDDCReadMovesOnWhileTheInfoPanelIsOpen() {
        Popover p("desk.json");
        auto* card = p.card(2);
        QVERIFY(card);
        const auto texts = [&] {
            QStringList all;
            for (auto* l : card->findChildren<QLabel*>())
                if (l->isVisibleTo(card)) all << l->text();
            return all.join(QLatin1Char('|'));
        };
        card->infoButton()->click();
        QVERIFY(card->infoTicker().isActive());
        QVERIFY(!texts().contains(QStringLiteral("3 minutes ago")));
        p.sim.executor().runFor(std::chrono::minutes(3));
        QTRY_VERIFY_WITH_TIMEOUT(texts().contains(QStringLiteral("3 minutes ago")), 3000);
        card->infoButton()->click();
        QVERIFY(!card->infoTicker().isActive());  // no ticking for a closed panel
    }

    void keyboardAndScreenReaderUsersReachEverything() {
        Popover p("desk.json");
        // Tab runs through every card before the footer.
        std::vector<QWidget*> order;
        QWidget* w = p.window->cards().front();
        for (int i = 0; i < 400 && order.size() < 200; ++i) {
            w = w->nextInFocusChain();
            if (w->focusPolicy() & Qt::TabFocus) order.push_back(w);
            if (w == p.window->quitButton()) break;
        }
        const auto at = [&](QWidget* x) {
            return std::find(order.begin(), order.end(), x) - order.begin();
        };
        const auto gear = at(p.window->settingsButton());
        QVERIFY(gear < qsizetype(order.size()));
        for (auto* card : p.window->cards()) {
            QVERIFY(at(card->infoButton()) < gear);
            // Named for a screen reader: the header says which display it is.
            auto* header = card->findChild<QPushButton*>(QStringLiteral("cardHeader"));
            QVERIFY(header && header->accessibleName().startsWith(card->title()->fullText()));
            // One value for eye and ear.
            auto* row = card->brightness();
            QCOMPARE(QString::number(row->slider()->value()) + QLatin1Char('%'), row->valueText());
        }
        QCOMPARE(p.window->settingsButton()->accessibleName(), QStringLiteral("Settings"));
        QVERIFY(!p.window->quitButton()->accessibleName().isEmpty());
    }

    void aHotPlugDoesNotEndASliderDrag() {
        Popover p("desk.json");
        auto* card = p.card(2);
        auto* slider = card->brightness()->slider();
        slider->setSliderDown(true);
        // A display comes or goes meanwhile: the cards wait.
        p.model->onCardsChanged();
        QCOMPARE(p.card(2), card);
        QVERIFY(slider->isSliderDown());
        slider->setSliderDown(false);
        QTRY_VERIFY(p.card(2) != card);
    }
};

QTEST_MAIN(PopoverWindowTest)
#include "PopoverWindowTest.moc"
