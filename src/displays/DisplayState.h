// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "displays/DisplayInfo.h"
#include "runtime/Clock.h"
#include "runtime/Observable.h"

namespace orvane::displays {

enum class VolumeControlType { none, ddc, coreAudio };
/// "none", "ddc" or "coreAudio".
const std::string& rawValue(VolumeControlType type);
std::optional<VolumeControlType> volumeControlTypeFromRaw(std::string_view raw);

/// The live, observable state of one connected display, shared by everyone who
/// shows or changes it. A write of an equal value notifies nobody. Main thread only.
class DisplayState {
    runtime::ChangeNotifier notifier_;

  public:
    explicit DisplayState(DisplayInfo info) : info(std::move(info)) {}
    DisplayState(const DisplayState&) = delete;
    DisplayState& operator=(const DisplayState&) = delete;

    [[nodiscard]] std::shared_ptr<void> observe(runtime::ChangeNotifier::Observer observer) {
        return notifier_.observe(std::move(observer));
    }

    const DisplayInfo info;
    runtime::Observed<double> brightness{notifier_, "brightness", 100.0};
    runtime::Observed<std::uint16_t> brightnessMax{notifier_, "brightnessMax", 100};
    runtime::Observed<double> contrast{notifier_, "contrast", 50.0};
    runtime::Observed<std::uint16_t> contrastMax{notifier_, "contrastMax", 100};
    runtime::Observed<double> volume{notifier_, "volume", 50.0};
    runtime::Observed<std::uint16_t> volumeMax{notifier_, "volumeMax", 100};
    runtime::Observed<std::optional<double>> volumeBeforeMute{notifier_, "volumeBeforeMute",
                                                              std::nullopt};
    runtime::Observed<double> softwareDimmingLevel{notifier_, "softwareDimmingLevel", 0.0};
    runtime::Observed<bool> supportsBrightness{notifier_, "supportsBrightness", false};
    runtime::Observed<bool> supportsContrast{notifier_, "supportsContrast", false};
    runtime::Observed<bool> supportsVolume{notifier_, "supportsVolume", false};
    runtime::Observed<VolumeControlType> volumeControlType{notifier_, "volumeControlType",
                                                           VolumeControlType::none};
    runtime::Observed<bool> supportsInputSwitching{notifier_, "supportsInputSwitching", false};
    runtime::Observed<bool> supportsPowerControl{notifier_, "supportsPowerControl", false};
    runtime::Observed<std::optional<runtime::TimePoint>> lastDDCRead{notifier_, "lastDDCRead",
                                                                     std::nullopt};
    runtime::Observed<std::optional<std::string>> lastError{notifier_, "lastError", std::nullopt};
    runtime::Observed<bool> isLoading{notifier_, "isLoading", false};
};

}  // namespace orvane::displays
