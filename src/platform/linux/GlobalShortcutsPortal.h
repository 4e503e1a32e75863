// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/BusLoop.h"
#include "platform/linux/ShortcutService.h"

struct sd_bus;
struct sd_bus_message;

namespace orvane::platform::linux_ {

/// The desktop's GlobalShortcuts portal (org.freedesktop.portal.GlobalShortcuts:
/// KDE, GNOME from 48, Hyprland) on the session bus. One session for the
/// life of Orvane; shortcuts the portal already holds for Orvane are kept,
/// not bound again, so the user is asked once. The combination Orvane asks
/// for is only a preference: the portal (or the user) decides the trigger.
/// Everything runs on a thread of its own, which owns the bus connection.
class GlobalShortcutsPortal final : public ShortcutService {
  public:
    /// None (with the reason in error) without a session bus or a portal
    /// that offers GlobalShortcuts.
    static std::unique_ptr<GlobalShortcutsPortal> open(std::string& error);
    ~GlobalShortcutsPortal() override;
    GlobalShortcutsPortal(const GlobalShortcutsPortal&) = delete;
    GlobalShortcutsPortal& operator=(const GlobalShortcutsPortal&) = delete;

    /// Asks only for those the portal does not hold yet.
    void bind(std::vector<Shortcut> shortcuts, Bound done) override;
    std::string name() const override { return "the GlobalShortcuts portal"; }
    std::string shortName() const override { return "the portal"; }

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
