// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/AudioHardware.h"
#include "platform/PlatformTypes.h"
#include "runtime/Executor.h"
#include "runtime/Logger.h"
#include "runtime/Task.h"

namespace orvane::controls {

struct AudioDeviceMatch {
    platform::AudioObjectID deviceID = 0;
    std::string name;
};

/// The volume of a display whose sound goes through a system audio device
/// (AirPlay): sets volume and mute on the device and reports every change of
/// the device's volume, including changes made outside the application.
class CoreAudioVolumeController : public std::enable_shared_from_this<CoreAudioVolumeController> {
  public:
    CoreAudioVolumeController(platform::AudioObjectID audioDeviceID, DisplayID displayID,
                              std::string deviceName, platform::AudioHardware& audio,
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
    static std::optional<AudioDeviceMatch> matchDisplayAudioDevice(platform::AudioHardware& audio,
                                                                   std::string_view displayName);
    /// The AirPlay output device whose name matches the display's; none when
    /// no candidate matches. Logs the elimination and no-match cases.
    static std::optional<AudioDeviceMatch> matchAudioDevice(platform::AudioHardware& audio,
                                                            runtime::Logger& log,
                                                            std::string_view displayName);

    platform::AudioObjectID audioDeviceID() const { return audioDeviceID_; }
    DisplayID displayID() const { return displayID_; }
    const std::string& deviceName() const { return deviceName_; }
    bool isListening() const { return isListening_; }
    std::function<void(double)> onExternalVolumeChange;

  private:
    std::optional<float> readFloat(const platform::AudioObjectPropertyAddress& address);
    bool has(const platform::AudioObjectPropertyAddress& address);
    platform::OSStatus writeFloat(const platform::AudioObjectPropertyAddress& address, float value);

    platform::AudioObjectID audioDeviceID_;
    DisplayID displayID_;
    std::string deviceName_;
    platform::AudioHardware& audio_;
    runtime::Executor& main_;
    runtime::Logger& log_;
    bool isListening_ = false;
    platform::AudioObjectPropertyListenerBlock listener_;
};

}  // namespace orvane::controls
