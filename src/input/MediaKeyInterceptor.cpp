// SPDX-License-Identifier: MIT
#include "input/MediaKeyInterceptor.h"

namespace orvane::input {

using namespace platform;

std::optional<MediaKey> mediaKeyForKeyType(std::uint8_t keyType) {
    switch (keyType) {
        case 0:
            return MediaKey::volumeUp;
        case 1:
            return MediaKey::volumeDown;
        case 2:
            return MediaKey::brightnessUp;
        case 3:
            return MediaKey::brightnessDown;
        case 7:
            return MediaKey::mute;
        default:
            return std::nullopt;
    }
}

MediaKeyInterceptor::MediaKeyInterceptor(EventTapService& taps, runtime::Executor& main,
                                         runtime::Logger& log, const MechanismTexts& texts)
    : taps_(taps), main_(main), log_(log), texts_(texts) {}

MediaKeyInterceptor::~MediaKeyInterceptor() {
    // The tap's callback holds a raw pointer to this object: release it first.
    if (eventTap_) taps_.eventTapEnable(*eventTap_, false);
    if (runLoopSource_) taps_.runLoopRemoveSource(*runLoopSource_);
}

bool MediaKeyInterceptor::start() {
    if (isRunning_) return true;
    auto tap = taps_.eventTapCreate(kCGSessionEventTap, kCGHeadInsertEventTap,
                                    kCGEventTapOptionDefault, kEventMask, &tapCallback, this);
    if (!tap) {
        if (!texts_.eventTapFailed.empty()) log_.line(texts_.eventTapFailed);
        return false;
    }
    eventTap_ = std::move(tap);
    runLoopSource_ = taps_.machPortCreateRunLoopSource(*eventTap_, 0);
    if (runLoopSource_) taps_.runLoopAddSource(*runLoopSource_);
    taps_.eventTapEnable(*eventTap_, true);
    isRunning_ = true;
    log_.line("[MediaKeyInterceptor] Media key interception started");
    return true;
}

void MediaKeyInterceptor::stop() {
    if (!isRunning_) return;
    if (eventTap_) taps_.eventTapEnable(*eventTap_, false);
    if (runLoopSource_) taps_.runLoopRemoveSource(*runLoopSource_);
    runLoopSource_.reset();
    eventTap_.reset();
    isRunning_ = false;
    log_.line("[MediaKeyInterceptor] Media key interception stopped");
}

CGEvent* MediaKeyInterceptor::tapCallback(CGEventTapProxy, CGEventType type, CGEvent* event,
                                          void* userInfo) {
    auto* self = static_cast<MediaKeyInterceptor*>(userInfo);
    if (type == kCGEventTapDisabledByTimeout || type == kCGEventTapDisabledByUserInput) {
        if (self && self->eventTap_) self->taps_.eventTapEnable(*self->eventTap_, true);
        return event;
    }
    if (type == kCGEventSystemDefined && self && event) {
        return self->handleSystemDefinedEvent(*event) ? nullptr : event;
    }
    return event;
}

bool MediaKeyInterceptor::handleSystemDefinedEvent(const CGEvent& event) {
    const auto keyWord = static_cast<std::uint32_t>(
        taps_.eventGetIntegerValueField(event, kCGEventSystemDefinedData1));
    const auto state = static_cast<std::uint8_t>((keyWord >> 8) & 0xFF);
    if ((state & 0xFD) != 0) return false;
    const auto key = mediaKeyForKeyType(static_cast<std::uint8_t>((keyWord >> 16) & 0xFF));
    if (!key) return false;

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
    switch (*key) {
        case MediaKey::brightnessUp:
        case MediaKey::brightnessDown: {
            if (!brightness || !external) return false;
            const double delta = *key == MediaKey::brightnessUp ? brightnessStep : -brightnessStep;
            main_.post([weak, delta] {
                if (auto self = weak.lock(); self && self->onBrightnessKey)
                    self->onBrightnessKey(delta);
            });
            return true;
        }
        case MediaKey::volumeUp:
        case MediaKey::volumeDown: {
            if (!volume) return false;
            const double delta = *key == MediaKey::volumeUp ? volumeStep : -volumeStep;
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
