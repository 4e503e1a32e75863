// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "runtime/Logger.h"

namespace orvane::runtime {

/// The log on standard output, which can also collect the lines of stretches
/// of work, several at once: what a second start asked for goes back to it.
class TeeLogger final : public Logger {
  public:
    void line(std::string_view text) override {
        out_.line(text);
        std::lock_guard lock(mutex_);
        for (auto& [id, captured] : captures_)
            (captured += text) += '\n';
    }
    std::uint64_t startCapture() {
        std::lock_guard lock(mutex_);
        captures_[++lastCapture_];
        return lastCapture_;
    }
    std::string stopCapture(std::uint64_t id) {
        std::lock_guard lock(mutex_);
        auto node = captures_.extract(id);
        return node ? std::move(node.mapped()) : std::string();
    }

  private:
    StdoutLogger out_;
    std::mutex mutex_;
    std::map<std::uint64_t, std::string> captures_;
    std::uint64_t lastCapture_ = 0;
};

}  // namespace orvane::runtime
