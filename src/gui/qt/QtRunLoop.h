// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <chrono>
#include <memory>

#include "runtime/RunLoop.h"

namespace orvane::gui {

/// The core's main executor on Qt's event loop, so core tasks and widgets
/// share the GUI thread. Needs a QCoreApplication for its whole life.
class QtRunLoop final : public runtime::RunLoop {
  public:
    QtRunLoop();
    ~QtRunLoop() override;

    void post(std::function<void()> fn) override;
    void postAfter(runtime::Duration d, std::function<void()> fn) override;
    runtime::TimePoint now() const override;
    void sleepFor(runtime::Duration d) override;

    void run() override;
    /// Qt's loop cannot tell when it is idle: throws std::logic_error.
    void runUntilIdle(const std::function<bool()>& othersIdle) override;
    void stop() override;
    void discardPending() override;

  private:
    // Owns every queued item: destroying it drops what has not run.
    std::unique_ptr<QObject> context_;
    std::chrono::steady_clock::time_point epoch_;
};

}  // namespace orvane::gui
