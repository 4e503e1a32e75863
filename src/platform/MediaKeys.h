// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

#include "platform/Subscription.h"

namespace orvane::platform {

enum class MediaKey { brightnessUp, brightnessDown, volumeUp, volumeDown, mute };

/// The keyboard's brightness, volume and mute keys.
/// Linux: grabbed with XGrabKey on X11, bound through the GlobalShortcuts
/// portal on Wayland.
class MediaKeys {
  public:
    /// Whether the press is taken: true keeps it from every other program.
    using Handler = std::function<bool(MediaKey key)>;

    virtual ~MediaKeys() = default;
    /// Hands each press of a media key to handler, on the thread the keys
    /// arrive on (it must return at once), while the subscription lives; an
    /// empty one when the keys cannot be had (no permission, or the session
    /// shows them to no one), in which case the platform has said why where
    /// it has its own words. One at a time. Main thread.
    virtual Subscription interceptMediaKeys(Handler handler) = 0;
};

}  // namespace orvane::platform
