// SPDX-License-Identifier: MIT
// LinuxMachine's keys: media keys and shortcuts through X11 key grabs or the
// GlobalShortcuts portal, and whether keys can be had at all.
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
    // Through the portal nothing is grabbed: activations stop with the handler.
    if (session_.x11) {
        for (const auto& key : x11MediaKeys())
            session_.x11->ungrabKey(kMediaKeyGrab + int(key.key));
    }
    std::lock_guard lock(mediaKeysLock_);
    mediaKeys_.reset();
}

Subscription LinuxMachine::interceptMediaKeys(Handler handler) {
    if (!session_.x11 && !session_.portal) {
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
    if (!session_.x11) {
        std::vector<GlobalShortcutsPortal::Shortcut> keys;
        for (const auto& key : x11MediaKeys())
            keys.push_back({std::string("media-") + key.name, key.name, key.name});
        session_.portal->bind(keys, [this](const std::map<std::string, std::string>& bound,
                                           const std::string& error) {
            if (!error.empty()) {
                log_.line("[Linux] Media keys unavailable: " + error);
                return;
            }
            std::string list;
            for (const auto& [id, trigger] : bound)
                list += (list.empty() ? "" : ", ") + id.substr(6) + " '" + trigger + "'";
            log_.line("[Linux] Media keys through the GlobalShortcuts portal: " + list);
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

void LinuxMachine::portalActivated(const std::string& id) {
    if (id.rfind("media-", 0) == 0) {
        for (const auto& key : x11MediaKeys()) {
            if (id.substr(6) != key.name || deliverMediaKey(key.key)) continue;
            sayOnce("passback", "[Linux] The portal cannot hand a key back: " +
                                    std::string(key.name) + " it delivered did nothing");
        }
        return;
    }
    if (!main_) return;
    main_->post([this, id] {
        if (auto it = portalShortcuts_.find(id); it != portalShortcuts_.end())
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
    if (!session_.x11 && !session_.portal) {
        sayKeysUnavailable("shortcuts", "Global shortcuts");
        return keysUnavailable();
    }
    if (!activated || activated_) return errnoError(EBUSY, "shortcuts are listened to already");
    activated_ = std::make_shared<const std::function<void(std::uint32_t)>>(std::move(activated));
    return Subscription([this] { activated_.reset(); });
}

std::optional<PlatformError> LinuxMachine::bind(std::uint32_t id, std::uint32_t keyCode,
                                                std::uint32_t modifiers) {
    if (!session_.x11 && !session_.portal) {
        sayKeysUnavailable("shortcuts", "Global shortcuts");
        return keysUnavailable();
    }
    const auto keysym = keysymForKeyCode(keyCode);
    if (!keysym) return errnoError(EINVAL, "key " + std::to_string(keyCode) + " has no X keysym");
    if (shortcuts_.count(id))
        return errnoError(EEXIST, "shortcut " + std::to_string(id) + " is bound already");
    if (!session_.x11) {
        // The portal binds by id: the same id each start keeps the user's choice.
        const std::string portalID = "hotkey-" + std::to_string(id);
        shortcuts_.insert(id);
        portalShortcuts_[portalID] = id;
        session_.portal->bind(
            {{portalID, "Orvane shortcut " + std::to_string(id), xdgShortcut(keyCode, modifiers)}},
            [this, portalID](const std::map<std::string, std::string>& bound,
                             const std::string& error) {
                auto it = bound.find(portalID);
                if (!error.empty() || it == bound.end()) {
                    log_.line("[Linux] Shortcut " + portalID + " not bound by the portal: " +
                              (error.empty() ? "no answer for it" : error));
                } else if (it->second.empty()) {
                    log_.line("[Linux] Shortcut " + portalID +
                              " has no key yet - set one in the desktop's shortcut settings");
                } else {
                    log_.line("[Linux] Shortcut " + portalID + " bound by the portal to '" +
                              it->second + "'");
                }
            });
        // Asked for: the portal answers later, and its answer is logged.
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
    // The portal keeps its binding: an activation of it is ignored from now on.
    std::erase_if(portalShortcuts_, [&](const auto& p) { return p.second == id; });
    if (session_.x11) session_.x11->ungrabKey(kHotKeyGrab + int(id));
}

bool LinuxMachine::isProcessTrustedWithOptions(bool) {
    // Nothing asks the user here: keys can be intercepted when the session
    // offers a way to, and not otherwise.
    return session_.x11 != nullptr || session_.portal != nullptr;
}

}  // namespace orvane::platform::linux_
