// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/WindowToolkit.h"

namespace orvane::platform {

/// A surface the compositor stacks above every window (its overlay layer) on
/// one output, at a place of its own choosing; clicks and keys pass through
/// it. Destroying it takes it off the screen. Main thread only.
class LayerSurface {
  public:
    virtual ~LayerSurface() = default;
    /// Shows pixels: premultiplied ARGB, 32 bits each in native byte order,
    /// rows of width pixels, drawn at scale pixels per logical pixel (the
    /// surface's logical size times scale). False when the compositor is gone
    /// or closed the surface (its output went).
    virtual bool present(const std::uint32_t* pixels, int width, int height, int scale) = 0;
};

/// The compositor's layers, where a Wayland session lets Orvane place and
/// stack its own overlays and panels (wlr-layer-shell: sway, Hyprland, KWin).
/// Which of two overlapping surfaces shows above is the compositor's choice
/// (sway 1.7 keeps the older one on top, later versions the newer one), so
/// an overlay leaves a panel's place clear. Main thread only.
class LayerShell {
  public:
    virtual ~LayerShell() = default;
    /// A surface for role on the output named output, at x, y (logical
    /// pixels from the output's top left), width by height; shown once
    /// pixels are presented. Null, with the reason in error, when no output
    /// has that name or the compositor is gone.
    virtual std::unique_ptr<LayerSurface> makeSurface(WindowRole role, const std::string& output,
                                                      int x, int y, int width, int height,
                                                      std::string& error) = 0;
};

}  // namespace orvane::platform
