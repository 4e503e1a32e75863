// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/MechanismTexts.h"
#include "platform/MediaKeys.h"
#include "runtime/Executor.h"
#include "runtime/Logger.h"

namespace orvane::input {

using platform::MediaKey;

/// Takes the brightness, volume and mute keys: where the user redirects them,
/// consumes the press and posts a signed step to the owner's callback on the
/// main executor; otherwise the press goes where it would have gone.
class MediaKeyInterceptor : public std::enable_shared_from_this<MediaKeyInterceptor> {
  public:
    static constexpr double kDefaultStep = 6.25;

    MediaKeyInterceptor(platform::MediaKeys& keys, runtime::Executor& main, runtime::Logger& log,
                        const platform::MechanismTexts& texts);
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

    /// Whether the press is consumed. Called on the keys' thread only.
    bool handleMediaKey(MediaKey key);

  private:
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

    platform::MediaKeys& keys_;
    runtime::Executor& main_;
    runtime::Logger& log_;
    const platform::MechanismTexts& texts_;
    bool isRunning_ = false;
    platform::Subscription interception_;

    mutable std::mutex configLock_;
    double brightnessStep_ = kDefaultStep;
    double volumeStep_ = kDefaultStep;
    bool interceptBrightness_ = true;
    bool interceptVolume_ = false;
    bool hasExternalDisplays_ = false;
};

}  // namespace orvane::input
