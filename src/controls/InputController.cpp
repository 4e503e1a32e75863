// SPDX-License-Identifier: MIT
#include "controls/InputController.h"

#include <array>

#include "ddc/DDCError.h"

namespace orvane::controls {

using ddc::DDCError;
using ddc::VCPCode;

const std::array<InputSource, 18>& InputSource::all() {
    static const std::array<InputSource, 18> sources{{
        {0x01, "VGA-1"},
        {0x02, "VGA-2"},
        {0x03, "DVI-1"},
        {0x04, "DVI-2"},
        {0x05, "Composite-1"},
        {0x06, "Composite-2"},
        {0x07, "S-Video-1"},
        {0x08, "S-Video-2"},
        {0x09, "Tuner-1"},
        {0x0A, "Tuner-2"},
        {0x0B, "Tuner-3"},
        {0x0C, "Component-1"},
        {0x0D, "Component-2"},
        {0x0E, "Component-3"},
        {0x0F, "DisplayPort-1"},
        {0x10, "DisplayPort-2"},
        {0x11, "HDMI-1"},
        {0x12, "HDMI-2"},
    }};
    return sources;
}

InputSource InputSource::fromRaw(std::uint16_t value) {
    for (const auto& s : all()) {
        if (s.ddcValue == value) return s;
    }
    return InputSource{value, "Input " + std::to_string(value)};
}

runtime::Task<bool> InputController::switchInput(InputSource source) {
    auto self = shared_from_this();
    if (!usable()) co_return false;
    try {
        if (!co_await ddcDisplay_->writeValue(source.ddcValue, VCPCode::inputSource))
            co_return true;
        currentInput_ = source.ddcValue;
        log_.line("[InputController] Switched display " + displayText() + " to " + source.name);
        co_return true;
    } catch (const DDCError& e) {
        log_.line("[InputController] Failed to switch input on display " + displayText() + ": " +
                  e.errorDescription());
    }
    co_return false;
}

}  // namespace orvane::controls
