// SPDX-License-Identifier: MIT
#pragma once

#include <pthread.h>

#include <csignal>
#include <functional>
#include <thread>

#include "runtime/RunLoop.h"

namespace orvane::cli {

/// Waits for SIGINT, SIGTERM, SIGHUP or SIGQUIT on a thread of its own and posts
/// onSignal to the loop.
class SignalWatcher {
  public:
    SignalWatcher(const sigset_t& signals, runtime::RunLoop& loop, std::function<void()> onSignal)
        : thread_([&loop, signals, onSignal = std::move(onSignal)](std::stop_token stop) {
              while (!stop.stop_requested()) {
                  int sig = 0;
                  if (sigwait(&signals, &sig) != 0) continue;
                  if (sig == SIGUSR1) continue;  // the wake-up at exit
                  loop.post(onSignal);
                  return;
              }
          }) {}
    ~SignalWatcher() { stop(); }
    void stop() {
        if (!thread_.joinable()) return;
        thread_.request_stop();
        pthread_kill(thread_.native_handle(), SIGUSR1);
        thread_.join();
    }

  private:
    std::jthread thread_;
};

}  // namespace orvane::cli
