// SPDX-License-Identifier: MIT
// The dimming overlay and the on-screen panel as real X11 windows, under an
// Xvfb with two screens (xvfb-run.sh starts it): on the display's screen,
// the panel stacked above the overlay, and no overlay without a compositor;
// and the same windows as surfaces of a compositor's layer shell: recorded,
// and on a real sway (with-sway.sh, Qt on Wayland) as a screenshot shows them.

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
#include "platform/linux/WlrLayerShell.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRig.h"
#include "runtime/ManualExecutor.h"
#include "support/Grim.h"

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

/// A layer shell that keeps what each surface was last given.
struct RecordingLayerShell final : platform::LayerShell {
    struct Surface {
        platform::WindowRole role;
        std::string output;
        QRect place;
        QImage last;
        int presents = 0;
    };
    struct Handle final : platform::LayerSurface {
        RecordingLayerShell& shell;
        std::shared_ptr<Surface> surface;
        Handle(RecordingLayerShell& s, std::shared_ptr<Surface> f) : shell(s), surface(f) {}
        ~Handle() override { std::erase(shell.live, surface); }
        bool present(const std::uint32_t* pixels, int width, int height, int) override {
            surface->last = QImage(reinterpret_cast<const uchar*>(pixels), width, height,
                                   QImage::Format_ARGB32_Premultiplied)
                                .copy();
            ++surface->presents;
            return true;
        }
    };
    std::unique_ptr<platform::LayerSurface> makeSurface(platform::WindowRole role,
                                                        const std::string& output, int x, int y,
                                                        int width, int height,
                                                        std::string& error) override {
        if (refuse) {
            error = "no output " + output;
            return nullptr;
        }
        live.push_back(
            std::make_shared<Surface>(Surface{role, output, QRect(x, y, width, height), {}, 0}));
        return std::make_unique<Handle>(*this, live.back());
    }
    std::shared_ptr<Surface> of(platform::WindowRole role) const {
        for (const auto& s : live)
            if (s->role == role) return s;
        return nullptr;
    }
    std::vector<std::shared_ptr<Surface>> live;
    bool refuse = false;
};

}  // namespace

class WindowPlacementTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() {
        const auto platform = QGuiApplication::platformName();
        if (platform != QLatin1String("xcb") && platform != QLatin1String("wayland"))
            QSKIP("needs an X server or sway (run through xvfb-run.sh or with-sway.sh)");
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
        QCOMPARE(log.countStartingWith("[Gui] Dimming overlays unavailable"), std::size_t(1));
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
        QCOMPARE(log.countStartingWith("[Gui]"), std::size_t(0));
    }

    void onALayerShellTheWindowsAreItsSurfacesAndTheOverlayLeavesThePanelClear() {
        runtime::CapturingLogger log;
        gui::QtWindowToolkit toolkit(log, byScreenOrder);
        RecordingLayerShell shell;
        toolkit.setLayerShell(&shell);
        QVERIFY(!toolkit.overlaysUnavailable() && !toolkit.panelsUnavailable());
        QScreen* right = QGuiApplication::screens().at(1);
        platform::sim::SimMachine machine(platform::sim::SimRig{}, clock_);
        controls::SoftwareDimmer dimmer(kRight, machine.platform().windowServer, toolkit, log,
                                        machine.platform().texts);
        gui::QtRunLoop loop;
        auto panel = std::make_shared<input::CustomOSDView>(kRight, toolkit, loop);

        dimmer.applyLevel(0.6);
        auto overlay = shell.of(platform::WindowRole::dimmingOverlay);
        const auto dimmedAt = [&](auto x, auto y, int alpha) {
            return std::abs(qAlpha(overlay->last.pixel(x, y)) - alpha) <= 1;
        };
        QVERIFY(overlay);
        QCOMPARE(overlay->output, right->name().toStdString());
        QCOMPARE(overlay->place, QRect(QPoint(0, 0), right->size()));
        QCOMPARE(overlay->last.size(), right->size());
        QVERIFY(dimmedAt(5, 5, 153));  // black at 60 %
        QVERIFY(dimmer.overlayWindow()->isVisible());
        QVERIFY2(toolkit.stack().empty(), "no window of Qt's");

        panel->show("sun.max.fill", "Brightness", 0.4);
        const auto osd = shell.of(platform::WindowRole::panel);
        QVERIFY(osd);
        const QRect place = osd->place;
        QCOMPARE(place.x() + place.width() / 2, right->size().width() / 2);
        QCOMPARE(right->size().height() - 1 - place.bottom(), 80);
        // The panel fades in; the overlay is clear where it is, and only there.
        QVERIFY(QTest::qWaitFor([&] { return qAlpha(osd->last.pixel(place.width() / 2, 2)) > 0; }));
        QCOMPARE(qAlpha(overlay->last.pixel(place.center())), 0);
        QVERIFY(dimmedAt(place.left() - 2, place.center().y(), 153));
        dimmer.applyLevel(0.8);
        QCOMPARE(qAlpha(overlay->last.pixel(place.center())), 0);
        QVERIFY(dimmedAt(5, 5, 204));

        // Shown again while still up, the panel keeps its surface.
        const auto presents = overlay->presents;
        panel->show("sun.max.fill", "Brightness", 0.5);
        QCOMPARE(shell.of(platform::WindowRole::panel), osd);
        QCOMPARE(overlay->presents, presents);
        // Faded out and gone: its surface with it, and the overlay closes its gap.
        QVERIFY(QTest::qWaitFor([&] { return !shell.of(platform::WindowRole::panel); }, 5000));
        QVERIFY(dimmedAt(place.center().x(), place.center().y(), 204));
        dimmer.applyLevel(0);
        QVERIFY(shell.live.empty());

        // A surface the compositor refuses shows nothing, is said once, and
        // is no dimming: gamma, where the display has a ramp, or a failure.
        shell.refuse = true;
        QCOMPARE(dimmer.applyLevel(0.5), false);
        QCOMPARE(dimmer.applyLevel(0.4), false);
        QVERIFY(shell.live.empty());
        QCOMPARE(log.countStartingWith("[SoftwareDimmer] Display 20 cannot be dimmed by an "
                                       "overlay: its window was not shown"),
                 std::size_t(1));
        QCOMPARE(log.countStartingWith("[Gui] The compositor refused a layer surface: no output "),
                 std::size_t(1));
    }

    void onSwayTheOverlayDimsItsOutputAndThePanelShowsAboveIt() {
        if (QGuiApplication::platformName() != QLatin1String("wayland"))
            QSKIP("needs Qt on sway (run through with-sway.sh)");
        if (!test::haveGrim()) QSKIP("grim is not installed (scripts/setup.sh installs it)");
        std::string error;
        auto shell = platform::linux_::WlrLayerShell::open(error);
        QVERIFY2(shell, error.c_str());
        runtime::CapturingLogger log;
        gui::QtWindowToolkit toolkit(log, byScreenOrder);
        toolkit.setLayerShell(shell.get());
        QScreen* right = QGuiApplication::screens().at(1);
        const auto output = right->name().toStdString();
        const QSize size = right->size();
        // A spot in the panel's plate, and one beside it.
        const QPoint inPanel(size.width() / 2, size.height() - 80 - 20);
        const QPoint beside(100, 100);
        const auto at = [&](QPoint p) { return test::pixel(output, p.x(), p.y()); };
        const auto before = at(beside);
        QVERIFY(before && at(inPanel) == before);
        const auto leftOutput = QGuiApplication::screens().at(0)->name().toStdString();
        const auto left = test::pixel(leftOutput, 100, 100);

        platform::sim::SimMachine machine(platform::sim::SimRig{}, clock_);
        controls::SoftwareDimmer dimmer(kRight, machine.platform().windowServer, toolkit, log,
                                        machine.platform().texts);
        dimmer.applyLevel(0.5);
        const auto dimmed = test::changedFrom(output, beside.x(), beside.y(), *before);
        QVERIFY(dimmed);
        for (int c = 0; c < 3; ++c)
            QVERIFY(std::abs((*dimmed)[c] - (*before)[c] / 2) <= 2);
        QCOMPARE(at(inPanel), dimmed);
        QCOMPARE(test::pixel(leftOutput, 100, 100), left);  // the other output stays as it was

        gui::QtRunLoop loop;
        auto panel = std::make_shared<input::CustomOSDView>(kRight, toolkit, loop);
        panel->show("sun.max.fill", "Brightness", 0.4);
        // Its plate darkens what it covers, which the overlay leaves undimmed
        // (the clear place shows first, the plate fades in).
        std::optional<test::Rgb> plate;
        QVERIFY(QTest::qWaitFor([&] {
            plate = at(inPanel);
            return plate && plate != dimmed && plate != before;
        }));
        QVERIFY((*plate)[0] < (*before)[0]);
        QCOMPARE(at(beside), dimmed);
        dimmer.applyLevel(0);
        QVERIFY(QTest::qWaitFor([&] { return at(beside) == before; }));
    }

  private:
    runtime::ManualExecutor clock_;
};

QTEST_MAIN(WindowPlacementTest)
#include "WindowPlacementTest.moc"
