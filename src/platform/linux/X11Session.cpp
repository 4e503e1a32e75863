// SPDX-License-Identifier: MIT
#include "platform/linux/X11Session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace orvane::platform::linux_ {

namespace {

// Xlib reports protocol errors through one process-wide handler; each
// connection's last error is kept here and read after a round trip.
std::mutex errorsLock;
std::map<Display*, int> lastErrors;

int recordError(Display* display, XErrorEvent* error) {
    std::lock_guard lock(errorsLock);
    lastErrors[display] = error->error_code;
    return 0;
}

/// Waits for the server's answer to everything sent; the error it raised, or 0.
int roundTrip(Display* display) {
    XSync(display, False);
    std::lock_guard lock(errorsLock);
    auto it = lastErrors.find(display);
    if (it == lastErrors.end()) return 0;
    const int error = it->second;
    lastErrors.erase(it);
    return error;
}

double refreshRate(const XRRModeInfo& m) {
    double v = m.vTotal;
    if (m.modeFlags & RR_DoubleScan) v *= 2;
    if (m.modeFlags & RR_Interlace) v /= 2;
    if (m.hTotal == 0 || v == 0) return 0;
    return double(m.dotClock) / (double(m.hTotal) * v);
}

ScreenMode toMode(const XRRModeInfo& m) {
    ScreenMode mode;
    mode.modeID = static_cast<std::int32_t>(m.id);
    mode.width = m.width;
    mode.height = m.height;
    // X11 has no points: a mode is as many points as pixels.
    mode.pixelWidth = m.width;
    mode.pixelHeight = m.height;
    mode.refreshRate = std::round(refreshRate(m) * 100) / 100;
    return mode;
}

const XRRModeInfo* findMode(const XRRScreenResources& res, RRMode id) {
    for (int i = 0; i < res.nmode; ++i) {
        if (res.modes[i].id == id) return &res.modes[i];
    }
    return nullptr;
}

template <typename T, typename F>
std::unique_ptr<T, F> owned(T* p, F free) {
    return std::unique_ptr<T, F>(p, free);
}

}  // namespace

struct X11Session::Connection {
    /// The handler records every connection's errors, other code's too: one
    /// closed elsewhere may have left an error under the address this one
    /// now has, which would fail its first request.
    explicit Connection(Display* d) : display(d) {
        std::lock_guard lock(errorsLock);
        lastErrors.erase(display);
    }
    ~Connection() {
        if (!display) return;
        XCloseDisplay(display);
        std::lock_guard lock(errorsLock);
        lastErrors.erase(display);
    }
    Display* display;
};

std::unique_ptr<X11Session> X11Session::open(const std::string& displayName, std::string& error) {
    XSetErrorHandler(recordError);
    auto requests = std::make_unique<Connection>(XOpenDisplay(displayName.c_str()));
    if (!requests->display) {
        error = "cannot open the X display " + displayName;
        return nullptr;
    }
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(requests->display, &eventBase, &errorBase) ||
        !XRRQueryVersion(requests->display, &major, &minor) || major < 1 ||
        (major == 1 && minor < 2)) {
        error = "the X server has no RandR 1.2";
        return nullptr;
    }
    auto events = std::make_unique<Connection>(XOpenDisplay(displayName.c_str()));
    if (!events->display) {
        error = "cannot open the X display " + displayName;
        return nullptr;
    }
    auto session =
        std::unique_ptr<X11Session>(new X11Session(std::move(requests), std::move(events)));
    session->randrEventBase_ = eventBase;
    return session;
}

X11Session::X11Session(std::unique_ptr<Connection> requests, std::unique_ptr<Connection> events)
    : requests_(std::move(requests)), events_(std::move(events)) {}

void X11Session::stopEvents() {
    stopping_ = true;
    if (thread_.joinable()) {
        wakeEvents();
        thread_.join();
    }
}

X11Session::~X11Session() {
    stopEvents();
    for (int fd : wake_) {
        if (fd >= 0) close(fd);
    }
    {
        std::lock_guard lock(eventsLock_);
        for (const auto& [id, grab] : grabs_) {
            for (unsigned int lock :
                 {0u, unsigned(LockMask), unsigned(Mod2Mask), unsigned(LockMask | Mod2Mask)})
                XUngrabKey(events_->display, int(grab.keycode), grab.modifiers | lock,
                           DefaultRootWindow(events_->display));
        }
        XSync(events_->display, False);
    }
}

std::vector<SessionOutput> X11Session::outputs() {
    std::lock_guard lock(requestsLock_);
    Display* d = requests_->display;
    std::vector<SessionOutput> result;
    auto res = owned(XRRGetScreenResourcesCurrent(d, DefaultRootWindow(d)), XRRFreeScreenResources);
    if (!res) return result;
    const Atom edidAtom = XInternAtom(d, RR_PROPERTY_RANDR_EDID, False);
    for (int i = 0; i < res->noutput; ++i) {
        auto info = owned(XRRGetOutputInfo(d, res.get(), res->outputs[i]), XRRFreeOutputInfo);
        if (!info || info->connection != RR_Connected || !info->crtc) continue;
        SessionOutput out;
        const RROutput output = res->outputs[i];
        out.crtc = info->crtc;
        out.name.assign(info->name, std::size_t(info->nameLen));
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XRRGetOutputProperty(d, output, edidAtom, 0, 256, False, False, AnyPropertyType, &type,
                                 &format, &items, &after, &data) == Success &&
            data) {
            if (format == 8) out.edid.assign(data, data + items);
            XFree(data);
        }
        for (int m = 0; m < info->nmode; ++m) {
            if (const auto* mode = findMode(*res, info->modes[m]))
                out.modes.push_back(toMode(*mode));
        }
        auto crtc = owned(XRRGetCrtcInfo(d, res.get(), info->crtc), XRRFreeCrtcInfo);
        if (crtc && crtc->mode) {
            if (const auto* mode = findMode(*res, crtc->mode)) out.current = toMode(*mode);
        }
        result.push_back(std::move(out));
    }
    return result;
}

bool X11Session::setMode(const SessionOutput& output, std::int32_t modeID) {
    std::lock_guard lock(requestsLock_);
    Display* d = requests_->display;
    const Window root = DefaultRootWindow(d);
    auto res = owned(XRRGetScreenResourcesCurrent(d, root), XRRFreeScreenResources);
    if (!res) return false;
    const auto* mode = findMode(*res, RRMode(modeID));
    auto crtc = owned(XRRGetCrtcInfo(d, res.get(), output.crtc), XRRFreeCrtcInfo);
    if (!mode || !crtc) return false;
    // The screen must hold every CRTC with the new mode in place.
    int width = DisplayWidth(d, DefaultScreen(d)), height = DisplayHeight(d, DefaultScreen(d));
    const int needW = crtc->x + int(mode->width), needH = crtc->y + int(mode->height);
    XGrabServer(d);
    if (needW > width || needH > height) {
        width = std::max(width, needW);
        height = std::max(height, needH);
        // 96 dpi for the physical size, as servers assume without better word.
        XRRSetScreenSize(d, root, width, height, int(width * 25.4 / 96), int(height * 25.4 / 96));
    }
    const Status status = XRRSetCrtcConfig(d, res.get(), output.crtc, CurrentTime, crtc->x, crtc->y,
                                           mode->id, crtc->rotation, crtc->outputs, crtc->noutput);
    XUngrabServer(d);
    const int error = roundTrip(d);
    return status == RRSetConfigSuccess && error == 0;
}

int X11Session::gammaSize(const SessionOutput& output) {
    std::lock_guard lock(requestsLock_);
    const int size = XRRGetCrtcGammaSize(requests_->display, output.crtc);
    return roundTrip(requests_->display) == 0 ? size : 0;
}

bool X11Session::getGamma(const SessionOutput& output, std::vector<float>& red,
                          std::vector<float>& green, std::vector<float>& blue) {
    std::lock_guard lock(requestsLock_);
    auto gamma = owned(XRRGetCrtcGamma(requests_->display, output.crtc), XRRFreeGamma);
    if (roundTrip(requests_->display) != 0 || !gamma || gamma->size <= 0) return false;
    const auto n = std::size_t(gamma->size);
    red.resize(n);
    green.resize(n);
    blue.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        red[i] = float(gamma->red[i]) / 65535.0f;
        green[i] = float(gamma->green[i]) / 65535.0f;
        blue[i] = float(gamma->blue[i]) / 65535.0f;
    }
    return true;
}

bool X11Session::setGamma(const SessionOutput& output, const std::vector<float>& red,
                          const std::vector<float>& green, const std::vector<float>& blue) {
    std::lock_guard lock(requestsLock_);
    Display* d = requests_->display;
    const RRCrtc crtc = output.crtc;
    const int size = XRRGetCrtcGammaSize(d, crtc);
    if (size <= 0 || red.size() != std::size_t(size) || green.size() != red.size() ||
        blue.size() != red.size())
        return false;
    auto gamma = owned(XRRAllocGamma(size), XRRFreeGamma);
    auto toShort = [](float v) {
        return static_cast<unsigned short>(std::lround(std::clamp(v, 0.0f, 1.0f) * 65535.0f));
    };
    for (int i = 0; i < size; ++i) {
        gamma->red[i] = toShort(red[std::size_t(i)]);
        gamma->green[i] = toShort(green[std::size_t(i)]);
        gamma->blue[i] = toShort(blue[std::size_t(i)]);
    }
    XRRSetCrtcGamma(d, crtc, gamma.get());
    return roundTrip(d) == 0;
}

X11Session::Grab X11Session::grabKey(unsigned long keysym, unsigned int modifiers, int id) {
    std::lock_guard lock(eventsLock_);
    Display* d = events_->display;
    const KeyCode keycode = XKeysymToKeycode(d, keysym);
    if (keycode == 0) return Grab::noSuchKey;
    const Window root = DefaultRootWindow(d);
    const unsigned int variants[] = {0u, unsigned(LockMask), unsigned(Mod2Mask),
                                     unsigned(LockMask | Mod2Mask)};
    for (unsigned int variant : variants)
        XGrabKey(d, keycode, modifiers | variant, root, False, GrabModeAsync, GrabModeAsync);
    if (roundTrip(d) == BadAccess) {
        // Someone else holds it (the desktop's own media-key handler, say).
        for (unsigned int variant : variants)
            XUngrabKey(d, keycode, modifiers | variant, root);
        roundTrip(d);
        return Grab::taken;
    }
    grabs_[id] = Grabbed{keycode, modifiers};
    wakeEvents();  // the round trip may have queued events the thread has not seen
    return Grab::grabbed;
}

void X11Session::replayKey(int id) {
    std::lock_guard lock(eventsLock_);
    auto it = grabs_.find(id);
    if (it == grabs_.end()) return;
    Display* d = events_->display;
    const Window root = DefaultRootWindow(d);
    const unsigned int variants[] = {0u, unsigned(LockMask), unsigned(Mod2Mask),
                                     unsigned(LockMask | Mod2Mask)};
    // Let go for one press, so it reaches whoever would have had it.
    for (unsigned int variant : variants)
        XUngrabKey(d, int(it->second.keycode), it->second.modifiers | variant, root);
    XTestFakeKeyEvent(d, it->second.keycode, True, CurrentTime);
    XTestFakeKeyEvent(d, it->second.keycode, False, CurrentTime);
    XSync(d, False);
    for (unsigned int variant : variants)
        XGrabKey(d, int(it->second.keycode), it->second.modifiers | variant, root, False,
                 GrabModeAsync, GrabModeAsync);
    roundTrip(d);
    wakeEvents();
}

void X11Session::wakeEvents() {
    if (wake_[1] < 0) return;
    const char byte = 1;
    (void)!write(wake_[1], &byte, 1);
}

void X11Session::ungrabKey(int id) {
    std::lock_guard lock(eventsLock_);
    auto it = grabs_.find(id);
    if (it == grabs_.end()) return;
    Display* d = events_->display;
    for (unsigned int variant :
         {0u, unsigned(LockMask), unsigned(Mod2Mask), unsigned(LockMask | Mod2Mask)})
        XUngrabKey(d, int(it->second.keycode), it->second.modifiers | variant,
                   DefaultRootWindow(d));
    roundTrip(d);
    grabs_.erase(it);
    wakeEvents();
}

void X11Session::startEvents() {
    if (thread_.joinable() || pipe(wake_) != 0) return;
    {
        std::lock_guard lock(eventsLock_);
        XRRSelectInput(
            events_->display, DefaultRootWindow(events_->display),
            RRScreenChangeNotifyMask | RROutputChangeNotifyMask | RRCrtcChangeNotifyMask);
        // Selected before this returns: a change right after start is not missed.
        XSync(events_->display, False);
    }
    thread_ = std::thread([this] { readEvents(); });
}

void X11Session::readEvents() {
    Display* d = events_->display;
    const int fd = ConnectionNumber(d);
    while (!stopping_) {
        bool changed = false;
        std::vector<int> pressed;
        {
            std::lock_guard lock(eventsLock_);
            while (XPending(d) > 0) {
                XEvent event;
                XNextEvent(d, &event);
                if (event.type == KeyPress) {
                    const unsigned int locks = LockMask | Mod2Mask;
                    for (const auto& [id, grab] : grabs_) {
                        if (event.xkey.keycode == grab.keycode &&
                            (event.xkey.state & ~locks) == grab.modifiers)
                            pressed.push_back(id);
                    }
                } else if (event.type >= randrEventBase_ &&
                           event.type <= randrEventBase_ + RRNotify) {
                    XRRUpdateConfiguration(&event);
                    changed = true;
                }
            }
        }
        // Callbacks run without the lock: they may grab or ungrab keys.
        for (int id : pressed) {
            if (onKeyPress) onKeyPress(id);
        }
        if (changed && onScreenChange) onScreenChange();
        pollfd fds[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents) {
            char bytes[64];
            (void)!read(wake_[0], bytes, sizeof bytes);
        }
    }
}

}  // namespace orvane::platform::linux_
