// SPDX-License-Identifier: MIT
// LinuxMachine's keys: media keys and shortcuts through X11 key grabs or a
// desktop service (KDE's KGlobalAccel, the GlobalShortcuts portal), and
// whether keys can be had at all.
#include "platform/linux/LinuxMachine.h"

#include <cerrno>

#include "platform/linux/X11Keys.h"

namespace orvane::platform::linux_ {

namespace {
// Key grab ids: media keys by their MediaKey, shortcuts by their id above.
constexpr int kMediaKeyGrab = 0x100;
constexpr int kHotKeyGrab = 0x10000;
}  // namespace

void LinuxMachine::endMediaKeys() {
    // Through a service nothing is grabbed: activations stop with the handler.
    if (session_.x11 && !session_.shortcuts) {
        for (const auto& key : x11MediaKeys())
            session_.x11->ungrabKey(kMediaKeyGrab + int(key.key));
    }
    std::lock_guard lock(mediaKeysLock_);
    mediaKeys_.reset();
}

Subscription LinuxMachine::interceptMediaKeys(Handler handler) {
    if (!session_.x11 && !session_.shortcuts) {
        sayKeysUnavailable("mediakeys", "Media keys");
        return {};
    }
    if (!handler) return {};
    {
        std::lock_guard lock(mediaKeysLock_);
        if (mediaKeys_) return {};  // one interception at a time holds the keys
        mediaKeys_ = std::make_shared<const Handler>(std::move(handler));
    }
    Subscription interception([this] { endMediaKeys(); });
    if (auto* service = session_.shortcuts.get()) {
        std::vector<ShortcutService::Shortcut> keys;
        for (const auto& key : x11MediaKeys())
            keys.push_back({std::string("media-") + key.name, key.name, key.name});
        service->bind(keys, [this, service](const std::map<std::string, std::string>& bound,
                                            const std::string& error) {
            if (!error.empty()) {
                log_.line("[Linux] Media keys unavailable: " + error);
                return;
            }
            std::string list, keyless;
            for (const auto& [id, trigger] : bound) {
                if (trigger.empty())
                    keyless += (keyless.empty() ? "" : ", ") + id.substr(6);
                else
                    list += (list.empty() ? "" : ", ") + id.substr(6) + " '" + trigger + "'";
            }
            if (!list.empty())
                log_.line("[Linux] Media keys through " + service->name() + ": " + list);
            // KDE keeps a key for the component that took it first (its
            // power and volume services take the media keys).
            if (!keyless.empty())
                log_.line("[Linux] Media keys " + service->name() + " gave no key: " + keyless +
                          " - set them in the desktop's shortcut settings");
        });
        return interception;
    }
    int grabbed = 0;
    for (const auto& key : x11MediaKeys()) {
        switch (session_.x11->grabKey(key.keysym, 0, kMediaKeyGrab + int(key.key))) {
            case X11Session::Grab::grabbed:
                ++grabbed;
                break;
            case X11Session::Grab::taken:
                sayOnce(std::string("taken:") + key.name,
                        std::string("[Linux] ") + key.name +
                            " is held by another program - not intercepted");
                break;
            case X11Session::Grab::noSuchKey:
                sayOnce(std::string("nokey:") + key.name,
                        std::string("[Linux] The keyboard has no ") + key.name + " key");
                break;
        }
    }
    if (grabbed == 0) {
        sayOnce("mediakeys",
                "[Linux] Media keys unavailable: every one is held by another program");
        return {};  // the interception ends here
    }
    return interception;
}

void LinuxMachine::keyPressed(int id) {
    if (id >= kHotKeyGrab) {
        shortcutFired(std::uint32_t(id - kHotKeyGrab));
        return;
    }
    const auto key = static_cast<MediaKey>(id - kMediaKeyGrab);
    // Passed on (no external display for a brightness key, say): the press
    // goes where it would have gone without Orvane.
    if (!deliverMediaKey(key)) session_.x11->replayKey(id);
}

bool LinuxMachine::deliverMediaKey(MediaKey key) {
    std::shared_ptr<const Handler> handler;
    {
        std::lock_guard lock(mediaKeysLock_);
        handler = mediaKeys_;
    }
    return handler && (*handler)(key);
}

void LinuxMachine::serviceActivated(const std::string& id) {
    if (id.rfind("media-", 0) == 0) {
        for (const auto& key : x11MediaKeys()) {
            if (id.substr(6) != key.name || deliverMediaKey(key.key)) continue;
            sayOnce("passback", "[Linux] " + keyService_ + " cannot hand a key back: " +
                                    std::string(key.name) + " it delivered did nothing");
        }
        return;
    }
    if (!main_) return;
    main_->post([this, id] {
        if (auto it = serviceShortcuts_.find(id); it != serviceShortcuts_.end())
            shortcutFired(it->second);
    });
}

void LinuxMachine::shortcutFired(std::uint32_t id) {
    if (!main_) return;
    main_->post([this, id] {
        if (activated_ && shortcuts_.count(id)) (*activated_)(id);
    });
}

namespace {
PlatformError keysUnavailable() {
    return errnoError(ENOTSUP, "the session offers no global shortcuts");
}
}  // namespace

std::variant<Subscription, PlatformError> LinuxMachine::listen(
    std::function<void(std::uint32_t id)> activated) {
    if (!session_.x11 && !session_.shortcuts) {
        sayKeysUnavailable("shortcuts", "Global shortcuts");
        return keysUnavailable();
    }
    if (!activated || activated_) return errnoError(EBUSY, "shortcuts are listened to already");
    activated_ = std::make_shared<const std::function<void(std::uint32_t)>>(std::move(activated));
    return Subscription([this] { activated_.reset(); });
}

std::optional<PlatformError> LinuxMachine::bind(std::uint32_t id, std::uint32_t keyCode,
                                                std::uint32_t modifiers,
                                                const ShortcutPurpose& purpose) {
    if (!session_.x11 && !session_.shortcuts) {
        sayKeysUnavailable("shortcuts", "Global shortcuts");
        return keysUnavailable();
    }
    const auto keysym = keysymForKeyCode(keyCode);
    if (!keysym) return errnoError(EINVAL, "key " + std::to_string(keyCode) + " has no X keysym");
    if (shortcuts_.count(id))
        return errnoError(EEXIST, "shortcut " + std::to_string(id) + " is bound already");
    if (auto* service = session_.shortcuts.get()) {
        // Services keep a binding by its name: the same name each start keeps
        // the user's choice.
        const std::string serviceID =
            purpose.name.empty() ? "hotkey-" + std::to_string(id) : purpose.name;
        shortcuts_.insert(id);
        serviceShortcuts_[serviceID] = id;
        service->bind(
            {{serviceID, purpose.label.empty() ? serviceID : purpose.label,
              xdgShortcut(keyCode, modifiers)}},
            [this, serviceID, service](const std::map<std::string, std::string>& bound,
                                       const std::string& error) {
                auto it = bound.find(serviceID);
                if (!error.empty() || it == bound.end()) {
                    log_.line("[Linux] Shortcut " + serviceID + " not bound by " +
                              service->shortName() + ": " +
                              (error.empty() ? "no answer for it" : error));
                } else if (it->second.empty()) {
                    log_.line("[Linux] Shortcut " + serviceID +
                              " has no key yet - set one in the desktop's shortcut settings");
                } else {
                    log_.line("[Linux] Shortcut " + serviceID + " bound by " +
                              service->shortName() + " to '" + it->second + "'");
                }
            });
        // Asked for: the service answers later, and its answer is logged.
        return std::nullopt;
    }
    switch (session_.x11->grabKey(*keysym, x11Modifiers(modifiers), kHotKeyGrab + int(id))) {
        case X11Session::Grab::grabbed:
            shortcuts_.insert(id);
            return std::nullopt;
        case X11Session::Grab::taken:
            return errnoError(EBUSY,
                              xdgShortcut(keyCode, modifiers) + " is held by another program");
        case X11Session::Grab::noSuchKey:
            break;
    }
    return errnoError(ENOENT, "the keyboard has no " + xdgShortcut(keyCode, modifiers) + " key");
}

void LinuxMachine::unbind(std::uint32_t id) {
    if (!shortcuts_.erase(id)) return;
    // A service keeps its binding: an activation of it is ignored from now on.
    std::erase_if(serviceShortcuts_, [&](const auto& p) { return p.second == id; });
    if (session_.x11 && !session_.shortcuts) session_.x11->ungrabKey(kHotKeyGrab + int(id));
}

bool LinuxMachine::isProcessTrustedWithOptions(bool) {
    // Nothing asks the user here: keys can be intercepted when the session
    // offers a way to, and not otherwise.
    return session_.x11 != nullptr || session_.shortcuts != nullptr;
}

}  // namespace orvane::platform::linux_
