// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/Subscription.h"
#include "platform/WindowServer.h"

namespace orvane::platform {

/// The watchers of a backend's display changes. Thread-safe; watchers run
/// without the lock held, so they may add or end others.
class DisplayWatchers {
  public:
    using Watcher = std::function<void(DisplayID, DisplayChange)>;

    Subscription add(Watcher watcher) {
        std::lock_guard lock(state_->mutex);
        const auto id = state_->next++;
        state_->watchers.emplace(id, std::make_shared<const Watcher>(std::move(watcher)));
        return Subscription([state = std::weak_ptr<State>(state_), id] {
            if (auto s = state.lock()) {
                std::lock_guard lock(s->mutex);
                s->watchers.erase(id);
            }
        });
    }
    std::size_t size() const {
        std::lock_guard lock(state_->mutex);
        return state_->watchers.size();
    }
    void fire(DisplayID display, DisplayChange change) const {
        std::map<std::uint64_t, std::shared_ptr<const Watcher>> watchers;
        {
            std::lock_guard lock(state_->mutex);
            watchers = state_->watchers;
        }
        for (const auto& [id, watcher] : watchers)
            (*watcher)(display, change);
    }

  private:
    struct State {
        std::mutex mutex;
        std::map<std::uint64_t, std::shared_ptr<const Watcher>> watchers;
        std::uint64_t next = 1;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace orvane::platform
