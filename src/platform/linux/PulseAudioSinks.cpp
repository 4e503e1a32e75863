// SPDX-License-Identifier: MIT
#include "platform/linux/PulseAudioSinks.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cerrno>
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
    pa_context* context;
    bool ok = false;
    int error = 0;
};

void onSuccess(pa_context*, int success, void* userdata) {
    auto* r = static_cast<Result*>(userdata);
    r->ok = success != 0;
    if (!r->ok) r->error = pa_context_errno(r->context);
    pa_threaded_mainloop_signal(r->loop, 0);
}

/// The server's words for its error, with the errno nearest to it.
PlatformError serverError(int error) {
    int code = EIO;
    switch (error) {
        case PA_ERR_ACCESS:
            code = EACCES;
            break;
        case PA_ERR_NOENTITY:
            code = ENOENT;
            break;
        case PA_ERR_CONNECTIONTERMINATED:
        case PA_ERR_CONNECTIONREFUSED:
            code = ENOTCONN;
            break;
        case PA_ERR_NOTSUPPORTED:
        case PA_ERR_NOTIMPLEMENTED:
            code = ENOTSUP;
            break;
        default:
            break;
    }
    return errnoError(code, pa_strerror(error));
}

}  // namespace

PulseAudioSinks::PulseAudioSinks() = default;

std::unique_ptr<PulseAudioSinks> PulseAudioSinks::connect(std::string& error) {
    auto audio = std::unique_ptr<PulseAudioSinks>(new PulseAudioSinks());
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
            auto* me = static_cast<PulseAudioSinks*>(data);
            if (!eol && info) me->update(*info);
            if (eol) pa_threaded_mainloop_signal(me->loop_, 0);
        },
        self));
    pa_context_set_subscribe_callback(
        self->context_,
        [](pa_context* c, pa_subscription_event_type_t type, std::uint32_t index, void* data) {
            auto* me = static_cast<PulseAudioSinks*>(data);
            if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SINK) return;
            if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE) {
                me->removed(index);
                return;
            }
            // Runs on the loop's thread, which already holds its lock.
            if (auto* op = pa_context_get_sink_info_by_index(
                    c, index,
                    [](pa_context*, const pa_sink_info* info, int eol, void* d) {
                        if (!eol && info) static_cast<PulseAudioSinks*>(d)->update(*info);
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

PulseAudioSinks::~PulseAudioSinks() {
    if (loop_) pa_threaded_mainloop_stop(loop_);
    if (context_) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (loop_) pa_threaded_mainloop_free(loop_);
}

bool PulseAudioSinks::wait(pa_operation* op) {
    if (!op) return false;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(loop_);
    pa_operation_unref(op);
    return true;
}

void PulseAudioSinks::update(const pa_sink_info& info) {
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
        sink.transport = AudioTransport::airPlay;
        sink.name = info.description ? info.description : "";
    } else if (display) {
        sink.transport = AudioTransport::hdmi;
        sink.name = product;
        // "pci-0000:01:00.1": the HDMI audio of the card in slot 0000:01:00.
        const char* bus = pa_proplist_gets(info.proplist, "device.bus_path");
        if (startsWith(bus, "pci-")) {
            std::string slot = bus + 4;
            slot = slot.substr(0, slot.rfind('.'));
            sink.pciSlot = slot;
        }
    } else {
        sink.transport = AudioTransport::builtIn;
        sink.name = info.description ? info.description : "";
    }
    sink.channels = info.volume.channels;
    sink.volume = float(pa_cvolume_avg(&info.volume)) / float(PA_VOLUME_NORM);
    sink.mute = info.mute != 0;
    const AudioSinkID id = info.index;
    const auto old = sinks_.find(id);
    const bool changed = old == sinks_.end() || old->second.volume != sink.volume;
    sinks_[id] = sink;
    if (changed) notify(id);
}

void PulseAudioSinks::removed(std::uint32_t index) {
    sinks_.erase(index);
}

void PulseAudioSinks::notify(AudioSinkID id) {
    std::lock_guard lock(watchersLock_);
    for (const auto& w : watchers_) {
        if (w.sink != id) continue;
        w.queue->post([changed = w.changed, live = w.live] {
            if (*live) (*changed)();
        });
    }
}

std::optional<PulseAudioSinks::Sink> PulseAudioSinks::sink(AudioSinkID id) {
    Locked lock(loop_);
    auto it = sinks_.find(id);
    if (it == sinks_.end()) return std::nullopt;
    return it->second;
}

std::vector<AudioSink> PulseAudioSinks::sinks() {
    std::vector<Sink> all;
    {
        Locked lock(loop_);
        for (const auto& [id, s] : sinks_)
            all.push_back(s);
    }
    std::vector<AudioSink> result;
    for (const auto& s : all) {
        auto transport = s.transport;
        // Asked without the loop's lock: the check reads the machine's cards.
        if (transport == AudioTransport::hdmi && onDisplaysCard &&
            !onDisplaysCard(s.name, s.pciSlot))
            transport = AudioTransport::other;
        result.push_back({s.index, s.name, transport, 1});
    }
    return result;
}

std::optional<float> PulseAudioSinks::volume(AudioSinkID id) {
    const auto s = sink(id);
    if (!s) return std::nullopt;
    return s->volume;
}

std::optional<PlatformFailure> PulseAudioSinks::write(
    AudioSinkID id, const char* control,
    const std::function<pa_operation*(const Sink&, void* result)>& start) {
    Locked lock(loop_);
    auto it = sinks_.find(id);
    if (it == sinks_.end()) return PlatformFailure{control, errnoError(ENOENT, "no such sink")};
    Result result{loop_, context_};
    pa_operation* op = start(it->second, &result);
    if (!op) return PlatformFailure{control, serverError(pa_context_errno(context_))};
    // Refused or gone: a failure, never a change reported as made.
    wait(op);
    if (!result.ok) return PlatformFailure{control, serverError(result.error)};
    return std::nullopt;
}

std::optional<PlatformFailure> PulseAudioSinks::setVolume(AudioSinkID id, float volume) {
    return write(id, "Volume", [&](const Sink& s, void* result) {
        pa_cvolume levels;
        pa_cvolume_set(&levels, s.channels,
                       pa_volume_t(std::clamp(volume, 0.0f, 1.0f) * float(PA_VOLUME_NORM) + 0.5f));
        return pa_context_set_sink_volume_by_index(context_, s.index, &levels, onSuccess, result);
    });
}

std::optional<PlatformFailure> PulseAudioSinks::setMute(AudioSinkID id, bool muted) {
    return write(id, "Mute", [&](const Sink& s, void* result) {
        return pa_context_set_sink_mute_by_index(context_, s.index, muted, onSuccess, result);
    });
}

std::variant<Subscription, PlatformError> PulseAudioSinks::watchVolume(
    AudioSinkID id, runtime::Executor& queue, std::function<void()> changed) {
    if (!sink(id)) return errnoError(ENOENT, "no such sink");
    auto live = std::make_shared<std::atomic<bool>>(true);
    auto callback = std::make_shared<const std::function<void()>>(std::move(changed));
    {
        std::lock_guard lock(watchersLock_);
        watchers_.push_back(Watcher{id, &queue, callback, live});
    }
    return Subscription([this, live] {
        std::lock_guard lock(watchersLock_);
        *live = false;  // a run already posted does nothing
        std::erase_if(watchers_, [&](const Watcher& w) { return w.live == live; });
    });
}

}  // namespace orvane::platform::linux_
