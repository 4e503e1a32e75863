// SPDX-License-Identifier: MIT
#include "platform/linux/WlrLayerShell.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <utility>

#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace orvane::platform::linux_ {

struct WlrLayerShell::Output {
    std::uint32_t global = 0;
    wl_output* proxy = nullptr;
    std::string name;
    bool done = false;

    ~Output() {
        if (!proxy) return;
        if (wl_output_get_version(proxy) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
            wl_output_release(proxy);
        else
            wl_output_destroy(proxy);
    }
};

namespace {
using Output = WlrLayerShell::Output;

void outputGeometry(void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                    std::int32_t, const char*, const char*, std::int32_t) {}
void outputMode(void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {}
void outputDone(void* data, wl_output*) {
    static_cast<Output*>(data)->done = true;
}
void outputScale(void*, wl_output*, std::int32_t) {}
void outputName(void* data, wl_output*, const char* name) {
    static_cast<Output*>(data)->name = name ? name : "";
}
void outputDescription(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {outputGeometry, outputMode, outputDone,
                                            outputScale,    outputName, outputDescription};

/// A buffer the compositor may still read: destroyed once it lets it go.
struct Buffer {
    wl_buffer* proxy = nullptr;
    bool released = false;
};
void bufferRelease(void* data, wl_buffer*) {
    static_cast<Buffer*>(data)->released = true;
}
const wl_buffer_listener kBufferListener = {bufferRelease};

/// A shared-memory buffer holding a copy of pixels; null when memory for it
/// cannot be had.
wl_buffer* shmBuffer(wl_shm* shm, const std::uint32_t* pixels, int width, int height) {
    const auto stride = std::size_t(width) * 4;
    const auto bytes = stride * std::size_t(height);
    if (bytes == 0 || bytes > std::size_t(INT_MAX)) return nullptr;
    const int fd = memfd_create("orvane-layer", MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    wl_buffer* buffer = nullptr;
    if (ftruncate(fd, off_t(bytes)) == 0) {
        void* map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map != MAP_FAILED) {
            std::memcpy(map, pixels, bytes);
            munmap(map, bytes);
            wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int(bytes));
            // ARGB8888 is premultiplied 32-bit ARGB in native byte order.
            buffer = wl_shm_pool_create_buffer(pool, 0, width, height, int(stride),
                                               WL_SHM_FORMAT_ARGB8888);
            wl_shm_pool_destroy(pool);
        }
    }
    close(fd);
    return buffer;
}
}  // namespace

class WlrLayerShell::Surface final : public LayerSurface {
  public:
    Surface(WlrLayerShell& shell, wl_surface* surface, zwlr_layer_surface_v1* layer)
        : shell_(shell), surface_(surface), layer_(layer) {
        static const zwlr_layer_surface_v1_listener listener = {configure, closed};
        zwlr_layer_surface_v1_add_listener(layer_, &listener, this);
    }
    ~Surface() override {
        zwlr_layer_surface_v1_destroy(layer_);
        wl_surface_destroy(surface_);
        for (auto& b : buffers_)
            wl_buffer_destroy(b->proxy);
        wl_display_flush(shell_.display_);
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    bool present(const std::uint32_t* pixels, int width, int height, int scale) override {
        if (!shell_.dispatch()) return false;
        // The first buffer waits for the compositor's first configure.
        if (!configured_ && !closed_ && !shell_.roundtrip()) return false;
        if (closed_ || !configured_) return false;
        std::erase_if(buffers_, [](const auto& b) {
            if (b->released) wl_buffer_destroy(b->proxy);
            return b->released;
        });
        auto buffer = std::make_unique<Buffer>();
        buffer->proxy = shmBuffer(shell_.shm_, pixels, width, height);
        if (!buffer->proxy) return false;
        wl_buffer_add_listener(buffer->proxy, &kBufferListener, buffer.get());
        if (serial_) zwlr_layer_surface_v1_ack_configure(layer_, *std::exchange(serial_, {}));
        if (wl_surface_get_version(surface_) >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION)
            wl_surface_set_buffer_scale(surface_, scale > 0 ? scale : 1);
        wl_surface_attach(surface_, buffer->proxy, 0, 0);
        wl_surface_damage(surface_, 0, 0, INT_MAX, INT_MAX);
        wl_surface_commit(surface_);
        buffers_.push_back(std::move(buffer));
        return wl_display_flush(shell_.display_) >= 0 || errno == EAGAIN;
    }

    bool closed() const { return closed_; }

  private:
    static void configure(void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t,
                          std::uint32_t) {
        auto* self = static_cast<Surface*>(data);
        self->configured_ = true;
        self->serial_ = serial;
    }
    static void closed(void* data, zwlr_layer_surface_v1*) {
        static_cast<Surface*>(data)->closed_ = true;
    }

    WlrLayerShell& shell_;
    wl_surface* surface_;
    zwlr_layer_surface_v1* layer_;
    bool configured_ = false;
    bool closed_ = false;
    std::optional<std::uint32_t> serial_;
    std::vector<std::unique_ptr<Buffer>> buffers_;
};

std::unique_ptr<WlrLayerShell> WlrLayerShell::open(std::string& error) {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        error = "cannot reach the Wayland compositor (" + std::string(std::strerror(errno)) + ")";
        return nullptr;
    }
    std::unique_ptr<WlrLayerShell> shell(new WlrLayerShell(display));
    if (!shell->bindGlobals(error)) return nullptr;
    return shell;
}

WlrLayerShell::WlrLayerShell(wl_display* display) : display_(display) {}

WlrLayerShell::~WlrLayerShell() {
    outputs_.clear();
    if (shell_) {
        if (zwlr_layer_shell_v1_get_version(shell_) >= ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION)
            zwlr_layer_shell_v1_destroy(shell_);
        else
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(shell_));
    }
    if (shm_) wl_shm_destroy(shm_);
    if (compositor_) wl_compositor_destroy(compositor_);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
}

bool WlrLayerShell::bindGlobals(std::string& error) {
    static const wl_registry_listener listener = {global, globalRemove};
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &listener, this);
    // Globals first, then the names of the outputs they bound.
    if (!roundtrip() || !roundtrip()) {
        error = "the Wayland compositor closed the connection";
        return false;
    }
    if (!shell_ || !compositor_ || !shm_) {
        error = "the compositor offers no wlr-layer-shell";
        return false;
    }
    return true;
}

void WlrLayerShell::global(void* data, wl_registry* registry, std::uint32_t name,
                           const char* interface, std::uint32_t version) {
    auto* self = static_cast<WlrLayerShell*>(data);
    const auto bind = [&](const wl_interface& of, std::uint32_t highest) {
        return wl_registry_bind(registry, name, &of, std::min(version, highest));
    };
    if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
        self->shell_ = static_cast<zwlr_layer_shell_v1*>(bind(zwlr_layer_shell_v1_interface, 3));
    } else if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        self->compositor_ = static_cast<wl_compositor*>(bind(wl_compositor_interface, 4));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        self->shm_ = static_cast<wl_shm*>(bind(wl_shm_interface, 1));
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto output = std::make_unique<Output>();
        output->global = name;
        // Version 4 adds the name the screens go by.
        output->proxy = static_cast<wl_output*>(bind(wl_output_interface, 4));
        wl_output_add_listener(output->proxy, &kOutputListener, output.get());
        self->outputs_.push_back(std::move(output));
    }
}

void WlrLayerShell::globalRemove(void* data, wl_registry*, std::uint32_t name) {
    std::erase_if(static_cast<WlrLayerShell*>(data)->outputs_,
                  [&](const auto& o) { return o->global == name; });
}

bool WlrLayerShell::roundtrip() {
    if (connected_ && wl_display_roundtrip(display_) < 0) connected_ = false;
    return connected_;
}

bool WlrLayerShell::dispatch() {
    if (!connected_) return false;
    while (wl_display_prepare_read(display_) != 0) {
        if (wl_display_dispatch_pending(display_) < 0) return connected_ = false;
    }
    wl_display_flush(display_);
    pollfd fd{wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&fd, 1, 0) > 0) {
        if (wl_display_read_events(display_) < 0) connected_ = false;
    } else {
        wl_display_cancel_read(display_);
    }
    if (wl_display_dispatch_pending(display_) < 0) connected_ = false;
    return connected_;
}

std::vector<std::string> WlrLayerShell::outputs() {
    dispatch();
    std::vector<std::string> names;
    for (const auto& o : outputs_) {
        if (o->done && !o->name.empty()) names.push_back(o->name);
    }
    return names;
}

std::unique_ptr<LayerSurface> WlrLayerShell::makeSurface(WindowRole role, const std::string& output,
                                                         int x, int y, int width, int height,
                                                         std::string& error) {
    if (!dispatch()) {
        error = "the Wayland compositor closed the connection";
        return nullptr;
    }
    Output* on = nullptr;
    for (auto& o : outputs_) {
        if (o->done && o->name == output) on = o.get();
    }
    if (!on) {
        error = "the compositor has no output " + output;
        return nullptr;
    }
    if (width <= 0 || height <= 0) {
        error = "a surface needs a size";
        return nullptr;
    }
    wl_surface* surface = wl_compositor_create_surface(compositor_);
    const bool overlay = role == WindowRole::dimmingOverlay;
    auto* layer = zwlr_layer_shell_v1_get_layer_surface(
        shell_, surface, on->proxy, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
        overlay ? "orvane-overlay" : "orvane-panel");
    auto result = std::make_unique<Surface>(*this, surface, layer);
    zwlr_layer_surface_v1_set_size(layer, std::uint32_t(width), std::uint32_t(height));
    zwlr_layer_surface_v1_set_anchor(
        layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
    zwlr_layer_surface_v1_set_margin(layer, y, 0, 0, x);
    // Placed from the output's edge, whatever panels reserve; reserving none.
    zwlr_layer_surface_v1_set_exclusive_zone(layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        layer, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    // An empty input region: clicks reach what is below.
    wl_region* none = wl_compositor_create_region(compositor_);
    wl_surface_set_input_region(surface, none);
    wl_region_destroy(none);
    wl_surface_commit(surface);
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) connected_ = false;
    return result;
}

}  // namespace orvane::platform::linux_
