// SPDX-License-Identifier: MIT
#include "platform/linux/GlobalShortcutsPortal.h"

#include <systemd/sd-bus.h>

#include <algorithm>

namespace orvane::platform::linux_ {

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPath = "/org/freedesktop/portal/desktop";
constexpr const char* kInterface = "org.freedesktop.portal.GlobalShortcuts";

/// The string or object path under key in an a{sv} (the message is left after it).
std::string readStringResult(sd_bus_message* m, const std::string& wanted) {
    std::string found;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return found;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* key = nullptr;
        sd_bus_message_read(m, "s", &key);
        char type = 0;
        const char* contents = nullptr;
        sd_bus_message_peek_type(m, &type, &contents);
        if (key && wanted == key && contents && (contents[0] == 's' || contents[0] == 'o')) {
            const char* value = nullptr;
            sd_bus_message_read(m, "v", contents, &value);
            if (value) found = value;
        } else {
            sd_bus_message_skip(m, "v");
        }
        sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
    return found;
}

/// The "shortcuts" result: each id with its trigger description.
std::map<std::string, std::string> readShortcuts(sd_bus_message* m) {
    std::map<std::string, std::string> shortcuts;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return shortcuts;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* key = nullptr;
        sd_bus_message_read(m, "s", &key);
        if (!key || std::string(key) != "shortcuts" ||
            sd_bus_message_enter_container(m, 'v', "a(sa{sv})") < 0) {
            sd_bus_message_skip(m, "v");
            sd_bus_message_exit_container(m);
            continue;
        }
        sd_bus_message_enter_container(m, 'a', "(sa{sv})");
        while (sd_bus_message_enter_container(m, 'r', "sa{sv}") > 0) {
            const char* id = nullptr;
            sd_bus_message_read(m, "s", &id);
            const auto trigger = readStringResult(m, "trigger_description");
            if (id) shortcuts[id] = trigger;
            sd_bus_message_exit_container(m);
        }
        sd_bus_message_exit_container(m);
        sd_bus_message_exit_container(m);
        sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
    return shortcuts;
}

}  // namespace

std::unique_ptr<GlobalShortcutsPortal> GlobalShortcutsPortal::open(std::string& error) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        error = "no session bus";
        return nullptr;
    }
    sd_bus_error e{};  // SD_BUS_ERROR_NULL, without its C99 compound literal
    std::uint32_t version = 0;
    const int r =
        sd_bus_get_property_trivial(bus, kPortal, kPath, kInterface, "version", &e, 'u', &version);
    sd_bus_error_free(&e);
    if (r < 0) {
        sd_bus_flush_close_unref(bus);
        error = "the desktop portal offers no GlobalShortcuts";
        return nullptr;
    }
    auto portal = std::unique_ptr<GlobalShortcutsPortal>(new GlobalShortcutsPortal(bus));
    portal->loop_ = std::make_unique<BusLoop>(bus);
    if (!portal->loop_->running()) {
        error = "cannot start the portal's thread";
        return nullptr;
    }
    return portal;
}

GlobalShortcutsPortal::GlobalShortcutsPortal(sd_bus* bus) : bus_(bus) {
    const char* unique = nullptr;
    sd_bus_get_unique_name(bus_, &unique);
    // ":1.42" is "1_42" in request paths.
    for (const char* c = unique ? unique : ""; *c; ++c) {
        if (*c == ':') continue;
        sender_ += *c == '.' ? '_' : *c;
    }
    const std::string responses =
        "type='signal',interface='org.freedesktop.portal.Request',"
        "member='Response',path_namespace='" +
        std::string(kPath) + "/request/" + sender_ + "'";
    sd_bus_add_match(
        bus_, nullptr, responses.c_str(),
        [](sd_bus_message* m, void* self, sd_bus_error*) {
            auto* portal = static_cast<GlobalShortcutsPortal*>(self);
            const std::string path = sd_bus_message_get_path(m);
            const auto token = path.substr(path.rfind('/') + 1);
            auto it = portal->pending_.find(token);
            if (it == portal->pending_.end()) return 0;
            auto then = std::move(it->second);
            portal->pending_.erase(it);
            std::uint32_t response = 2;
            sd_bus_message_read(m, "u", &response);
            // Outside the bus's dispatch: the next step makes calls of its own.
            sd_bus_message_ref(m);
            portal->loop_->post([then = std::move(then), response, m] {
                then(response, m);
                sd_bus_message_unref(m);
            });
            return 0;
        },
        this);
    const std::string activated = std::string("type='signal',interface='") + kInterface +
                                  "',member='Activated',path='" + kPath + "'";
    sd_bus_add_match(
        bus_, nullptr, activated.c_str(),
        [](sd_bus_message* m, void* self, sd_bus_error*) {
            auto* portal = static_cast<GlobalShortcutsPortal*>(self);
            const char* session = nullptr;
            const char* id = nullptr;
            if (sd_bus_message_read(m, "os", &session, &id) < 0 || !session || !id) return 0;
            if (portal->session_ == session && portal->onActivated) portal->onActivated(id);
            return 0;
        },
        this);
}

GlobalShortcutsPortal::~GlobalShortcutsPortal() {
    loop_.reset();  // its thread calls into this object; it closes the bus
}

void GlobalShortcutsPortal::request(
    const std::string& method,
    const std::function<void(sd_bus_message*, const std::string& token)>& append,
    std::function<void(std::uint32_t, sd_bus_message*)> then) {
    const std::string token = "orvane" + std::to_string(nextToken_++);
    pending_[token] = std::move(then);
    sd_bus_message* m = nullptr;
    sd_bus_message_new_method_call(bus_, &m, kPortal, kPath, kInterface, method.c_str());
    append(m, token);
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, without its C99 compound literal
    const int r = sd_bus_call(bus_, m, 0, &error, nullptr);
    sd_bus_error_free(&error);
    sd_bus_message_unref(m);
    if (r < 0) {
        auto then2 = std::move(pending_[token]);
        pending_.erase(token);
        then2(2, nullptr);
    }
}

void GlobalShortcutsPortal::bind(std::vector<Shortcut> shortcuts, Bound done) {
    loop_->post([this, shortcuts = std::move(shortcuts), done = std::move(done)]() mutable {
        bindNow(std::move(shortcuts), std::move(done));
    });
}

void GlobalShortcutsPortal::bindNow(std::vector<Shortcut> shortcuts, Bound done) {
    if (session_.empty()) {
        // One session for Orvane's life, made on first use.
        request(
            "CreateSession",
            [](sd_bus_message* m, const std::string& token) {
                sd_bus_message_append(m, "a{sv}", 2, "handle_token", "s", token.c_str(),
                                      "session_handle_token", "s", "orvane");
            },
            [this, shortcuts = std::move(shortcuts), done = std::move(done)](
                std::uint32_t response, sd_bus_message* results) mutable {
                if (response != 0 || !results) {
                    done({}, "the portal refused a session");
                    return;
                }
                session_ = readStringResult(results, "session_handle");
                if (session_.empty()) {
                    done({}, "the portal gave no session");
                    return;
                }
                bindNow(std::move(shortcuts), std::move(done));
            });
        return;
    }
    request(
        "ListShortcuts",
        [this](sd_bus_message* m, const std::string& token) {
            sd_bus_message_append(m, "o", session_.c_str());
            sd_bus_message_append(m, "a{sv}", 1, "handle_token", "s", token.c_str());
        },
        [this, shortcuts = std::move(shortcuts), done = std::move(done)](
            std::uint32_t response, sd_bus_message* results) mutable {
            auto held = response == 0 && results ? readShortcuts(results)
                                                 : std::map<std::string, std::string>{};
            std::vector<Shortcut> missing;
            for (const auto& s : shortcuts) {
                if (!held.count(s.id)) missing.push_back(s);
            }
            std::map<std::string, std::string> wanted;
            for (const auto& s : shortcuts) {
                if (held.count(s.id)) wanted[s.id] = held[s.id];
            }
            if (missing.empty()) {
                done(wanted, "");
                return;
            }
            request(
                "BindShortcuts",
                [this, &missing](sd_bus_message* m, const std::string& token) {
                    sd_bus_message_append(m, "o", session_.c_str());
                    sd_bus_message_open_container(m, 'a', "(sa{sv})");
                    for (const auto& s : missing) {
                        sd_bus_message_open_container(m, 'r', "sa{sv}");
                        sd_bus_message_append(m, "s", s.id.c_str());
                        sd_bus_message_append(m, "a{sv}", 2, "description", "s",
                                              s.description.c_str(), "preferred_trigger", "s",
                                              s.preferredTrigger.c_str());
                        sd_bus_message_close_container(m);
                    }
                    sd_bus_message_close_container(m);
                    sd_bus_message_append(m, "s", "");
                    sd_bus_message_append(m, "a{sv}", 1, "handle_token", "s", token.c_str());
                },
                [wanted = std::move(wanted), missing, done = std::move(done)](
                    std::uint32_t response, sd_bus_message* results) mutable {
                    if (response != 0 || !results) {
                        done(wanted, "the portal did not bind the shortcuts");
                        return;
                    }
                    const auto bound = readShortcuts(results);
                    for (const auto& s : missing) {
                        auto it = bound.find(s.id);
                        wanted[s.id] = it == bound.end() ? "" : it->second;
                    }
                    done(wanted, "");
                });
        });
}

}  // namespace orvane::platform::linux_
