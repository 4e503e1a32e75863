// SPDX-License-Identifier: MIT
#include "platform/sim/SimAudioHardware.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace orvane::platform::sim {

namespace {
template <typename T>
std::vector<std::uint8_t> bytesOf(T value) {
    std::vector<std::uint8_t> b(sizeof(T));
    std::memcpy(b.data(), &value, sizeof(T));
    return b;
}

bool isVolume(const AudioObjectPropertyAddress& a) {
    return a.scope == kAudioDevicePropertyScopeOutput &&
           (a.selector == kAudioHardwareServiceDeviceProperty_VirtualMainVolume ||
            a.selector == kAudioDevicePropertyVolumeScalar);
}
}  // namespace

void SimAudioHardware::addDevice(const SimAudioDeviceSpec& spec) {
    std::lock_guard lock(mutex_);
    if (!devices_.count(spec.id)) order_.push_back(spec.id);
    Device d{spec, {}};
    for (auto ch : spec.channels)
        d.channels[ch] = spec.volume;
    devices_[spec.id] = std::move(d);
}

void SimAudioHardware::removeDevice(AudioObjectID id) {
    std::lock_guard lock(mutex_);
    devices_.erase(id);
    order_.erase(std::remove(order_.begin(), order_.end(), id), order_.end());
}

void SimAudioHardware::failCall(SimAudioCall call, AudioObjectID object, std::uint32_t selector,
                                std::uint32_t element, OSStatus status) {
    std::lock_guard lock(mutex_);
    const FaultKey key{call, object, selector, element};
    if (status == kAudioHardwareNoError) {
        faults_.erase(key);
    } else {
        faults_[key] = status;
    }
}

OSStatus SimAudioHardware::fault(SimAudioCall call, AudioObjectID object,
                                 const AudioObjectPropertyAddress& a) const {
    auto it = faults_.find(FaultKey{call, object, a.selector, a.element});
    return it == faults_.end() ? kAudioHardwareNoError : it->second;
}

void SimAudioHardware::changeVolumeExternally(AudioObjectID id, float volume) {
    {
        std::lock_guard lock(mutex_);
        auto it = devices_.find(id);
        if (it == devices_.end()) return;
        it->second.spec.volume = volume;
        for (auto& [ch, v] : it->second.channels)
            v = volume;
    }
    notifyVolume(id);
}

std::optional<float> SimAudioHardware::volume(AudioObjectID id) const {
    std::lock_guard lock(mutex_);
    auto it = devices_.find(id);
    if (it == devices_.end()) return std::nullopt;
    return it->second.spec.volume;
}

std::optional<float> SimAudioHardware::channelVolume(AudioObjectID id,
                                                     std::uint32_t channel) const {
    std::lock_guard lock(mutex_);
    auto it = devices_.find(id);
    if (it == devices_.end()) return std::nullopt;
    auto ch = it->second.channels.find(channel);
    if (ch == it->second.channels.end()) return std::nullopt;
    return ch->second;
}

std::optional<bool> SimAudioHardware::muted(AudioObjectID id) const {
    std::lock_guard lock(mutex_);
    auto it = devices_.find(id);
    if (it == devices_.end() || !it->second.spec.hasMute) return std::nullopt;
    return it->second.spec.muted;
}

std::size_t SimAudioHardware::listenerCount(AudioObjectID id) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(
        listeners_.begin(), listeners_.end(), [&](const Listener& l) { return l.object == id; }));
}

std::vector<SimAudioDeviceSpec> SimAudioHardware::devices() const {
    std::lock_guard lock(mutex_);
    std::vector<SimAudioDeviceSpec> result;
    for (auto id : order_)
        result.push_back(devices_.at(id).spec);
    return result;
}

std::optional<std::vector<std::uint8_t>> SimAudioHardware::read(
    AudioObjectID object, const AudioObjectPropertyAddress& a) const {
    if (object == kAudioObjectSystemObject) {
        if (a.selector != kAudioHardwarePropertyDevices) return std::nullopt;
        std::vector<std::uint8_t> b;
        for (auto id : order_) {
            auto bytes = bytesOf(id);
            b.insert(b.end(), bytes.begin(), bytes.end());
        }
        return b;
    }
    auto it = devices_.find(object);
    if (it == devices_.end()) return std::nullopt;
    const Device& d = it->second;
    const auto& s = d.spec;
    const bool output = a.scope == kAudioDevicePropertyScopeOutput;
    switch (a.selector) {
        case kAudioDevicePropertyTransportType: {
            const char* t = s.transport.c_str();
            return bytesOf((std::uint32_t(std::uint8_t(t[0])) << 24) |
                           (std::uint32_t(std::uint8_t(t[1])) << 16) |
                           (std::uint32_t(std::uint8_t(t[2])) << 8) |
                           std::uint32_t(std::uint8_t(t[3])));
        }
        case kAudioObjectPropertyName:
            return std::vector<std::uint8_t>(s.name.begin(), s.name.end());
        case kAudioDevicePropertyStreamConfiguration: {
            if (!output) return std::nullopt;
            auto b = bytesOf(s.outputBuffers);
            b.resize(4 + 16 * static_cast<std::size_t>(s.outputBuffers));
            return b;
        }
        case kAudioHardwareServiceDeviceProperty_VirtualMainVolume:
            if (!output || a.element != 0 || !s.virtualMainVolume) return std::nullopt;
            return bytesOf(s.volume);
        case kAudioDevicePropertyVolumeScalar:
            if (!output) return std::nullopt;
            if (a.element == 0) {
                if (!s.mainScalar) return std::nullopt;
                return bytesOf(s.volume);
            }
            if (auto ch = d.channels.find(a.element); ch != d.channels.end())
                return bytesOf(ch->second);
            return std::nullopt;
        case kAudioDevicePropertyMute:
            if (!output || a.element != 0 || !s.hasMute) return std::nullopt;
            return bytesOf(std::uint32_t(s.muted ? 1 : 0));
        default:
            return std::nullopt;
    }
}

bool SimAudioHardware::hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& a) {
    std::lock_guard lock(mutex_);
    return read(object, a).has_value();
}

OSStatus SimAudioHardware::getPropertyDataSize(AudioObjectID object,
                                               const AudioObjectPropertyAddress& a,
                                               std::uint32_t& size) {
    std::lock_guard lock(mutex_);
    if (auto st = fault(SimAudioCall::getSize, object, a)) return st;
    auto bytes = read(object, a);
    if (!bytes) {
        return object == kAudioObjectSystemObject || devices_.count(object)
                   ? kAudioHardwareUnknownPropertyError
                   : kAudioHardwareBadObjectError;
    }
    size = static_cast<std::uint32_t>(bytes->size());
    return kAudioHardwareNoError;
}

OSStatus SimAudioHardware::getPropertyData(AudioObjectID object,
                                           const AudioObjectPropertyAddress& a, std::uint32_t& size,
                                           void* data) {
    std::lock_guard lock(mutex_);
    if (auto st = fault(SimAudioCall::get, object, a)) return st;
    auto bytes = read(object, a);
    if (!bytes) {
        return object == kAudioObjectSystemObject || devices_.count(object)
                   ? kAudioHardwareUnknownPropertyError
                   : kAudioHardwareBadObjectError;
    }
    // Fixed-size values need room for all of their bytes; lists fill what fits.
    const bool list = a.selector == kAudioHardwarePropertyDevices ||
                      a.selector == kAudioObjectPropertyName ||
                      a.selector == kAudioDevicePropertyStreamConfiguration;
    if (!list && size < bytes->size()) return kAudioHardwareBadPropertySizeError;
    const auto n = std::min<std::size_t>(size, bytes->size());
    if (n) std::memcpy(data, bytes->data(), n);
    size = static_cast<std::uint32_t>(n);
    return kAudioHardwareNoError;
}

OSStatus SimAudioHardware::setPropertyData(AudioObjectID object,
                                           const AudioObjectPropertyAddress& a, std::uint32_t size,
                                           const void* data) {
    bool volumeChanged = false;
    {
        std::lock_guard lock(mutex_);
        if (auto st = fault(SimAudioCall::set, object, a)) return st;
        if (!read(object, a)) return kAudioHardwareUnknownPropertyError;
        writes_.emplace_back(object, a.selector);
        Device& d = devices_.at(object);
        if (a.selector == kAudioDevicePropertyMute) {
            if (size != 4) return kAudioHardwareBadPropertySizeError;
            std::uint32_t v = 0;
            std::memcpy(&v, data, 4);
            d.spec.muted = v != 0;
        } else if (isVolume(a)) {
            if (size != 4) return kAudioHardwareBadPropertySizeError;
            float v = 0;
            std::memcpy(&v, data, 4);
            v = std::clamp(v, 0.0f, 1.0f);
            if (a.selector == kAudioHardwareServiceDeviceProperty_VirtualMainVolume) {
                volumeChanged = d.spec.volume != v;
                d.spec.volume = v;
                for (auto& [ch, cv] : d.channels)
                    cv = v;
            } else if (a.element == 0) {
                volumeChanged = d.spec.volume != v;
                d.spec.volume = v;
            } else {
                d.channels[a.element] = v;
            }
        } else {
            return kAudioHardwareUnknownPropertyError;  // read-only
        }
    }
    if (volumeChanged) notifyVolume(object);
    return kAudioHardwareNoError;
}

OSStatus SimAudioHardware::addPropertyListenerBlock(AudioObjectID object,
                                                    const AudioObjectPropertyAddress& a,
                                                    runtime::Executor& queue,
                                                    AudioObjectPropertyListenerBlock block) {
    std::lock_guard lock(mutex_);
    if (auto st = fault(SimAudioCall::addListener, object, a)) return st;
    if (!devices_.count(object)) return kAudioHardwareBadObjectError;
    listeners_.push_back(Listener{object, a, &queue, std::move(block)});
    return kAudioHardwareNoError;
}

OSStatus SimAudioHardware::removePropertyListenerBlock(
    AudioObjectID object, const AudioObjectPropertyAddress& a, runtime::Executor& queue,
    const AudioObjectPropertyListenerBlock& block) {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(listeners_.begin(), listeners_.end(), [&](const Listener& l) {
        return l.object == object && l.address == a && l.queue == &queue && l.block == block;
    });
    if (it == listeners_.end()) return kAudioHardwareUnknownPropertyError;
    listeners_.erase(it);
    return kAudioHardwareNoError;
}

void SimAudioHardware::notifyVolume(AudioObjectID id) {
    std::vector<Listener> due;
    {
        std::lock_guard lock(mutex_);
        for (const auto& l : listeners_) {
            if (l.object == id && isVolume(l.address) && l.address.element == 0) due.push_back(l);
        }
    }
    for (auto& l : due) {
        l.queue->post([block = l.block, address = l.address] { (*block)(address); });
    }
}

}  // namespace orvane::platform::sim

namespace orvane::platform::sim {

std::vector<std::uint32_t> SimAudioHardware::writes(AudioObjectID id) const {
    std::lock_guard lock(mutex_);
    std::vector<std::uint32_t> selectors;
    for (const auto& [object, selector] : writes_) {
        if (object == id) selectors.push_back(selector);
    }
    return selectors;
}

}  // namespace orvane::platform::sim
