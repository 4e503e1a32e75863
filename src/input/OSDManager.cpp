// SPDX-License-Identifier: MIT
#include "input/OSDManager.h"

namespace orvane::input {

CustomOSDView& OSDManager::view(DisplayID display) {
    auto& slot = customOSDs_[display];
    if (!slot) slot = std::make_shared<CustomOSDView>(display, toolkit_, main_);
    return *slot;
}

void OSDManager::show(DisplayID display, const std::string& icon, const std::string& label,
                      double level, platform::OSDKind kind) {
    if (!enabled) return;
    if (desktop_ && desktop_->show(kind, label, level)) return;
    view(display).show(icon, label, level);
}

void OSDManager::showBrightness(DisplayID display, double level) {
    show(display, "sun.max.fill", "Brightness", level, platform::OSDKind::brightness);
}

void OSDManager::showVolume(DisplayID display, double level) {
    show(display, level > 0 ? "speaker.wave.2.fill" : "speaker.slash.fill", "Volume", level,
         platform::OSDKind::volume);
}

}  // namespace orvane::input
