// SPDX-License-Identifier: MIT
#include "input/MediaKeyInterceptor.h"

namespace orvane::input {

using namespace platform;

MediaKeyInterceptor::MediaKeyInterceptor(MediaKeys& keys, runtime::Executor& main,
                                         runtime::Logger& log, const MechanismTexts& texts)
    : keys_(keys), main_(main), log_(log), texts_(texts) {}

MediaKeyInterceptor::~MediaKeyInterceptor() {
    // The handler holds a raw pointer to this object: end it first.
    interception_.reset();
}

bool MediaKeyInterceptor::start() {
    if (isRunning_) return true;
    auto interception =
        keys_.interceptMediaKeys([this](MediaKey key) { return handleMediaKey(key); });
    if (!interception) {
        if (!texts_.eventTapFailed.empty()) log_.line(texts_.eventTapFailed);
        return false;
    }
    interception_ = std::move(interception);
    isRunning_ = true;
    log_.line("[MediaKeyInterceptor] Media key interception started");
    return true;
}

void MediaKeyInterceptor::stop() {
    if (!isRunning_) return;
    interception_.reset();
    isRunning_ = false;
    log_.line("[MediaKeyInterceptor] Media key interception stopped");
}

bool MediaKeyInterceptor::handleMediaKey(MediaKey key) {
    bool brightness, volume, external;
    double brightnessStep, volumeStep;
    {
        std::lock_guard lock(configLock_);
        brightness = interceptBrightness_;
        volume = interceptVolume_;
        external = hasExternalDisplays_;
        brightnessStep = brightnessStep_;
        volumeStep = volumeStep_;
    }

    // The posted call looks the callback up when it runs, so a callback
    // cleared in between swallows the press.
    std::weak_ptr<MediaKeyInterceptor> weak = weak_from_this();
    switch (key) {
        case MediaKey::brightnessUp:
        case MediaKey::brightnessDown: {
            if (!brightness || !external) return false;
            const double delta = key == MediaKey::brightnessUp ? brightnessStep : -brightnessStep;
            main_.post([weak, delta] {
                if (auto self = weak.lock(); self && self->onBrightnessKey)
                    self->onBrightnessKey(delta);
            });
            return true;
        }
        case MediaKey::volumeUp:
        case MediaKey::volumeDown: {
            if (!volume) return false;
            const double delta = key == MediaKey::volumeUp ? volumeStep : -volumeStep;
            main_.post([weak, delta] {
                if (auto self = weak.lock(); self && self->onVolumeKey) self->onVolumeKey(delta);
            });
            return true;
        }
        case MediaKey::mute:
            if (!volume) return false;
            main_.post([weak] {
                if (auto self = weak.lock(); self && self->onMuteKey) self->onMuteKey();
            });
            return true;
    }
    return false;
}

double MediaKeyInterceptor::brightnessStep() const {
    return read(brightnessStep_);
}
void MediaKeyInterceptor::setBrightnessStep(double step) {
    write(brightnessStep_, step);
}
double MediaKeyInterceptor::volumeStep() const {
    return read(volumeStep_);
}
void MediaKeyInterceptor::setVolumeStep(double step) {
    write(volumeStep_, step);
}
bool MediaKeyInterceptor::interceptBrightness() const {
    return read(interceptBrightness_);
}
void MediaKeyInterceptor::setInterceptBrightness(bool on) {
    write(interceptBrightness_, on);
}
bool MediaKeyInterceptor::interceptVolume() const {
    return read(interceptVolume_);
}
void MediaKeyInterceptor::setInterceptVolume(bool on) {
    write(interceptVolume_, on);
}
bool MediaKeyInterceptor::hasExternalDisplays() const {
    return read(hasExternalDisplays_);
}
void MediaKeyInterceptor::setHasExternalDisplays(bool present) {
    write(hasExternalDisplays_, present);
}

}  // namespace orvane::input
