// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include "ddc/DDCError.h"
#include "runtime/Executor.h"
#include "runtime/Logger.h"
#include "runtime/OnQueue.h"
#include "runtime/SerialQueue.h"
#include "runtime/Sleep.h"
#include "runtime/Task.h"

namespace orvane::ddc {

inline constexpr int kDDCAttempts = 3;
inline constexpr std::chrono::milliseconds kDDCRetryDelay{40};

/// The transports' shared retry rule: up to three attempts on the I/O queue,
/// 40 ms apart, each failure but the last logged as
/// "<prefix><label> attempt N failed: <text>. Retrying...". A cancelled sleep is
/// ignored. Takes everything by value so that no transport object has to outlive
/// the operation; the attempt itself decides what happens if its owner is gone.
/// When stillWanted says no after a failure, the error ends the operation
/// without a retry: a value that a newer one replaced must not land after it.
/// pause is the time between attempts (writes keep their own spacing).
template <typename R>
runtime::Task<R> runWithRetries(std::shared_ptr<runtime::SerialQueue> queue,
                                runtime::Executor& main, runtime::Logger& log, std::string prefix,
                                std::string label, std::function<R()> attempt,
                                std::function<bool()> stillWanted = {},
                                std::chrono::milliseconds pause = kDDCRetryDelay) {
    std::exception_ptr last;
    for (int n = 1;; ++n) {
        // Asked again after the pause: the newer value may have come during it.
        if (last && stillWanted && !stillWanted()) std::rethrow_exception(last);
        try {
            if constexpr (std::is_void_v<R>) {
                co_await runtime::onQueue(*queue, main, attempt);
                co_return;
            } else {
                co_return co_await runtime::onQueue(*queue, main, attempt);
            }
        } catch (const DDCError& error) {
            if (n == kDDCAttempts) throw DDCError::maxRetriesExceeded(error);
            if (stillWanted && !stillWanted()) throw;
            last = std::current_exception();
            log.line(prefix + label + " attempt " + std::to_string(n) +
                     " failed: " + error.errorDescription() + ". Retrying...");
        }
        co_await runtime::sleepFor(main, pause);
    }
}

}  // namespace orvane::ddc
