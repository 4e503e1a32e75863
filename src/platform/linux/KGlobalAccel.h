// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/BusLoop.h"
#include "platform/linux/ShortcutService.h"

struct sd_bus;

namespace orvane::platform::linux_ {

/// KDE Plasma's global shortcut service (org.kde.kglobalaccel on the session
/// bus, Plasma 5 and 6, X11 and Wayland). Orvane's keys are actions of the
/// component "orvane", so they show in System Settings > Shortcuts, where
/// the user may give them other keys; a key the user chose there is kept
/// over the one Orvane asks for at its start; later in the run, a key still
/// as Orvane set it follows Orvane's own settings. A key another component holds (Plasma's
/// power and volume services take the media keys) is left to it: its action
/// has no trigger. Everything runs on a thread of its own, which owns the
/// bus connection.
class KGlobalAccel final : public ShortcutService {
  public:
    /// None (with the reason in error) without a session bus or without the
    /// service on it.
    static std::unique_ptr<KGlobalAccel> open(std::string& error);
    /// Marks Orvane's actions inactive, so their keys are free while it is
    /// not running.
    ~KGlobalAccel() override;
    KGlobalAccel(const KGlobalAccel&) = delete;
    KGlobalAccel& operator=(const KGlobalAccel&) = delete;

    void bind(std::vector<Shortcut> shortcuts, Bound done) override;
    std::string name() const override { return "KDE's global shortcut service"; }
    std::string shortName() const override { return "KGlobalAccel"; }

    /// An XDG shortcut string as the Qt key code KDE stores ("CTRL+Up" is
    /// 0x04000013); 0 for a key Qt has no code for.
    static int qtKey(const std::string& trigger);
    /// A Qt key code in the XDG words ("CTRL+Up"); empty for 0.
    static std::string trigger(int qtKey);

  private:
    explicit KGlobalAccel(sd_bus* bus) : bus_(bus) {}
    void bindNow(const std::vector<Shortcut>& shortcuts, const Bound& done);
    /// setShortcutKeys for id with key and flags: the key the service holds
    /// for it afterwards (0 for none), or an error.
    bool setKey(const Shortcut& shortcut, int key, std::uint32_t flags, int& held,
                std::string& error);
    /// The key the service holds for the shortcut now; 0 for none.
    int activeKey(const Shortcut& shortcut);

    sd_bus* bus_;
    bool watching_ = false;
    /// The actions registered, to be made inactive at the end.
    std::set<std::string> actions_;
    /// The key each action got from Orvane last, in this run.
    std::map<std::string, int> lastSet_;
    std::unique_ptr<BusLoop> loop_;
};

}  // namespace orvane::platform::linux_
