// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/BusLoop.h"

struct sd_bus;
struct sd_bus_message;

namespace orvane::platform::linux_ {

/// The desktop's GlobalShortcuts portal (org.freedesktop.portal.GlobalShortcuts:
/// KDE, GNOME from 48, Hyprland) on the session bus. One session for the
/// life of Orvane; shortcuts the portal already holds for Orvane are kept,
/// not bound again, so the user is asked once. The combination Orvane asks
/// for is only a preference: the portal (or the user) decides the trigger.
/// Everything runs on a thread of its own, which owns the bus connection.
class GlobalShortcutsPortal {
  public:
    struct Shortcut {
        std::string id;
        std::string description;
        /// An XDG shortcut string ("CTRL+ALT+Up", "XF86MonBrightnessUp").
        std::string preferredTrigger;
    };

    /// None (with the reason in error) without a session bus or a portal
    /// that offers GlobalShortcuts.
    static std::unique_ptr<GlobalShortcutsPortal> open(std::string& error);
    ~GlobalShortcutsPortal();
    GlobalShortcutsPortal(const GlobalShortcutsPortal&) = delete;
    GlobalShortcutsPortal& operator=(const GlobalShortcutsPortal&) = delete;

    /// Asks for the shortcuts (those the portal does not hold yet); done
    /// learns, on the portal's thread, what each id is bound to ("" when the
    /// portal left it without a trigger), or an error.
    using Bound = std::function<void(const std::map<std::string, std::string>& triggers,
                                     const std::string& error)>;
    void bind(std::vector<Shortcut> shortcuts, Bound done);
    /// Each activation of a bound shortcut, on the portal's thread.
    std::function<void(const std::string& id)> onActivated;

  private:
    explicit GlobalShortcutsPortal(sd_bus* bus);
    /// Calls method with a fresh request token and runs then with the
    /// Response's results when it comes.
    void request(const std::string& method,
                 const std::function<void(sd_bus_message*, const std::string& token)>& append,
                 std::function<void(std::uint32_t response, sd_bus_message* results)> then);
    void bindNow(std::vector<Shortcut> shortcuts, Bound done);

    sd_bus* bus_;
    std::string sender_;  // the unique name, as request paths spell it
    std::string session_;
    int nextToken_ = 1;
    std::map<std::string, std::function<void(std::uint32_t, sd_bus_message*)>> pending_;
    /// Serves bus_; made once the matches are in place.
    std::unique_ptr<BusLoop> loop_;
};

}  // namespace orvane::platform::linux_
