// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/WindowServer.h"

namespace orvane::platform {

/// A window server's registered reconfiguration callbacks, each identified by
/// its (callback, userInfo) pair, for backends to keep. Thread-safe; callbacks
/// run without the lock held, so they may register or remove others.
class ReconfigurationCallbacks {
  public:
    CGError add(CGDisplayReconfigurationCallBack callback, void* userInfo) {
        if (!callback) return kCGErrorIllegalArgument;
        std::lock_guard lock(mutex_);
        callbacks_.emplace_back(callback, userInfo);
        return kCGErrorSuccess;
    }
    CGError remove(CGDisplayReconfigurationCallBack callback, void* userInfo) {
        std::lock_guard lock(mutex_);
        auto it = std::find(callbacks_.begin(), callbacks_.end(), std::pair{callback, userInfo});
        if (it == callbacks_.end()) return kCGErrorIllegalArgument;
        callbacks_.erase(it);
        return kCGErrorSuccess;
    }
    std::size_t size() const {
        std::lock_guard lock(mutex_);
        return callbacks_.size();
    }
    void fire(DisplayID display, CGDisplayChangeSummaryFlags flags) const {
        decltype(callbacks_) callbacks;
        {
            std::lock_guard lock(mutex_);
            callbacks = callbacks_;
        }
        for (const auto& [callback, userInfo] : callbacks)
            callback(display, flags, userInfo);
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::pair<CGDisplayReconfigurationCallBack, void*>> callbacks_;
};

}  // namespace orvane::platform
