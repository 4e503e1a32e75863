// SPDX-License-Identifier: MIT
// The dimming overlay and the on-screen panel as real X11 windows, under an
// Xvfb with two screens (xvfb-run.sh starts it): on the display's screen,
// the panel stacked above the overlay, and no overlay without a compositor.

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QScreen>
#include <QtTest>
#include <algorithm>

#include "controls/SoftwareDimmer.h"
#include "gui/qt/QtRunLoop.h"
#include "gui/qt/QtWindow.h"
#include "gui/qt/QtWindowToolkit.h"
#include "input/CustomOSDView.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRig.h"
#include "runtime/ManualExecutor.h"

using namespace orvane;

namespace {

constexpr DisplayID kLeft = 10, kRight = 20;

/// Display 10 on the first screen, 20 on the second.
std::optional<DisplayID> byScreenOrder(const QScreen& screen) {
    const auto all = QGuiApplication::screens();
    const auto i = all.indexOf(const_cast<QScreen*>(&screen));
    if (i < 0 || i > 1) return std::nullopt;
    return i == 0 ? kLeft : kRight;
}

/// The root's children, bottom to top, as the X server stacks them.
std::vector<xcb_window_t> stackingOrder(QScreen* screen) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    auto* c = x11->connection();
    const int index = int(QGuiApplication::screens().indexOf(screen));
    auto it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < index; ++i)
        xcb_screen_next(&it);
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&free)> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, it.data->root), nullptr), &free);
    if (!tree) return {};
    auto* children = xcb_query_tree_children(tree.get());
    return {children, children + xcb_query_tree_children_length(tree.get())};
}

}  // namespace

class WindowPlacementTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server (run through xvfb-run.sh)");
        QCOMPARE(QGuiApplication::screens().size(), 2);
    }

    void withoutCompositorNoOverlayIsShownAndThatIsSaidOnce() {
        runtime::CapturingLogger log;
        gui::QtWindowToolkit toolkit(log, byScreenOrder);
        QVERIFY(toolkit.overlaysUnavailable().has_value());
        QVERIFY(!toolkit.panelsUnavailable().has_value());
        platform::sim::SimMachine machine(platform::sim::SimRig{}, clock_);
        controls::SoftwareDimmer dimmer(kRight, machine.platform().windowServer, toolkit, log,
                                        machine.platform().texts);
        dimmer.applyLevel(0.7);
        dimmer.applyLevel(0.5);
        QVERIFY(toolkit.stack().empty());
        QCOMPARE(log.linesStartingWith("[Gui] Dimming overlays unavailable").size(),
                 std::size_t(1));
    }

    void overlayAndPanelAppearOnTheirScreenWithThePanelOnTop() {
        runtime::CapturingLogger log;
        // The compositor started just before may take a moment to claim its selection.
        std::unique_ptr<gui::QtWindowToolkit> toolkit;
        QVERIFY(QTest::qWaitFor([&] {
            toolkit = std::make_unique<gui::QtWindowToolkit>(log, byScreenOrder);
            return !toolkit->overlaysUnavailable();
        }));
        QScreen* right = QGuiApplication::screens().at(1);
        platform::sim::SimMachine machine(platform::sim::SimRig{}, clock_);
        controls::SoftwareDimmer dimmer(kRight, machine.platform().windowServer, *toolkit, log,
                                        machine.platform().texts);
        gui::QtRunLoop loop;
        auto panel = std::make_shared<input::CustomOSDView>(kRight, *toolkit, loop);

        dimmer.applyLevel(0.6);
        panel->show("sun.max.fill", "Brightness", 0.4);
        dimmer.applyLevel(0.8);  // raising the overlay again must not bury the panel
        QCoreApplication::processEvents();

        const auto stack = toolkit->stack();
        QCOMPARE(stack.size(), std::size_t(2));
        const auto* overlay = static_cast<const gui::QtWindow*>(dimmer.overlayWindow());
        const auto* osd = stack.back();
        QCOMPARE(stack.front(), overlay);
        QVERIFY(QTest::qWaitForWindowExposed(overlay->windowHandle()));
        QVERIFY(QTest::qWaitForWindowExposed(osd->windowHandle()));
        QCOMPARE(overlay->windowHandle()->screen(), right);
        QCOMPARE(osd->windowHandle()->screen(), right);
        QCOMPARE(overlay->geometry(), right->geometry());
        QCOMPARE(overlay->windowOpacity(), 0.8);
        // Centred, 80 above the bottom of its screen.
        const QRect g = osd->geometry();
        QCOMPARE(g.center().x(), right->geometry().center().x());
        QCOMPARE(right->geometry().bottom() - g.bottom(), 80);
        QVERIFY(overlay->windowHandle()->flags() & Qt::WindowTransparentForInput);

        const auto order = stackingOrder(right);
        const auto at = [&](const QWidget* w) {
            return std::find(order.begin(), order.end(), xcb_window_t(w->winId())) - order.begin();
        };
        QVERIFY(at(overlay) < std::ptrdiff_t(order.size()));
        QVERIFY(at(osd) < std::ptrdiff_t(order.size()));
        QVERIFY2(at(osd) > at(overlay), "the panel is stacked above the overlay");

        dimmer.applyLevel(0);
        QCOMPARE(dimmer.overlayWindow(), nullptr);
        QCOMPARE(log.linesStartingWith("[Gui]").size(), std::size_t(0));
    }

  private:
    runtime::ManualExecutor clock_;
};

QTEST_MAIN(WindowPlacementTest)
#include "WindowPlacementTest.moc"
