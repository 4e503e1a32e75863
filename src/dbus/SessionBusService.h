// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/OrvaneApp.h"
#include "runtime/RunLoop.h"
#include "runtime/TeeLogger.h"

struct sd_bus;
struct sd_bus_message;

namespace orvane::platform::linux_ {
class BusLoop;
}

namespace orvane::dbus {

/// The running instance on the session bus, as "app.orvane.Orvane" at
/// "/app/orvane/Orvane": org.freedesktop.Application (Activate shows the
/// windows, Open runs orvane:// URLs) and app.orvane.Orvane.Control (the
/// displays, their levels, presets, and a signal when a level changes).
/// Every call runs on the main executor over the paths the URL commands
/// take; only the session's own user may call. The interface is described
/// in data/app.orvane.Orvane.Control.xml.
class SessionBusService : public std::enable_shared_from_this<SessionBusService> {
  public:
    static constexpr const char* kName = app::kBundleIdentifier;  // the application id
    static constexpr const char* kPath = "/app/orvane/Orvane";
    static constexpr const char* kControl = "app.orvane.Orvane.Control";
    static constexpr const char* kFailed = "app.orvane.Orvane.Error.Failed";

    /// Connects to the session bus and takes the name; throws
    /// std::runtime_error saying why when it cannot. Main thread; main is the
    /// loop every call runs on.
    static std::shared_ptr<SessionBusService> start(app::OrvaneApp& app, runtime::RunLoop& main,
                                                    runtime::TeeLogger& log);
    ~SessionBusService();
    SessionBusService(const SessionBusService&) = delete;
    SessionBusService& operator=(const SessionBusService&) = delete;

    /// Leaves the bus and drops every call in flight unanswered. Main
    /// thread, before the application goes.
    void stop();

    struct Call;  // one method call in flight

  private:
    SessionBusService(app::OrvaneApp& app, runtime::RunLoop& main, runtime::TeeLogger& log)
        : app_(app), main_(main), log_(log) {}
    void watchLevels();
    void levelChanged(const std::string& key, const char* control, double value);
    /// Answers on the bus thread: fill appends the reply's values.
    void answer(const std::shared_ptr<Call>& call, std::function<int(sd_bus_message*)> fill);
    void fail(const std::shared_ptr<Call>& call, std::string text);
    void runURL(std::shared_ptr<Call> call, const std::string& url);
    void get(std::shared_ptr<Call> call, const std::string& display, const std::string& control);

    friend struct Handlers;
    app::OrvaneApp& app_;
    runtime::RunLoop& main_;
    runtime::TeeLogger& log_;
    sd_bus* bus_ = nullptr;  // the loop's
    std::unique_ptr<platform::linux_::BusLoop> loop_;
    std::atomic<bool> stopped_{false};  // set on the main thread, read by a dropped call too
    std::shared_ptr<void> displaysToken_;
    std::vector<std::shared_ptr<void>> levelTokens_;
};

}  // namespace orvane::dbus
