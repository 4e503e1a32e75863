// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/AudioSinks.h"
#include "platform/PlatformTypes.h"
#include "runtime/Executor.h"
#include "runtime/Logger.h"
#include "runtime/Task.h"

namespace orvane::controls {

struct AudioDeviceMatch {
    platform::AudioSinkID deviceID = 0;
    std::string name;
};

/// The volume of a display whose sound goes through one of the machine's audio
/// outputs (an AirPlay display's, or a monitor's own HDMI or DisplayPort audio):
/// sets volume and mute on that sink and reports every change of its volume,
/// including changes made outside the application.
class CoreAudioVolumeController : public std::enable_shared_from_this<CoreAudioVolumeController> {
  public:
    CoreAudioVolumeController(platform::AudioSinkID audioDeviceID, DisplayID displayID,
                              std::string deviceName, platform::AudioSinks& audio,
                              runtime::Executor& main, runtime::Logger& log);
    ~CoreAudioVolumeController();
    CoreAudioVolumeController(const CoreAudioVolumeController&) = delete;
    CoreAudioVolumeController& operator=(const CoreAudioVolumeController&) = delete;

    runtime::Task<void> setVolume(double value);
    /// The device volume in percent; none when it cannot be read.
    runtime::Task<std::optional<double>> getVolume();
    void setMute(bool muted);
    /// Registers the volume listener once; the controller must be owned by a shared_ptr.
    void startListening();
    void stopListening();

    /// The display's own audio device (HDMI or DisplayPort) whose name is the
    /// display's name, compared without case; none when there is none. A
    /// guess would put the sound of one monitor on another's slider.
    static std::optional<AudioDeviceMatch> matchDisplayAudioDevice(platform::AudioSinks& audio,
                                                                   std::string_view displayName);
    /// The AirPlay output device whose name matches the display's; none when
    /// no candidate matches. Logs the elimination and no-match cases.
    static std::optional<AudioDeviceMatch> matchAudioDevice(platform::AudioSinks& audio,
                                                            runtime::Logger& log,
                                                            std::string_view displayName);

    platform::AudioSinkID audioDeviceID() const { return audioDeviceID_; }
    DisplayID displayID() const { return displayID_; }
    const std::string& deviceName() const { return deviceName_; }
    bool isListening() const { return isListening_; }
    std::function<void(double)> onExternalVolumeChange;

  private:
    platform::AudioSinkID audioDeviceID_;
    DisplayID displayID_;
    std::string deviceName_;
    platform::AudioSinks& audio_;
    runtime::Executor& main_;
    runtime::Logger& log_;
    bool isListening_ = false;
    platform::Subscription listener_;
};

}  // namespace orvane::controls
