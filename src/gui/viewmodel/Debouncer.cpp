// SPDX-License-Identifier: MIT
#include "gui/viewmodel/Debouncer.h"

#include <memory>

#include "runtime/Sleep.h"
#include "runtime/Spawn.h"

namespace orvane::gui {

Debouncer::~Debouncer() = default;  // waiting actions still run: they own what they use

void Debouncer::debounce(const std::string& key, std::function<runtime::Task<void>()> action) {
    if (auto old = timers_.find(key); old != timers_.end()) old->second.request_stop();
    std::stop_source source;
    auto token = source.get_token();
    timers_[key] = source;
    auto& main = main_;
    runtime::spawn(
        main_,
        [](runtime::Executor& main, std::function<runtime::Task<void>()> action,
           std::stop_token token) -> runtime::Task<void> {
            const bool slept = co_await runtime::sleepFor(main, kDelay);
            if (!slept || token.stop_requested()) co_return;
            co_await action();
        }(main, std::move(action), token),
        {}, token);
}

}  // namespace orvane::gui
