// SPDX-License-Identifier: MIT
#include "gui/qt/QtWindowToolkit.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <algorithm>
#include <map>

#include "gui/qt/QtWindow.h"

namespace orvane::gui {

namespace {

/// Whether an X11 compositing manager runs: without one a window's opacity
/// is ignored, and a 30 % overlay would black the screen out completely.
bool x11Compositing() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return false;
    auto* c = x11->connection();
    const QByteArray name = "_NET_WM_CM_S0";
    auto cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.data());
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> atom(
        xcb_intern_atom_reply(c, cookie, nullptr), &free);
    if (!atom) return false;
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&free)> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr), &free);
    return owner && owner->owner != XCB_NONE;
}

class KeyMonitor final : public QObject, public platform::EventMonitor {
  public:
    explicit KeyMonitor(
        std::function<std::optional<platform::KeyEvent>(const platform::KeyEvent&)> handler)
        : handler_(std::move(handler)) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~KeyMonitor() override {
        if (auto* app = QCoreApplication::instance()) app->removeEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* target, QEvent* event) override {
        // A key reaches the application once, at its focus widget's window.
        if (event->type() != QEvent::KeyPress || !target->isWidgetType()) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        auto translated = keyEventFromQt(key->key(), key->modifiers());
        if (!translated) return false;
        return !handler_(*translated).has_value();
    }

  private:
    std::function<std::optional<platform::KeyEvent>(const platform::KeyEvent&)> handler_;
};

}  // namespace

QtWindowToolkit::QtWindowToolkit(runtime::Logger& log, ScreenMatcher matcher)
    : log_(log), matcher_(std::move(matcher)) {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("wayland")) {
        // Without layer-shell a Wayland client can neither place a window on
        // a given output nor keep it above the others.
        overlaysUnavailable_ =
            "the Wayland session does not let an application place or stack its windows";
        panelsUnavailable_ = overlaysUnavailable_;
    } else if (platform == QLatin1String("xcb") && !x11Compositing()) {
        overlaysUnavailable_ = "no compositing manager runs, so a window cannot be translucent";
    } else if (platform != QLatin1String("xcb") && platform != QLatin1String("offscreen")) {
        overlaysUnavailable_ = "the " + platform.toStdString() + " platform has no such windows";
        panelsUnavailable_ = overlaysUnavailable_;
    }
}

void QtWindowToolkit::setLayerShell(platform::LayerShell* shell) {
    layerShell_ = shell;
    if (!layerShell_) return;
    overlaysUnavailable_.reset();
    panelsUnavailable_.reset();
}

void QtWindowToolkit::layerRefused(const std::string& error) {
    if (!std::exchange(saidLayerRefused_, true))
        log_.line("[Gui] The compositor refused a layer surface: " + error);
}

std::vector<QRect> QtWindowToolkit::panelPlaces(const QScreen* screen) const {
    std::vector<QRect> places;
    for (auto* w : windows_) {
        if (w->role() == platform::WindowRole::panel && w->isVisible() && w->screen() == screen)
            places.push_back(w->geometry());
    }
    return places;
}

void QtWindowToolkit::panelsMoved(const QScreen* screen) {
    for (auto* w : windows_) {
        if (w->role() == platform::WindowRole::dimmingOverlay && w->isVisible() &&
            w->screen() == screen)
            w->presentLayer();
    }
}

QtWindowToolkit::~QtWindowToolkit() {
    for (auto* w : windows_)
        w->hide();
}

QRect QtWindowToolkit::toQt(const platform::Rect& r) {
    const auto* primary = QGuiApplication::primaryScreen();
    const int bottom = primary ? primary->geometry().y() + primary->geometry().height() : 0;
    const int height = static_cast<int>(r.height);
    return QRect(static_cast<int>(r.x), bottom - static_cast<int>(r.y) - height,
                 static_cast<int>(r.width), height);
}

platform::Rect QtWindowToolkit::toCore(const QRect& r) {
    const auto* primary = QGuiApplication::primaryScreen();
    const int bottom = primary ? primary->geometry().y() + primary->geometry().height() : 0;
    return platform::Rect{double(r.x()), double(bottom - r.y() - r.height()), double(r.width()),
                          double(r.height())};
}

std::vector<platform::Screen> QtWindowToolkit::screens() {
    std::vector<platform::Screen> result;
    for (auto* screen : QGuiApplication::screens()) {
        platform::Screen s;
        if (matcher_) {
            if (auto id = matcher_(*screen)) s.screenNumber = *id;
        }
        s.frame = toCore(screen->geometry());
        s.localizedName = screen->name().toStdString();
        result.push_back(std::move(s));
    }
    return result;
}

std::optional<platform::Screen> QtWindowToolkit::mainScreen() {
    const auto* primary = QGuiApplication::primaryScreen();
    if (!primary) return std::nullopt;
    for (auto& s : screens()) {
        if (s.frame == toCore(primary->geometry())) return s;
    }
    return std::nullopt;
}

QScreen* QtWindowToolkit::qscreenFor(const platform::Screen& screen) const {
    const auto all = QGuiApplication::screens();
    if (screen.screenNumber && matcher_) {
        for (auto* q : all) {
            if (auto id = matcher_(*q); id && DisplayID(*id) == *screen.screenNumber) return q;
        }
    }
    for (auto* q : all) {
        if (toCore(q->geometry()) == screen.frame &&
            q->name().toStdString() == screen.localizedName)
            return q;
    }
    return nullptr;
}

std::unique_ptr<platform::Window> QtWindowToolkit::makeWindow(platform::WindowRole role,
                                                              platform::Rect contentRect,
                                                              const platform::Screen& screen) {
    auto window = std::make_unique<QtWindow>(*this, role, toQt(contentRect));
    // Screens of separate X screens share coordinates: the geometry alone
    // does not say which one a window belongs on.
    if (auto* q = qscreenFor(screen)) window->setScreen(q);
    window->setGeometry(toQt(contentRect));
    windows_.push_back(window.get());
    return window;
}

std::unique_ptr<platform::EventMonitor> QtWindowToolkit::addLocalMonitorForEvents(
    std::uint64_t mask,
    std::function<std::optional<platform::KeyEvent>(const platform::KeyEvent&)> handler) {
    if (!(mask & platform::kKeyDownMask)) return nullptr;
    return std::make_unique<KeyMonitor>(std::move(handler));
}

void QtWindowToolkit::forget(QtWindow* window) {
    std::erase(windows_, window);
}

bool QtWindowToolkit::mayShow(platform::WindowRole role) {
    const bool overlay = role == platform::WindowRole::dimmingOverlay;
    const bool panel = role == platform::WindowRole::panel;
    if (overlay && overlaysUnavailable_) {
        if (!std::exchange(saidOverlays_, true))
            log_.line("[Gui] Dimming overlays unavailable: " + *overlaysUnavailable_);
        return false;
    }
    if (panel && panelsUnavailable_) {
        if (!std::exchange(saidPanels_, true))
            log_.line("[Gui] On-screen panels unavailable: " + *panelsUnavailable_);
        return false;
    }
    return true;
}

void QtWindowToolkit::restack() {
    // Raising in level order leaves the highest level on top: the panel
    // above every overlay.
    std::vector<QtWindow*> visible;
    std::copy_if(windows_.begin(), windows_.end(), std::back_inserter(visible),
                 [](QtWindow* w) { return w->QWidget::isVisible(); });
    std::stable_sort(visible.begin(), visible.end(),
                     [](QtWindow* a, QtWindow* b) { return a->level() < b->level(); });
    for (auto* w : visible)
        w->raise();
}

std::vector<const QtWindow*> QtWindowToolkit::stack() const {
    std::vector<const QtWindow*> visible;
    for (auto* w : windows_) {
        if (w->QWidget::isVisible()) visible.push_back(w);
    }
    std::stable_sort(visible.begin(), visible.end(),
                     [](const QtWindow* a, const QtWindow* b) { return a->level() < b->level(); });
    return visible;
}

std::optional<platform::KeyEvent> keyEventFromQt(int qtKey, Qt::KeyboardModifiers modifiers) {
    // US-layout virtual key codes, the codes the shortcut documents store.
    static const std::map<int, std::uint16_t> codes{
        {Qt::Key_A, 0},        {Qt::Key_S, 1},          {Qt::Key_D, 2},
        {Qt::Key_F, 3},        {Qt::Key_H, 4},          {Qt::Key_G, 5},
        {Qt::Key_Z, 6},        {Qt::Key_X, 7},          {Qt::Key_C, 8},
        {Qt::Key_V, 9},        {Qt::Key_B, 11},         {Qt::Key_Q, 12},
        {Qt::Key_W, 13},       {Qt::Key_E, 14},         {Qt::Key_R, 15},
        {Qt::Key_Y, 16},       {Qt::Key_T, 17},         {Qt::Key_1, 18},
        {Qt::Key_2, 19},       {Qt::Key_3, 20},         {Qt::Key_4, 21},
        {Qt::Key_6, 22},       {Qt::Key_5, 23},         {Qt::Key_Equal, 24},
        {Qt::Key_9, 25},       {Qt::Key_7, 26},         {Qt::Key_Minus, 27},
        {Qt::Key_8, 28},       {Qt::Key_0, 29},         {Qt::Key_BracketRight, 30},
        {Qt::Key_O, 31},       {Qt::Key_U, 32},         {Qt::Key_BracketLeft, 33},
        {Qt::Key_I, 34},       {Qt::Key_P, 35},         {Qt::Key_Return, 36},
        {Qt::Key_L, 37},       {Qt::Key_J, 38},         {Qt::Key_Apostrophe, 39},
        {Qt::Key_K, 40},       {Qt::Key_Semicolon, 41}, {Qt::Key_Backslash, 42},
        {Qt::Key_Comma, 43},   {Qt::Key_Slash, 44},     {Qt::Key_N, 45},
        {Qt::Key_M, 46},       {Qt::Key_Period, 47},    {Qt::Key_Tab, 48},
        {Qt::Key_Space, 49},   {Qt::Key_QuoteLeft, 50}, {Qt::Key_Backspace, 51},
        {Qt::Key_Escape, 53},  {Qt::Key_F5, 96},        {Qt::Key_F6, 97},
        {Qt::Key_F7, 98},      {Qt::Key_F3, 99},        {Qt::Key_F8, 100},
        {Qt::Key_F9, 101},     {Qt::Key_F11, 103},      {Qt::Key_F10, 109},
        {Qt::Key_F12, 111},    {Qt::Key_Home, 115},     {Qt::Key_PageUp, 116},
        {Qt::Key_Delete, 117}, {Qt::Key_F4, 118},       {Qt::Key_End, 119},
        {Qt::Key_F2, 120},     {Qt::Key_PageDown, 121}, {Qt::Key_F1, 122},
        {Qt::Key_Left, 123},   {Qt::Key_Right, 124},    {Qt::Key_Down, 125},
        {Qt::Key_Up, 126},
    };
    auto it = codes.find(qtKey);
    if (it == codes.end()) return std::nullopt;
    std::uint64_t flags = 0;
    if (modifiers & Qt::ShiftModifier) flags |= 0x20000;
    if (modifiers & Qt::ControlModifier) flags |= 0x40000;
    if (modifiers & Qt::AltModifier) flags |= 0x80000;
    if (modifiers & Qt::MetaModifier) flags |= 0x100000;
    return platform::KeyEvent{it->second, flags};
}

}  // namespace orvane::gui
