// SPDX-License-Identifier: MIT
#include "platform/linux/WlrGammaControl.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <future>

#include "wlr-gamma-control-unstable-v1-client-protocol.h"

namespace orvane::platform::linux_ {

struct WlrGammaControl::Output {
    WlrGammaControl* owner = nullptr;
    std::uint32_t global = 0;
    wl_output* proxy = nullptr;
    std::string make, model, name, description;
    bool done = false;
    zwlr_gamma_control_v1* control = nullptr;
    std::uint32_t size = 0;
    bool failed = false;

    ~Output() {
        if (control) zwlr_gamma_control_v1_destroy(control);
        if (proxy) {
            if (wl_output_get_version(proxy) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
                wl_output_release(proxy);
            else
                wl_output_destroy(proxy);
        }
    }

    void dropControl() {
        if (control) zwlr_gamma_control_v1_destroy(control);
        control = nullptr;
        size = 0;
    }

    /// The serial: the description is "make model serial (name)" on wlroots.
    std::string serial() const {
        std::string text = description;
        const std::string suffix = " (" + name + ")";
        if (!name.empty() && text.size() >= suffix.size() &&
            text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
            text.resize(text.size() - suffix.size());
        const std::string prefix = make + " " + model;
        if (text.compare(0, prefix.size(), prefix) != 0) return {};
        text.erase(0, prefix.size());
        const auto first = text.find_first_not_of(' ');
        return first == std::string::npos ? std::string() : text.substr(first);
    }
};

namespace {
using Output = WlrGammaControl::Output;

void outputGeometry(void* data, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                    std::int32_t, const char* make, const char* model, std::int32_t) {
    auto* o = static_cast<Output*>(data);
    o->make = make ? make : "";
    o->model = model ? model : "";
}
void outputMode(void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {}
void outputScale(void*, wl_output*, std::int32_t) {}
void outputName(void* data, wl_output*, const char* name) {
    static_cast<Output*>(data)->name = name ? name : "";
}
void outputDescription(void* data, wl_output*, const char* description) {
    static_cast<Output*>(data)->description = description ? description : "";
}
void outputDone(void* data, wl_output*);

const wl_output_listener kOutputListener = {outputGeometry, outputMode, outputDone,
                                            outputScale,    outputName, outputDescription};

void gammaSize(void* data, zwlr_gamma_control_v1*, std::uint32_t size) {
    static_cast<Output*>(data)->size = size;
}
void gammaFailed(void* data, zwlr_gamma_control_v1*) {
    auto* o = static_cast<Output*>(data);
    o->failed = true;
    o->dropControl();
}
const zwlr_gamma_control_v1_listener kGammaListener = {gammaSize, gammaFailed};

/// A sealed-size memory file holding the three ramps as 16-bit values.
int rampFile(const std::vector<float>& r, const std::vector<float>& g,
             const std::vector<float>& b) {
    std::vector<std::uint16_t> data;
    data.reserve(r.size() * 3);
    for (const auto* ramp : {&r, &g, &b}) {
        for (float v : *ramp) {
            const float clamped = std::isfinite(v) ? std::fmin(std::fmax(v, 0.0f), 1.0f) : 0.0f;
            data.push_back(static_cast<std::uint16_t>(std::lround(clamped * 65535.0f)));
        }
    }
    const int fd = memfd_create("orvane-gamma", MFD_CLOEXEC);
    if (fd < 0) return -1;
    const auto bytes = data.size() * sizeof(std::uint16_t);
    const auto* p = reinterpret_cast<const char*>(data.data());
    std::size_t done = 0;
    while (done < bytes) {
        const auto n = write(fd, p + done, bytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close(fd);
            return -1;
        }
        done += std::size_t(n);
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}
}  // namespace

namespace {
void outputDone(void* data, wl_output*) {
    static_cast<Output*>(data)->done = true;
}
}  // namespace

std::unique_ptr<WlrGammaControl> WlrGammaControl::open(std::string& error) {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        error = "cannot reach the Wayland compositor (" + std::string(std::strerror(errno)) + ")";
        return nullptr;
    }
    std::unique_ptr<WlrGammaControl> control(new WlrGammaControl(display));
    if (!control->bindGlobals(error)) return nullptr;
    return control;
}

std::unique_ptr<WlrGammaControl> WlrGammaControl::connect(int fd, std::string& error) {
    wl_display* display = wl_display_connect_to_fd(fd);
    if (!display) {
        close(fd);
        error = "cannot reach the Wayland compositor";
        return nullptr;
    }
    std::unique_ptr<WlrGammaControl> control(new WlrGammaControl(display));
    if (!control->bindGlobals(error)) return nullptr;
    return control;
}

WlrGammaControl::WlrGammaControl(wl_display* display) : display_(display) {}

bool WlrGammaControl::bindGlobals(std::string& error) {
    static const wl_registry_listener listener = {global, globalRemove};
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &listener, this);
    // Globals first, then the outputs' descriptions they bound.
    if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0) {
        error = "the Wayland compositor closed the connection";
        return false;
    }
    if (!manager_) {
        error = "the compositor offers no wlr-gamma-control";
        return false;
    }
    if (pipe2(wake_, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

WlrGammaControl::~WlrGammaControl() {
    stopping_ = true;
    if (notifier_.joinable()) {
        {
            std::lock_guard lock(notifyLock_);
            notifyWake_.notify_all();
        }
        notifier_.join();
    }
    if (thread_.joinable()) {
        const char byte = 0;
        (void)!write(wake_[1], &byte, 1);
        thread_.join();
    }
    for (int fd : wake_) {
        if (fd >= 0) close(fd);
    }
    outputs_.clear();
    if (manager_) zwlr_gamma_control_manager_v1_destroy(manager_);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
}

void WlrGammaControl::global(void* data, wl_registry* registry, std::uint32_t name,
                             const char* interface, std::uint32_t version) {
    auto* self = static_cast<WlrGammaControl*>(data);
    if (std::strcmp(interface, zwlr_gamma_control_manager_v1_interface.name) == 0) {
        self->manager_ = static_cast<zwlr_gamma_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_gamma_control_manager_v1_interface, 1));
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto output = std::make_unique<Output>();
        output->owner = self;
        output->global = name;
        // Version 4 adds the name and description.
        output->proxy = static_cast<wl_output*>(
            wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 4u)));
        wl_output_add_listener(output->proxy, &kOutputListener, output.get());
        self->outputs_.push_back(std::move(output));
        self->changed();
    }
}

void WlrGammaControl::globalRemove(void* data, wl_registry*, std::uint32_t name) {
    auto* self = static_cast<WlrGammaControl*>(data);
    auto& list = self->outputs_;
    const auto before = list.size();
    std::erase_if(list, [&](const auto& o) { return o->global == name; });
    if (list.size() != before) self->changed();
}

void WlrGammaControl::changed() {
    if (!events_) return;
    std::lock_guard lock(notifyLock_);
    pending_ = true;
    notifyWake_.notify_all();
}

void WlrGammaControl::startEvents() {
    events_ = true;
    notifier_ = std::thread([this] { notify(); });
}

void WlrGammaControl::notify() {
    std::unique_lock lock(notifyLock_);
    while (true) {
        notifyWake_.wait(lock, [this] { return pending_ || stopping_; });
        if (stopping_) return;
        pending_ = false;
        lock.unlock();
        if (onScreenChange) onScreenChange();
        lock.lock();
    }
}

bool WlrGammaControl::call(const std::function<void()>& work) {
    if (!thread_.joinable()) return false;
    auto done = std::make_shared<std::promise<bool>>();
    auto result = done->get_future();
    {
        std::lock_guard lock(lock_);
        work_.push_back([this, &work, done] {
            if (connected_) work();
            done->set_value(connected_);
        });
    }
    const char byte = 1;
    (void)!write(wake_[1], &byte, 1);
    return result.get();
}

void WlrGammaControl::run() {
    while (!stopping_) {
        std::deque<std::function<void()>> work;
        {
            std::lock_guard lock(lock_);
            work.swap(work_);
        }
        for (auto& w : work)
            w();
        if (!connected_) {
            // Answer every later call at once: the compositor is gone.
            pollfd wake{wake_[0], POLLIN, 0};
            if (poll(&wake, 1, -1) < 0 && errno != EINTR) return;
            char bytes[64];
            (void)!read(wake_[0], bytes, sizeof bytes);
            continue;
        }
        while (wl_display_prepare_read(display_) != 0)
            wl_display_dispatch_pending(display_);
        wl_display_flush(display_);
        pollfd fds[2] = {{wl_display_get_fd(display_), POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            wl_display_cancel_read(display_);
            return;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (wl_display_read_events(display_) < 0) connected_ = false;
        } else {
            wl_display_cancel_read(display_);
        }
        if (wl_display_dispatch_pending(display_) < 0) connected_ = false;
        if (fds[1].revents) {
            char bytes[64];
            (void)!read(wake_[0], bytes, sizeof bytes);
        }
    }
}

WlrGammaControl::Output* WlrGammaControl::find(std::uint32_t global) {
    for (auto& o : outputs_) {
        if (o->global == global) return o.get();
    }
    return nullptr;
}

zwlr_gamma_control_v1* WlrGammaControl::control(Output& output) {
    if (output.control) return output.control;
    output.failed = false;
    output.control = zwlr_gamma_control_manager_v1_get_gamma_control(manager_, output.proxy);
    zwlr_gamma_control_v1_add_listener(output.control, &kGammaListener, &output);
    if (wl_display_roundtrip(display_) < 0) connected_ = false;
    return output.control;
}

std::vector<SessionOutput> WlrGammaControl::outputs() {
    std::vector<SessionOutput> list;
    call([&] {
        if (wl_display_roundtrip(display_) < 0) {
            connected_ = false;
            return;
        }
        for (const auto& o : outputs_) {
            if (!o->done) continue;
            SessionOutput out;
            out.name = o->name.empty() ? "wl_output " + std::to_string(o->global) : o->name;
            out.crtc = o->global;
            out.product = o->model;
            out.serial = o->serial();
            list.push_back(std::move(out));
        }
    });
    return list;
}

int WlrGammaControl::gammaSize(const SessionOutput& output) {
    int size = 0;
    call([&] {
        auto* o = find(std::uint32_t(output.crtc));
        if (o && control(*o)) size = int(o->size);
    });
    return size;
}

bool WlrGammaControl::getGamma(const SessionOutput& output, std::vector<float>& red,
                               std::vector<float>& green, std::vector<float>& blue) {
    const int size = gammaSize(output);
    if (size <= 0) return false;
    red.resize(std::size_t(size));
    for (int i = 0; i < size; ++i)
        red[std::size_t(i)] = size == 1 ? 1.0f : float(i) / float(size - 1);
    green = red;
    blue = red;
    return true;
}

bool WlrGammaControl::setGamma(const SessionOutput& output, const std::vector<float>& red,
                               const std::vector<float>& green, const std::vector<float>& blue) {
    bool applied = false;
    call([&] {
        auto* o = find(std::uint32_t(output.crtc));
        if (!o || !control(*o)) return;
        if (red.size() != o->size || green.size() != o->size || blue.size() != o->size) return;
        const int fd = rampFile(red, green, blue);
        if (fd < 0) return;
        zwlr_gamma_control_v1_set_gamma(o->control, fd);  // the request carries a copy
        close(fd);
        // A refusal comes back as the failed event.
        if (wl_display_roundtrip(display_) < 0) {
            connected_ = false;
            return;
        }
        applied = o->control != nullptr;
    });
    return applied;
}

void WlrGammaControl::releaseGamma() {
    call([&] {
        for (auto& o : outputs_)
            o->dropControl();
        wl_display_flush(display_);
    });
}

}  // namespace orvane::platform::linux_
