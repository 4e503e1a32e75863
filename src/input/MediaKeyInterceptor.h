// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/EventTapService.h"
#include "platform/MechanismTexts.h"
#include "runtime/Executor.h"
#include "runtime/Logger.h"

namespace orvane::input {

enum class MediaKey { brightnessUp, brightnessDown, volumeUp, volumeDown, mute };

/// The key for a system-defined event's key-type byte; none for keys not handled.
std::optional<MediaKey> mediaKeyForKeyType(std::uint8_t keyType);

/// One event tap on system-defined events: recognises the brightness, volume
/// and mute keys and, where the user redirects them, consumes the press and
/// posts a signed step to the owner's callback on the main executor.
class MediaKeyInterceptor : public std::enable_shared_from_this<MediaKeyInterceptor> {
  public:
    static constexpr double kDefaultStep = 6.25;
    static constexpr platform::CGEventMask kEventMask = platform::CGEventMask{1}
                                                        << platform::kCGEventSystemDefined;

    MediaKeyInterceptor(platform::EventTapService& taps, runtime::Executor& main,
                        runtime::Logger& log,
                        const platform::MechanismTexts& texts = platform::kOriginalMechanismTexts);
    ~MediaKeyInterceptor();
    MediaKeyInterceptor(const MediaKeyInterceptor&) = delete;
    MediaKeyInterceptor& operator=(const MediaKeyInterceptor&) = delete;

    /// True when the tap runs after the call.
    bool start();
    void stop();
    bool isRunning() const { return isRunning_; }

    // Set by the owner before start(); called on the main executor only.
    std::function<void(double)> onBrightnessKey;
    std::function<void(double)> onVolumeKey;
    std::function<void()> onMuteKey;

    // The configuration, readable and writable from any thread.
    double brightnessStep() const;
    void setBrightnessStep(double step);
    double volumeStep() const;
    void setVolumeStep(double step);
    bool interceptBrightness() const;
    void setInterceptBrightness(bool on);
    bool interceptVolume() const;
    void setInterceptVolume(bool on);
    bool hasExternalDisplays() const;
    void setHasExternalDisplays(bool present);

    /// Whether the event is consumed. Called by the tap callback only.
    bool handleSystemDefinedEvent(const platform::CGEvent& event);

  private:
    static platform::CGEvent* tapCallback(platform::CGEventTapProxy proxy,
                                          platform::CGEventType type, platform::CGEvent* event,
                                          void* userInfo);
    template <typename T>
    T read(const T& field) const {
        std::lock_guard lock(configLock_);
        return field;
    }
    template <typename T>
    void write(T& field, T value) {
        std::lock_guard lock(configLock_);
        field = value;
    }

    platform::EventTapService& taps_;
    runtime::Executor& main_;
    runtime::Logger& log_;
    const platform::MechanismTexts& texts_;
    bool isRunning_ = false;
    std::unique_ptr<platform::MachPort> eventTap_;
    std::unique_ptr<platform::RunLoopSource> runLoopSource_;

    mutable std::mutex configLock_;
    double brightnessStep_ = kDefaultStep;
    double volumeStep_ = kDefaultStep;
    bool interceptBrightness_ = true;
    bool interceptVolume_ = false;
    bool hasExternalDisplays_ = false;
};

}  // namespace orvane::input
