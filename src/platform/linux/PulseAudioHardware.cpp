// SPDX-License-Identifier: MIT
#include "platform/linux/PulseAudioHardware.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>

namespace orvane::platform::linux_ {

namespace {

/// The loop's lock for one scope.
class Locked {
  public:
    explicit Locked(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    ~Locked() { pa_threaded_mainloop_unlock(loop_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
    pa_threaded_mainloop* loop_;
};

bool startsWith(const char* s, const char* prefix) {
    return s && std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

struct Result {
    pa_threaded_mainloop* loop;
    bool ok = false;
};

void onSuccess(pa_context*, int success, void* userdata) {
    auto* r = static_cast<Result*>(userdata);
    r->ok = success != 0;
    pa_threaded_mainloop_signal(r->loop, 0);
}

constexpr bool outputScoped(const AudioObjectPropertyAddress& a) {
    return a.scope == kAudioDevicePropertyScopeOutput;
}

}  // namespace

PulseAudioHardware::PulseAudioHardware() = default;

std::unique_ptr<PulseAudioHardware> PulseAudioHardware::connect(std::string& error) {
    auto audio = std::unique_ptr<PulseAudioHardware>(new PulseAudioHardware());
    audio->loop_ = pa_threaded_mainloop_new();
    if (!audio->loop_) {
        error = "cannot make a PulseAudio main loop";
        return nullptr;
    }
    auto* loop = audio->loop_;
    audio->context_ = pa_context_new(pa_threaded_mainloop_get_api(loop), "Orvane");
    pa_context_set_state_callback(
        audio->context_,
        [](pa_context*, void* l) {
            pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(l), 0);
        },
        loop);
    if (pa_context_connect(audio->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(loop) < 0) {
        error = std::string("no sound server: ") + pa_strerror(pa_context_errno(audio->context_));
        return nullptr;
    }
    Locked lock(loop);
    for (;;) {
        const auto state = pa_context_get_state(audio->context_);
        if (state == PA_CONTEXT_READY) break;
        if (!PA_CONTEXT_IS_GOOD(state)) {
            error =
                std::string("no sound server: ") + pa_strerror(pa_context_errno(audio->context_));
            return nullptr;
        }
        pa_threaded_mainloop_wait(loop);
    }
    auto* self = audio.get();
    self->wait(pa_context_get_sink_info_list(
        self->context_,
        [](pa_context*, const pa_sink_info* info, int eol, void* data) {
            auto* me = static_cast<PulseAudioHardware*>(data);
            if (!eol && info) me->update(*info);
            if (eol) pa_threaded_mainloop_signal(me->loop_, 0);
        },
        self));
    pa_context_set_subscribe_callback(
        self->context_,
        [](pa_context* c, pa_subscription_event_type_t type, std::uint32_t index, void* data) {
            auto* me = static_cast<PulseAudioHardware*>(data);
            if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SINK) return;
            if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE) {
                me->removed(index);
                return;
            }
            // Runs on the loop's thread, which already holds its lock.
            if (auto* op = pa_context_get_sink_info_by_index(
                    c, index,
                    [](pa_context*, const pa_sink_info* info, int eol, void* d) {
                        if (!eol && info) static_cast<PulseAudioHardware*>(d)->update(*info);
                    },
                    me))
                pa_operation_unref(op);
        },
        self);
    if (auto* op =
            pa_context_subscribe(self->context_, PA_SUBSCRIPTION_MASK_SINK, nullptr, nullptr))
        pa_operation_unref(op);
    return audio;
}

PulseAudioHardware::~PulseAudioHardware() {
    if (loop_) pa_threaded_mainloop_stop(loop_);
    if (context_) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (loop_) pa_threaded_mainloop_free(loop_);
}

bool PulseAudioHardware::wait(pa_operation* op) {
    if (!op) return false;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(loop_);
    pa_operation_unref(op);
    return true;
}

void PulseAudioHardware::update(const pa_sink_info& info) {
    Sink sink;
    sink.index = info.index;
    const char* product = pa_proplist_gets(info.proplist, "device.product.name");
    const char* api = pa_proplist_gets(info.proplist, "device.api");
    const char* form = pa_proplist_gets(info.proplist, "device.form_factor");
    const char* port = info.active_port ? info.active_port->name : nullptr;
    const bool network = (api && std::strcmp(api, "raop") == 0) || startsWith(info.name, "raop");
    const bool display =
        product && *product &&
        (startsWith(port, "hdmi") || (port && std::strstr(port, "HDMI")) ||
         (form && (std::strcmp(form, "monitor") == 0 || std::strcmp(form, "tv") == 0)));
    if (network) {
        sink.transport = kAudioDeviceTransportTypeAirPlay;
        sink.name = info.description ? info.description : "";
    } else if (display) {
        sink.transport = kAudioDeviceTransportTypeHDMI;
        sink.name = product;
        // "pci-0000:01:00.1": the HDMI audio of the card in slot 0000:01:00.
        const char* bus = pa_proplist_gets(info.proplist, "device.bus_path");
        if (startsWith(bus, "pci-")) {
            std::string slot = bus + 4;
            slot = slot.substr(0, slot.rfind('.'));
            sink.pciSlot = slot;
        }
    } else {
        sink.transport = kAudioDeviceTransportTypeBuiltIn;
        sink.name = info.description ? info.description : "";
    }
    sink.channels = info.volume.channels;
    sink.volume = float(pa_cvolume_avg(&info.volume)) / float(PA_VOLUME_NORM);
    sink.mute = info.mute != 0;
    const auto id = idOf(info.index);
    const bool added = !sinks_.count(id);
    const auto old = added ? Sink{} : sinks_[id];
    sinks_[id] = sink;
    if (added) notify(kAudioObjectSystemObject, {kAudioHardwarePropertyDevices});
    if (added || old.volume != sink.volume)
        notify(id, {kAudioDevicePropertyVolumeScalar,
                    kAudioHardwareServiceDeviceProperty_VirtualMainVolume});
    if (added || old.mute != sink.mute) notify(id, {kAudioDevicePropertyMute});
}

void PulseAudioHardware::removed(std::uint32_t index) {
    if (sinks_.erase(idOf(index)))
        notify(kAudioObjectSystemObject, {kAudioHardwarePropertyDevices});
}

void PulseAudioHardware::notify(AudioObjectID object,
                                std::initializer_list<std::uint32_t> selectors) {
    std::lock_guard lock(listenersLock_);
    for (const auto& l : listeners_) {
        if (l.object != object ||
            std::find(selectors.begin(), selectors.end(), l.address.selector) == selectors.end())
            continue;
        l.queue->post([block = l.block, live = l.live, address = l.address] {
            if (*live) (*block)(address);
        });
    }
}

std::optional<PulseAudioHardware::Sink> PulseAudioHardware::sink(AudioObjectID object) {
    Locked lock(loop_);
    auto it = sinks_.find(object);
    if (it == sinks_.end()) return std::nullopt;
    return it->second;
}

bool PulseAudioHardware::hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& a) {
    if (object == kAudioObjectSystemObject) return a.selector == kAudioHardwarePropertyDevices;
    if (!sink(object)) return false;
    switch (a.selector) {
        case kAudioDevicePropertyTransportType:
        case kAudioObjectPropertyName:
            return true;
        case kAudioDevicePropertyStreamConfiguration:
        case kAudioHardwareServiceDeviceProperty_VirtualMainVolume:
        case kAudioDevicePropertyMute:
            return outputScoped(a);
        case kAudioDevicePropertyVolumeScalar:
            return outputScoped(a) && a.element == kAudioObjectPropertyElementMain;
        default:
            return false;
    }
}

OSStatus PulseAudioHardware::getPropertyDataSize(AudioObjectID object,
                                                 const AudioObjectPropertyAddress& a,
                                                 std::uint32_t& size) {
    size = 0;
    if (!hasProperty(object, a)) return kAudioHardwareUnknownPropertyError;
    if (object == kAudioObjectSystemObject) {
        Locked lock(loop_);
        size = std::uint32_t(sinks_.size() * sizeof(AudioObjectID));
        return kAudioHardwareNoError;
    }
    const auto s = sink(object);
    if (!s) return kAudioHardwareBadObjectError;
    switch (a.selector) {
        case kAudioObjectPropertyName:
            size = std::uint32_t(s->name.size());
            break;
        case kAudioDevicePropertyStreamConfiguration:
            size = 4 + 16;  // one buffer
            break;
        default:
            size = 4;
    }
    return kAudioHardwareNoError;
}

OSStatus PulseAudioHardware::getPropertyData(AudioObjectID object,
                                             const AudioObjectPropertyAddress& a,
                                             std::uint32_t& size, void* data) {
    std::vector<std::uint8_t> bytes;
    if (!hasProperty(object, a)) return kAudioHardwareUnknownPropertyError;
    auto put = [&](const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
    };
    if (object == kAudioObjectSystemObject) {
        Locked lock(loop_);
        for (const auto& [id, s] : sinks_)
            put(&id, sizeof id);
    } else {
        const auto s = sink(object);
        if (!s) return kAudioHardwareBadObjectError;
        switch (a.selector) {
            case kAudioDevicePropertyTransportType: {
                auto transport = s->transport;
                if (transport == kAudioDeviceTransportTypeHDMI && onDisplaysCard &&
                    !onDisplaysCard(s->name, s->pciSlot))
                    transport = kAudioDeviceTransportTypeUnknown;
                put(&transport, 4);
                break;
            }
            case kAudioObjectPropertyName:
                put(s->name.data(), s->name.size());
                break;
            case kAudioDevicePropertyStreamConfiguration: {
                const std::uint32_t buffers = 1, channels = s->channels;
                put(&buffers, 4);
                put(&channels, 4);
                bytes.resize(bytes.size() + 12);
                break;
            }
            case kAudioDevicePropertyMute: {
                const std::uint32_t mute = s->mute ? 1 : 0;
                put(&mute, 4);
                break;
            }
            default:
                put(&s->volume, 4);
        }
    }
    if (bytes.size() > size) return kAudioHardwareBadPropertySizeError;
    std::memcpy(data, bytes.data(), bytes.size());
    size = std::uint32_t(bytes.size());
    return kAudioHardwareNoError;
}

OSStatus PulseAudioHardware::setPropertyData(AudioObjectID object,
                                             const AudioObjectPropertyAddress& a,
                                             std::uint32_t size, const void* data) {
    if (!hasProperty(object, a) || object == kAudioObjectSystemObject)
        return kAudioHardwareUnknownPropertyError;
    if (size != 4 || !data) return kAudioHardwareBadPropertySizeError;
    Locked lock(loop_);
    auto it = sinks_.find(object);
    if (it == sinks_.end()) return kAudioHardwareBadObjectError;
    Result result{loop_};
    pa_operation* op = nullptr;
    if (a.selector == kAudioDevicePropertyMute) {
        std::uint32_t mute = 0;
        std::memcpy(&mute, data, 4);
        op = pa_context_set_sink_mute_by_index(context_, it->second.index, mute != 0, onSuccess,
                                               &result);
    } else if (a.selector == kAudioDevicePropertyVolumeScalar ||
               a.selector == kAudioHardwareServiceDeviceProperty_VirtualMainVolume) {
        float scalar = 0;
        std::memcpy(&scalar, data, 4);
        pa_cvolume volume;
        pa_cvolume_set(&volume, it->second.channels,
                       pa_volume_t(std::clamp(scalar, 0.0f, 1.0f) * float(PA_VOLUME_NORM) + 0.5f));
        op = pa_context_set_sink_volume_by_index(context_, it->second.index, &volume, onSuccess,
                                                 &result);
    } else {
        return kAudioHardwareUnknownPropertyError;
    }
    // Refused or gone: a failure, never a change reported as made.
    if (!wait(op) || !result.ok) return kAudioHardwareUnspecifiedError;
    return kAudioHardwareNoError;
}

OSStatus PulseAudioHardware::addPropertyListenerBlock(AudioObjectID object,
                                                      const AudioObjectPropertyAddress& address,
                                                      runtime::Executor& queue,
                                                      AudioObjectPropertyListenerBlock block) {
    if (!block) return kAudioHardwareUnspecifiedError;
    std::lock_guard lock(listenersLock_);
    listeners_.push_back(Listener{object, address, &queue, std::move(block),
                                  std::make_shared<std::atomic<bool>>(true)});
    return kAudioHardwareNoError;
}

OSStatus PulseAudioHardware::removePropertyListenerBlock(
    AudioObjectID object, const AudioObjectPropertyAddress& address, runtime::Executor& queue,
    const AudioObjectPropertyListenerBlock& block) {
    std::lock_guard lock(listenersLock_);
    auto it = std::find_if(listeners_.begin(), listeners_.end(), [&](const Listener& l) {
        return l.object == object && l.address == address && l.queue == &queue && l.block == block;
    });
    if (it == listeners_.end()) return kAudioHardwareUnspecifiedError;
    *it->live = false;  // a run already posted does nothing
    listeners_.erase(it);
    return kAudioHardwareNoError;
}

}  // namespace orvane::platform::linux_
