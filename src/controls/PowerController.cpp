// SPDX-License-Identifier: MIT
#include "controls/PowerController.h"

#include <array>

#include "ddc/DDCError.h"

namespace orvane::controls {

using ddc::DDCError;
using ddc::VCPCode;

const std::string& displayName(DisplayPowerState state) {
    static const std::array<std::string, 5> names{"On", "Standby", "Suspend", "Off", "Hard Off"};
    return names[static_cast<std::size_t>(state) - 1];
}

std::optional<DisplayPowerState> displayPowerStateFromRaw(std::uint16_t raw) {
    if (raw < 1 || raw > 5) return std::nullopt;
    return static_cast<DisplayPowerState>(raw);
}

runtime::Task<bool> PowerController::setPower(DisplayPowerState state) {
    auto self = shared_from_this();
    if (!usable()) co_return false;
    try {
        if (!co_await ddcDisplay_->writeValue(static_cast<std::uint16_t>(state),
                                              VCPCode::powerMode)) {
            co_return true;
        }
        log_.line("[PowerController] Display " + displayText() + " \u2192 " + displayName(state));
        co_return true;
    } catch (const DDCError& e) {
        log_.line("[PowerController] Failed to set power on display " + displayText() + ": " +
                  e.errorDescription());
    }
    co_return false;
}

runtime::Task<std::optional<DisplayPowerState>> PowerController::getPower() {
    auto self = shared_from_this();
    if (!usable()) co_return std::nullopt;
    try {
        const auto value = co_await ddcDisplay_->readValue(VCPCode::powerMode);
        co_return displayPowerStateFromRaw(value.current);
    } catch (const DDCError& e) {
        log_.line("[PowerController] Failed to read power on display " + displayText() + ": " +
                  e.errorDescription());
    }
    co_return std::nullopt;
}

runtime::Task<bool> PowerController::togglePower() {
    auto self = shared_from_this();
    const auto state = co_await getPower();
    co_return co_await setPower(state == DisplayPowerState::on ? DisplayPowerState::standby
                                                               : DisplayPowerState::on);
}

}  // namespace orvane::controls
