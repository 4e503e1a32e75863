// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/LayerShell.h"
#include "platform/Platform.h"
#include "runtime/Executor.h"
#include "runtime/Runtime.h"

namespace orvane::platform {

/// How the command line runs the application.
enum class RunMode {
    once,      // launch, handle the URLs, wait for what they started, quit
    resident,  // until a signal ends it
};

/// What drives a run.
enum class RuntimeKind {
    /// One executor on a virtual clock: a run takes no real time and ends when
    /// nothing is left to do (a simulated machine).
    virtualClock,
    /// The real clock, a worker thread per I/O queue and an event loop.
    threaded,
};

/// One implementation of the platform interfaces, chosen when Orvane starts.
/// Every call comes from the main thread.
class Backend {
  public:
    virtual ~Backend() = default;

    /// The name --platform takes, such as "sim".
    virtual std::string_view name() const = 0;
    /// None when the backend can run on this machine; otherwise why not, in
    /// words a user can act on. Cheap, and free of side effects.
    virtual std::optional<std::string> unavailableReason() const = 0;
    /// Whether to take this backend when none is named: a real machine's only
    /// where it finds hardware to control.
    virtual bool preferredHere() const { return true; }
    /// Reads what a run needs before anything else starts (a rig file, say).
    /// Throws std::runtime_error with the message to show when it cannot.
    virtual void prepare() {}
    /// The run's first log line, once prepared.
    virtual std::string startLine() const = 0;
    virtual RuntimeKind runtimeFor(RunMode mode) const = 0;
    /// Builds the platform on rt (once per backend). The services in the
    /// bundle belong to the backend and stay valid until stop().
    virtual Platform start(runtime::Runtime& rt) = 0;
    /// Releases the platform, once the application is gone and rt's queues
    /// are shut down, before rt itself goes.
    virtual void stop() = 0;
    /// Whether the session shows translucent overlays. Where it cannot, the
    /// application dims through the gamma tables instead. (The GUI front end
    /// asks its own toolkit about real screens.)
    virtual bool overlaysShow() const { return true; }
    /// Where the GUI's overlays and panels go on a Wayland session that lets
    /// them be placed; null elsewhere. Valid from start() to stop().
    virtual LayerShell* layerShell() { return nullptr; }
    /// After launch: lets the machine's own events begin (a rig's scripted
    /// hot-plugs); real hardware has none to start.
    virtual void run(runtime::Executor& main) { (void)main; }

    // Test controls.
    /// Writes the machine's state to path as JSON (--rig-out). False when it
    /// could not, or when the backend has no state to write.
    virtual bool writeState(const std::string& path) {
        (void)path;
        return false;
    }
};

/// Raised when no backend can serve a run; what() is the message to show.
class NoBackend : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// The backend named by requested, or with none requested the first of
/// backends (in order of preference) that is available and preferred here. Throws NoBackend
/// when the named one is unknown or unavailable, or none is available.
Backend& chooseBackend(std::span<Backend* const> backends, std::string_view requested);

}  // namespace orvane::platform
