// SPDX-License-Identifier: MIT
#pragma once

namespace orvane::input {

/// The user's persisted key settings, applied at launch and whenever they change.
struct KeyPreferences {
    bool interceptBrightnessKeys = true;
    bool interceptVolumeKeys = false;
    double brightnessStep = 6.25;
    double volumeStep = 6.25;
    bool showOSD = true;
};

}  // namespace orvane::input
