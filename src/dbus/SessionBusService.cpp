// SPDX-License-Identifier: MIT
#include "dbus/SessionBusService.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "controls/PowerController.h"
#include "platform/linux/BusLoop.h"
#include "runtime/Spawn.h"

namespace orvane::dbus {

using nlohmann::json;

/// A method call waiting for its answer. The message is the bus thread's:
/// only that thread answers it and lets it go.
struct SessionBusService::Call {
    Call(sd_bus_message* m, std::weak_ptr<SessionBusService> s)
        : message(sd_bus_message_ref(m)), service(std::move(s)) {}
    /// Unanswered (dropped at termination, say): let go on the bus thread
    /// while it runs; once it has ended, here.
    ~Call() {
        if (!message) return;
        auto self = service.lock();
        if (self && !self->stopped_) {
            self->loop_->post([m = message] { sd_bus_message_unref(m); });
        } else {
            sd_bus_message_unref(message);
        }
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    sd_bus_message* message;
    std::weak_ptr<SessionBusService> service;
};

namespace {

using Fill = std::function<int(sd_bus_message* reply)>;

/// URL query text: every byte but the unreserved ones percent-encoded.
std::string encoded(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            ((out += '%') += hex[c >> 4]) += hex[c & 15];
        }
    }
    return out;
}

int appendValue(sd_bus_message* m, const json& value);

/// A JSON object as a{sv}; nulls are left out.
int appendDictionary(sd_bus_message* m, const json& object) {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    for (auto it = object.begin(); r >= 0 && it != object.end(); ++it) {
        if (it->is_null()) continue;
        r = sd_bus_message_open_container(m, 'e', "sv");
        if (r >= 0) r = sd_bus_message_append(m, "s", it.key().c_str());
        if (r >= 0) r = appendValue(m, *it);
        if (r >= 0) r = sd_bus_message_close_container(m);
    }
    return r < 0 ? r : sd_bus_message_close_container(m);
}

/// One JSON value as a variant.
int appendValue(sd_bus_message* m, const json& value) {
    if (value.is_boolean()) return sd_bus_message_append(m, "v", "b", int(value.get<bool>()));
    if (value.is_number_unsigned())
        return sd_bus_message_append(m, "v", "u", value.get<std::uint32_t>());
    if (value.is_number_integer())
        return sd_bus_message_append(m, "v", "i", value.get<std::int32_t>());
    if (value.is_number()) return sd_bus_message_append(m, "v", "d", value.get<double>());
    if (value.is_string())
        return sd_bus_message_append(m, "v", "s", value.get<std::string>().c_str());
    int r = sd_bus_message_open_container(m, 'v', "a{sv}");
    if (r >= 0) r = appendDictionary(m, value);
    return r < 0 ? r : sd_bus_message_close_container(m);
}

/// A variant argument in the words a URL takes: numbers and strings.
std::optional<std::string> readValue(sd_bus_message* m) {
    char type = 0;
    const char* contents = nullptr;
    if (sd_bus_message_peek_type(m, &type, &contents) < 0 || type != 'v' || !contents ||
        std::strlen(contents) != 1)
        return std::nullopt;
    if (sd_bus_message_enter_container(m, 'v', contents) < 0) return std::nullopt;
    std::optional<std::string> text;
    char buffer[64];
    const auto number = [&](auto v) {
        auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
        if (ec == std::errc()) text = std::string(buffer, end);
    };
    switch (contents[0]) {
        case 's': {
            const char* s = nullptr;
            if (sd_bus_message_read_basic(m, 's', &s) >= 0) text = s;
            break;
        }
        case 'd': {
            double v = 0;
            if (sd_bus_message_read_basic(m, 'd', &v) >= 0) number(v);
            break;
        }
        case 'y': {
            std::uint8_t v = 0;
            if (sd_bus_message_read_basic(m, 'y', &v) >= 0) number(unsigned(v));
            break;
        }
        case 'n':
        case 'q':
        case 'i':
        case 'u':
        case 'x':
        case 't': {
            std::int64_t v = 0;  // large enough for each; read by its own width
            union {
                std::int16_t n;
                std::uint16_t q;
                std::int32_t i;
                std::uint32_t u;
                std::int64_t x;
                std::uint64_t t;
            } raw{};
            if (sd_bus_message_read_basic(m, contents[0], &raw) < 0) break;
            switch (contents[0]) {
                case 'n':
                    v = raw.n;
                    break;
                case 'q':
                    v = raw.q;
                    break;
                case 'i':
                    v = raw.i;
                    break;
                case 'u':
                    v = raw.u;
                    break;
                case 'x':
                    v = raw.x;
                    break;
                default:
                    v = static_cast<std::int64_t>(raw.t);
                    break;
            }
            number(v);
            break;
        }
        default:
            break;
    }
    sd_bus_message_exit_container(m);
    return text;
}

int noControl(sd_bus_error* error, const char* control) {
    return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS,
                             "No control %s: brightness, contrast, volume, input or power",
                             control);
}

bool isControl(const std::string& control) {
    for (const char* c : {"brightness", "contrast", "volume", "input", "power"}) {
        if (control == c) return true;
    }
    return false;
}

}  // namespace

/// The vtable's handlers, on the bus thread: they read the arguments, then
/// hand the call to the main loop.
struct Handlers {
    static SessionBusService& service(void* userdata) {
        return *static_cast<SessionBusService*>(userdata);
    }
    /// Only the user whose session it is: a bus shared with others (a
    /// system-wide session bus, a forwarded one) must not let them in.
    static bool refused(sd_bus_message* m, sd_bus_error* error) {
        sd_bus_creds* creds = nullptr;
        uid_t uid = 0;
        const bool own = sd_bus_query_sender_creds(m, SD_BUS_CREDS_EUID, &creds) >= 0 &&
                         sd_bus_creds_get_euid(creds, &uid) >= 0 && uid == getuid();
        sd_bus_creds_unref(creds);
        if (!own)
            sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED,
                             "Only the user whose session this is may control Orvane");
        return !own;
    }
    /// Runs fn on the main loop with the call once the first scan has
    /// ended, as URL commands wait for it; the answer comes later.
    static int later(
        sd_bus_message* m, void* userdata,
        std::function<void(SessionBusService&, std::shared_ptr<SessionBusService::Call>)> fn) {
        auto weak = service(userdata).weak_from_this();
        auto call = std::make_shared<SessionBusService::Call>(m, weak);
        service(userdata).main_.post([weak, call, fn = std::move(fn)] {
            auto self = weak.lock();
            if (!self || self->stopped_) return;
            self->app_.delegate().whenLaunched([weak, call, fn] {
                if (auto self = weak.lock(); self && !self->stopped_) fn(*self, call);
            });
        });
        return 1;
    }

    static int activate(sd_bus_message* m, void* userdata, sd_bus_error* error) {
        if (refused(m, error)) return -EACCES;
        auto weak = service(userdata).weak_from_this();
        service(userdata).main_.post([weak] {
            auto self = weak.lock();
            if (!self || self->stopped_) return;
            if (auto& present = self->app_.delegate().presentWindow) present();
        });
        return sd_bus_reply_method_return(m, nullptr);
    }
    static int open(sd_bus_message* m, void* userdata, sd_bus_error* error) {
        if (refused(m, error)) return -EACCES;
        char** uris = nullptr;
        if (int r = sd_bus_message_read_strv(m, &uris); r < 0) return r;
        std::vector<std::string> urls;
        for (char** u = uris; u && *u; ++u) {
            urls.emplace_back(*u);
            free(*u);
        }
        free(uris);
        auto weak = service(userdata).weak_from_this();
        service(userdata).main_.post([weak, urls = std::move(urls)] {
            auto self = weak.lock();
            if (!self || self->stopped_) return;
            for (const auto& url : urls)
                self->app_.delegate().handleURLEvent(url);
        });
        return sd_bus_reply_method_return(m, nullptr);
    }
    static int activateAction(sd_bus_message* m, void*, sd_bus_error* error) {
        const char* name = nullptr;
        sd_bus_message_read(m, "s", &name);
        return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "Orvane has no action %s",
                                 name ? name : "");
    }

    static int listDisplays(sd_bus_message* m, void* userdata, sd_bus_error* error) {
        if (refused(m, error)) return -EACCES;
        return later(m, userdata, [](SessionBusService& self, auto call) {
            auto displays = json::parse(self.app_.cli().infoDocument()).at("displays");
            self.answer(call, [displays](sd_bus_message* reply) {
                int r = sd_bus_message_open_container(reply, 'a', "a{sv}");
                for (std::size_t i = 0; r >= 0 && i < displays.size(); ++i)
                    r = appendDictionary(reply, displays[i]);
                return r < 0 ? r : sd_bus_message_close_container(reply);
            });
        });
    }
    static int get(sd_bus_message* m, void* userdata, sd_bus_error* error) {
        if (refused(m, error)) return -EACCES;
        const char *display = nullptr, *control = nullptr;
        if (int r = sd_bus_message_read(m, "ss", &display, &control); r < 0) return r;
        if (!isControl(control)) return noControl(error, control);
        return later(m, userdata,
                     [display = std::string(display), control = std::string(control)](
                         SessionBusService& self, auto call) { self.get(call, display, control); });
    }
    static int set(sd_bus_message* m, void* userdata, sd_bus_error* error) {
        if (refused(m, error)) return -EACCES;
        const char *display = nullptr, *control = nullptr;
        if (int r = sd_bus_message_read(m, "ss", &display, &control); r < 0) return r;
        const auto value = readValue(m);
        if (!isControl(control)) return noControl(error, control);
        if (!value)
            return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS,
                                    "The value is a number or a string");
        const std::string url = "orvane://" + std::string(control) +
                                "?display=" + encoded(display) + "&value=" + encoded(*value);
        return later(m, userdata,
                     [url](SessionBusService& self, auto call) { self.runURL(call, url); });
    }
    static int applyPreset(sd_bus_message* m, void* userdata, sd_bus_error* error) {
        if (refused(m, error)) return -EACCES;
        const char* name = nullptr;
        if (int r = sd_bus_message_read(m, "s", &name); r < 0) return r;
        const std::string url = "orvane://preset?name=" + encoded(name);
        return later(m, userdata,
                     [url](SessionBusService& self, auto call) { self.runURL(call, url); });
    }
};

namespace {

const sd_bus_vtable kApplication[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD_WITH_NAMES("Activate", "a{sv}", SD_BUS_PARAM(platform_data), "", ,
                             &Handlers::activate, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("Open", "asa{sv}", SD_BUS_PARAM(uris) SD_BUS_PARAM(platform_data), "",
                             , &Handlers::open, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("ActivateAction", "sava{sv}",
                             SD_BUS_PARAM(action_name) SD_BUS_PARAM(parameter)
                                 SD_BUS_PARAM(platform_data),
                             "", , &Handlers::activateAction, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

const sd_bus_vtable kControlTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD_WITH_NAMES("ListDisplays", "", , "aa{sv}", SD_BUS_PARAM(displays),
                             &Handlers::listDisplays, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("Get", "ss", SD_BUS_PARAM(display) SD_BUS_PARAM(control), "v",
                             SD_BUS_PARAM(value), &Handlers::get, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("Set", "ssv",
                             SD_BUS_PARAM(display) SD_BUS_PARAM(control) SD_BUS_PARAM(value), "", ,
                             &Handlers::set, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("ApplyPreset", "s", SD_BUS_PARAM(name), "", , &Handlers::applyPreset,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL_WITH_NAMES("LevelChanged", "ssd",
                             SD_BUS_PARAM(display) SD_BUS_PARAM(control) SD_BUS_PARAM(value), 0),
    SD_BUS_VTABLE_END};

}  // namespace

std::shared_ptr<SessionBusService> SessionBusService::start(app::OrvaneApp& app,
                                                            runtime::RunLoop& main,
                                                            runtime::TeeLogger& log) {
    std::shared_ptr<SessionBusService> self(new SessionBusService(app, main, log));
    sd_bus* bus = nullptr;
    const auto fail = [&](const char* what, int r) {
        if (bus) sd_bus_flush_close_unref(bus);
        throw std::runtime_error(std::string(what) + ": " + std::strerror(-r));
    };
    if (int r = sd_bus_open_user(&bus); r < 0) fail("no session bus", r);
    if (int r = sd_bus_add_object_vtable(bus, nullptr, kPath, "org.freedesktop.Application",
                                         kApplication, self.get());
        r < 0)
        fail("cannot serve org.freedesktop.Application", r);
    if (int r = sd_bus_add_object_vtable(bus, nullptr, kPath, kControl, kControlTable, self.get());
        r < 0)
        fail("cannot serve the control interface", r);
    if (int r = sd_bus_request_name(bus, kName, 0); r < 0) fail("cannot take the name", r);
    self->bus_ = bus;
    self->loop_ = std::make_unique<platform::linux_::BusLoop>(bus);
    self->watchLevels();
    return self;
}

SessionBusService::~SessionBusService() {
    stop();
}

void SessionBusService::stop() {
    if (stopped_) return;
    stopped_ = true;
    loop_.reset();  // the thread ends, the name goes with the connection
    levelTokens_.clear();
    displaysToken_.reset();
}

void SessionBusService::answer(const std::shared_ptr<Call>& call,
                               std::function<int(sd_bus_message*)> fill) {
    if (stopped_) return;
    loop_->post([call, fill = std::move(fill)] {
        sd_bus_message* reply = nullptr;
        if (sd_bus_message_new_method_return(call->message, &reply) >= 0 && fill(reply) >= 0)
            sd_bus_send(nullptr, reply, nullptr);
        sd_bus_message_unref(reply);
        sd_bus_message_unref(call->message);
        call->message = nullptr;
    });
}

void SessionBusService::fail(const std::shared_ptr<Call>& call, std::string text) {
    if (stopped_) return;
    loop_->post([call, text = std::move(text)] {
        sd_bus_reply_method_errorf(call->message, kFailed, "%s", text.c_str());
        sd_bus_message_unref(call->message);
        call->message = nullptr;
    });
}

void SessionBusService::runURL(std::shared_ptr<Call> call, const std::string& url) {
    // The command's own lines say why it failed, as they do to a second start.
    const auto capture = log_.startCapture();
    std::weak_ptr<SessionBusService> weak = weak_from_this();
    app_.delegate().handleURLEvent(url, [weak, call, capture, url](bool handled) {
        auto self = weak.lock();
        if (!self) return;
        const auto lines = self->log_.stopCapture(capture);
        if (handled) return self->answer(call, [](sd_bus_message*) { return 0; });
        std::string why;
        std::size_t at = 0;
        while (at < lines.size()) {
            const auto end = std::min(lines.find('\n', at), lines.size());
            const auto line = lines.substr(at, end - at);
            at = end + 1;
            if (line.rfind("[CLIHandler] ", 0) != 0 ||
                line.find("Received URL") != std::string::npos)
                continue;
            why += (why.empty() ? "" : "; ") + line.substr(13);
        }
        self->fail(call, why.empty() ? url + " did not do what it asked" : why);
    });
}

void SessionBusService::get(std::shared_ptr<Call> call, const std::string& display,
                            const std::string& control) {
    auto selection = app_.cli().resolveDisplays(display.c_str());
    if (!selection.error.empty()) return fail(call, selection.error);
    if (selection.displays.size() != 1)
        return fail(call, "Get takes one display; '" + display + "' names " +
                              std::to_string(selection.displays.size()));
    const auto state = selection.displays.front();
    const auto& name = state->info.displayName();
    const auto number = [this, call](double v) {
        answer(call, [v](sd_bus_message* r) { return sd_bus_message_append(r, "v", "d", v); });
    };
    if (control == "brightness") return number(state->brightness);
    if (control == "contrast") {
        if (!state->supportsContrast) return fail(call, name + " has no contrast control");
        return number(state->contrast);
    }
    if (control == "volume") {
        if (!state->supportsVolume) return fail(call, name + " has no volume control");
        return number(state->volume);
    }
    const auto* record = app_.registry().record(state->info.id);
    if (control == "input") {
        if (!state->supportsInputSwitching || !record || !record->input)
            return fail(call, name + " has no input switching");
        const std::uint16_t input = record->input->currentInput();
        if (input == 0)
            return fail(call, name + ": its input is known once Orvane has switched it");
        return answer(
            call, [input](sd_bus_message* r) { return sd_bus_message_append(r, "v", "q", input); });
    }
    if (!state->supportsPowerControl || !record || !record->power)
        return fail(call, name + " has no power control");
    std::weak_ptr<SessionBusService> weak = weak_from_this();
    runtime::spawn(main_,
                   [](std::weak_ptr<SessionBusService> weak, std::shared_ptr<Call> call,
                      std::shared_ptr<controls::PowerController> power,
                      std::string name) -> runtime::Task<void> {
                       const auto state = co_await power->getPower();
                       auto self = weak.lock();
                       if (!self || self->stopped_) co_return;
                       if (!state)
                           co_return self->fail(call, "Could not read the power state of " + name);
                       const std::string word = controls::displayName(*state);
                       self->answer(call, [word](sd_bus_message* r) {
                           return sd_bus_message_append(r, "v", "s", word.c_str());
                       });
                   }(weak, call, record->power, name));
}

void SessionBusService::watchLevels() {
    // Each display's levels, subscribed again whenever the list changes.
    auto subscribe = [this] {
        levelTokens_.clear();
        for (const auto& state : app_.registry().displays()) {
            std::weak_ptr<displays::DisplayState> weakState = state;
            levelTokens_.push_back(state->observe([this, weakState](std::string_view field) {
                auto state = weakState.lock();
                if (!state || stopped_) return;
                const std::string key = app_.registry().displayKey(*state);
                if (field == "brightness") levelChanged(key, "brightness", state->brightness);
                if (field == "contrast") levelChanged(key, "contrast", state->contrast);
                if (field == "volume") levelChanged(key, "volume", state->volume);
            }));
        }
    };
    subscribe();
    displaysToken_ = app_.registry().observe([subscribe](std::string_view field) {
        if (field == "displays") subscribe();
    });
}

void SessionBusService::levelChanged(const std::string& key, const char* control, double value) {
    if (stopped_) return;
    // The loop's thread owns the connection; the signal goes out from there.
    auto* bus = bus_;
    loop_->post([bus, key, control = std::string(control), value] {
        sd_bus_emit_signal(bus, kPath, kControl, "LevelChanged", "ssd", key.c_str(),
                           control.c_str(), value);
    });
}

}  // namespace orvane::dbus
