// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/LayerShell.h"

struct wl_display;
struct wl_registry;
struct wl_compositor;
struct wl_shm;
struct wl_output;
struct zwlr_layer_shell_v1;

namespace orvane::platform::linux_ {

/// Orvane's overlays and panels as layer surfaces of a compositor that
/// offers wlr-layer-shell (sway, Hyprland, KWin): the one way a Wayland
/// client may put a surface on a given output, at a given place, above every
/// window. The pixels come drawn (by the GUI); each present hands the
/// compositor a new shared-memory buffer, so none is ever written while the
/// compositor reads it.
///
/// A connection of its own, used only from the main thread: each call
/// dispatches what the compositor sent meanwhile, and only the first
/// present of a surface waits for the compositor (its configure).
class WlrLayerShell final : public LayerShell {
  public:
    /// The compositor WAYLAND_DISPLAY names; null with the reason in error
    /// when it cannot be reached or offers no layer shell.
    static std::unique_ptr<WlrLayerShell> open(std::string& error);
    ~WlrLayerShell() override;
    WlrLayerShell(const WlrLayerShell&) = delete;
    WlrLayerShell& operator=(const WlrLayerShell&) = delete;

    std::unique_ptr<LayerSurface> makeSurface(WindowRole role, const std::string& output, int x,
                                              int y, int width, int height,
                                              std::string& error) override;

    /// The outputs' names, as the compositor gives them.
    std::vector<std::string> outputs();

    struct Output;
    class Surface;

  private:
    explicit WlrLayerShell(wl_display* display);
    bool bindGlobals(std::string& error);
    /// Reads and dispatches what has arrived, without waiting; false when
    /// the connection is gone.
    bool dispatch();
    bool roundtrip();

    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
    static void globalRemove(void* data, wl_registry* registry, std::uint32_t name);

    wl_display* display_;
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    zwlr_layer_shell_v1* shell_ = nullptr;
    std::vector<std::unique_ptr<Output>> outputs_;
    bool connected_ = true;
};

}  // namespace orvane::platform::linux_
