// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

#include "platform/PlatformError.h"

namespace orvane::platform::sim {

/// A status of the original platform's calls as a PlatformError: the number
/// is the code, and the text the original's log lines give (by default the
/// number itself).
inline PlatformError statusError(std::int32_t status, std::string text = {}) {
    return {std::error_code(status, std::generic_category()),
            text.empty() ? std::to_string(status) : std::move(text)};
}

}  // namespace orvane::platform::sim
