// SPDX-License-Identifier: MIT
#include "platform/linux/KGlobalAccel.h"

#include <X11/Xlib.h>
#include <systemd/sd-bus.h>

#include <array>
#include <cctype>
#include <utility>

namespace orvane::platform::linux_ {

namespace {

constexpr const char* kService = "org.kde.kglobalaccel";
constexpr const char* kPath = "/kglobalaccel";
constexpr const char* kInterface = "org.kde.KGlobalAccel";
constexpr const char* kComponent = "orvane";
constexpr const char* kComponentName = "Orvane";

// setShortcutKeys' flags.
constexpr std::uint32_t kIsDefault = 1;
constexpr std::uint32_t kSetPresent = 2;
constexpr std::uint32_t kNoAutoloading = 4;
/// How long Orvane's end waits for the service (microseconds).
constexpr std::uint64_t kLastCallTimeout = 500'000;

constexpr int kShift = 0x02000000, kControl = 0x04000000, kAlt = 0x08000000, kMeta = 0x10000000;
constexpr std::array<std::pair<int, const char*>, 4> kModifiers{
    {{kControl, "CTRL"}, {kAlt, "ALT"}, {kShift, "SHIFT"}, {kMeta, "LOGO"}}};

/// Keys outside Latin-1: Qt's code and the keysym's name.
constexpr std::array<std::pair<int, const char*>, 28> kSpecialKeys{{
    {0x01000000, "Escape"},
    {0x01000001, "Tab"},
    {0x01000003, "BackSpace"},
    {0x01000004, "Return"},
    {0x01000006, "Insert"},
    {0x01000007, "Delete"},
    {0x01000010, "Home"},
    {0x01000011, "End"},
    {0x01000012, "Left"},
    {0x01000013, "Up"},
    {0x01000014, "Right"},
    {0x01000015, "Down"},
    {0x01000016, "Prior"},
    {0x01000017, "Next"},
    {0x01000070, "XF86AudioLowerVolume"},
    {0x01000071, "XF86AudioMute"},
    {0x01000072, "XF86AudioRaiseVolume"},
    {0x010000b2, "XF86MonBrightnessUp"},
    {0x010000b3, "XF86MonBrightnessDown"},
    {0x01000030, "F1"},
    {0x01000031, "F2"},
    {0x01000032, "F3"},
    {0x01000033, "F4"},
    {0x01000034, "F5"},
    {0x01000035, "F6"},
    {0x01000036, "F7"},
    {0x01000037, "F8"},
    {0x01000038, "F9"},
}};

int keyCode(const std::string& name) {
    for (const auto& [code, keysym] : kSpecialKeys)
        if (name == keysym) return code;
    if (name == "F10" || name == "F11" || name == "F12") return 0x01000039 + (name[2] - '0');
    const KeySym keysym = XStringToKeysym(name.c_str());
    // Qt names printable keys by their Latin-1 code, letters in upper case.
    if (keysym >= 0x20 && keysym <= 0x7e) return std::toupper(int(keysym));
    return 0;
}

std::string keyName(int code) {
    for (const auto& [c, keysym] : kSpecialKeys)
        if (c == code) return keysym;
    if (code >= 0x01000039 && code <= 0x0100003b) return "F1" + std::to_string(code - 0x01000039);
    if (code >= 0x20 && code <= 0x7e) {
        const char* name = XKeysymToString(KeySym(std::tolower(code)));
        return name ? name : std::string();
    }
    return {};
}

void appendActionID(sd_bus_message* m, const ShortcutService::Shortcut& s) {
    sd_bus_message_append(m, "as", 4, kComponent, s.id.c_str(), kComponentName,
                          s.description.c_str());
}

/// The first key of the first sequence in an a(ai) reply; 0 for none.
int firstKey(sd_bus_message* reply) {
    int key = 0;
    if (sd_bus_message_enter_container(reply, 'a', "(ai)") > 0) {
        while (sd_bus_message_enter_container(reply, 'r', "ai") > 0) {
            const void* codes = nullptr;
            std::size_t size = 0;
            sd_bus_message_read_array(reply, 'i', &codes, &size);
            if (key == 0 && size >= sizeof(int)) key = *static_cast<const int*>(codes);
            sd_bus_message_exit_container(reply);
        }
        sd_bus_message_exit_container(reply);
    }
    return key;
}

std::string busError(const sd_bus_error& e, int r) {
    return e.message ? e.message : "D-Bus error " + std::to_string(-r);
}

}  // namespace

int KGlobalAccel::qtKey(const std::string& trigger) {
    int modifiers = 0;
    std::string rest = trigger;
    for (std::size_t plus;
         (plus = rest.find('+')) != std::string::npos && plus + 1 < rest.size();) {
        const auto word = rest.substr(0, plus);
        bool known = false;
        for (const auto& [flag, name] : kModifiers) {
            if (word == name) {
                modifiers |= flag;
                known = true;
            }
        }
        if (!known) return 0;
        rest = rest.substr(plus + 1);
    }
    const int key = keyCode(rest);
    return key ? key | modifiers : 0;
}

std::string KGlobalAccel::trigger(int qtKey) {
    const auto name = keyName(qtKey & ~(kShift | kControl | kAlt | kMeta));
    if (name.empty()) return {};
    std::string s;
    for (const auto& [flag, word] : kModifiers)
        if (qtKey & flag) s += std::string(word) + "+";
    return s + name;
}

std::unique_ptr<KGlobalAccel> KGlobalAccel::open(std::string& error) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        error = "no session bus";
        return nullptr;
    }
    if (!busNameHasOwner(bus, kService)) {
        sd_bus_flush_close_unref(bus);
        error = "KDE's global shortcut service (kglobalaccel) is not running";
        return nullptr;
    }
    auto service = std::unique_ptr<KGlobalAccel>(new KGlobalAccel(bus));
    service->loop_ = std::make_unique<BusLoop>(bus);
    if (!service->loop_->running()) {
        error = "cannot start the shortcut service's thread";
        return nullptr;
    }
    return service;
}

KGlobalAccel::~KGlobalAccel() {
    loop_->stop();
    for (const auto& id : actions_) {
        sd_bus_message* m = nullptr;
        if (sd_bus_message_new_method_call(bus_, &m, kService, kPath, kInterface, "setInactive") <
            0)
            continue;
        appendActionID(m, {id, "", ""});
        // Waited for: a start right after this one must find them done.
        sd_bus_error e{};
        sd_bus_call(bus_, m, kLastCallTimeout, &e, nullptr);
        sd_bus_error_free(&e);
        sd_bus_message_unref(m);
    }
    loop_.reset();
}

void KGlobalAccel::bind(std::vector<Shortcut> shortcuts, Bound done) {
    loop_->post([this, shortcuts = std::move(shortcuts), done = std::move(done)] {
        bindNow(shortcuts, done);
    });
}

bool KGlobalAccel::setKey(const Shortcut& shortcut, int key, std::uint32_t flags, int& held,
                          std::string& error) {
    sd_bus_message* m = nullptr;
    sd_bus_message_new_method_call(bus_, &m, kService, kPath, kInterface, "setShortcutKeys");
    appendActionID(m, shortcut);
    // One key sequence of one key, as Qt marshals a QKeySequence: four codes.
    sd_bus_message_open_container(m, 'a', "(ai)");
    if (key) {
        sd_bus_message_open_container(m, 'r', "ai");
        sd_bus_message_append(m, "ai", 4, key, 0, 0, 0);
        sd_bus_message_close_container(m);
    }
    sd_bus_message_close_container(m);
    sd_bus_message_append(m, "u", flags);
    sd_bus_error e{};
    sd_bus_message* reply = nullptr;
    const int r = sd_bus_call(bus_, m, 0, &e, &reply);
    sd_bus_message_unref(m);
    if (r < 0) {
        error = busError(e, r);
        sd_bus_error_free(&e);
        return false;
    }
    held = firstKey(reply);
    sd_bus_message_unref(reply);
    return true;
}

int KGlobalAccel::activeKey(const Shortcut& shortcut) {
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(bus_, &m, kService, kPath, kInterface, "shortcutKeys") < 0)
        return 0;
    appendActionID(m, shortcut);
    sd_bus_error e{};
    sd_bus_message* reply = nullptr;
    const int r = sd_bus_call(bus_, m, 0, &e, &reply);
    sd_bus_message_unref(m);
    sd_bus_error_free(&e);
    const int key = r < 0 ? 0 : firstKey(reply);
    sd_bus_message_unref(reply);
    return key;
}

void KGlobalAccel::bindNow(const std::vector<Shortcut>& shortcuts, const Bound& done) {
    std::map<std::string, std::string> triggers;
    for (const auto& s : shortcuts) {
        sd_bus_error e{};
        sd_bus_message* m = nullptr;
        sd_bus_message_new_method_call(bus_, &m, kService, kPath, kInterface, "doRegister");
        appendActionID(m, s);
        int r = sd_bus_call(bus_, m, 0, &e, nullptr);
        sd_bus_message_unref(m);
        std::string error;
        if (r < 0) {
            error = busError(e, r);
            sd_bus_error_free(&e);
            done(triggers, error);
            return;
        }
        actions_.insert(s.id);
        // At the start the key KDE keeps wins: the user may have changed it
        // in KDE's settings. Later in the run, a key still as Orvane set it
        // follows Orvane's new one (recorded in its own settings).
        const int key = qtKey(s.preferredTrigger);
        const auto last = lastSet_.find(s.id);
        const bool ours = last != lastSet_.end() && activeKey(s) == last->second;
        int held = 0;
        if (!setKey(s, key, kIsDefault, held, error) ||
            !setKey(s, key, kSetPresent | (ours ? kNoAutoloading : 0), held, error)) {
            done(triggers, error);
            return;
        }
        lastSet_[s.id] = held;
        triggers[s.id] = trigger(held);
    }
    if (!watching_) {
        sd_bus_error e{};
        sd_bus_message* reply = nullptr;
        const char* path = nullptr;
        const int r = sd_bus_call_method(bus_, kService, kPath, kInterface, "getComponent", &e,
                                         &reply, "s", kComponent);
        if (r < 0 || sd_bus_message_read(reply, "o", &path) < 0 || !path) {
            const auto error = busError(e, r);
            sd_bus_error_free(&e);
            sd_bus_message_unref(reply);
            done(triggers, "no component for Orvane: " + error);
            return;
        }
        const std::string match =
            "type='signal',interface='org.kde.kglobalaccel.Component',"
            "member='globalShortcutPressed',path='" +
            std::string(path) + "'";
        sd_bus_message_unref(reply);
        sd_bus_add_match(
            bus_, nullptr, match.c_str(),
            [](sd_bus_message* m, void* self, sd_bus_error*) {
                auto* service = static_cast<KGlobalAccel*>(self);
                const char* component = nullptr;
                const char* action = nullptr;
                if (sd_bus_message_read(m, "ss", &component, &action) >= 0 && action &&
                    service->onActivated)
                    service->onActivated(action);
                return 0;
            },
            this);
        watching_ = true;
    }
    done(triggers, "");
}

}  // namespace orvane::platform::linux_
