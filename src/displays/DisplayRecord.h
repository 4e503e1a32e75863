// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include "controls/BrightnessController.h"
#include "controls/ContrastController.h"
#include "controls/CoreAudioVolumeController.h"
#include "controls/InputController.h"
#include "controls/PowerController.h"
#include "controls/SoftwareDimmer.h"
#include "controls/VolumeController.h"
#include "ddc/DDCDisplay.h"
#include "displays/DisplayState.h"

namespace orvane::displays {

/// Everything the registry owns for one display. Each scan replaces the
/// state, the DDC handle and the controllers; the dimmer lives as long as the
/// display stays connected.
struct DisplayRecord {
    std::shared_ptr<DisplayState> state;
    /// External displays only.
    std::shared_ptr<ddc::DDCDisplay> ddc;
    std::shared_ptr<controls::BrightnessController> brightness;
    std::shared_ptr<controls::ContrastController> contrast;
    std::shared_ptr<controls::VolumeController> volume;
    /// Where the display's volume goes through an audio device.
    std::shared_ptr<controls::CoreAudioVolumeController> audioVolume;
    std::shared_ptr<controls::InputController> input;
    std::shared_ptr<controls::PowerController> power;
    std::shared_ptr<controls::SoftwareDimmer> dimmer;
};

}  // namespace orvane::displays
