// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

#include "platform/PlatformError.h"
#include "runtime/Hex.h"

namespace orvane::platform::sim {

/// A status of the original platform's calls as a PlatformError: the number
/// is the code, and the text the original's log lines give (by default the
/// number itself).
inline PlatformError statusError(std::int32_t status, std::string text = {}) {
    return {std::error_code(status, std::generic_category()),
            text.empty() ? std::to_string(status) : std::move(text)};
}

/// A status as the original's DDC errors give it: "(0xe00002c2)".
inline PlatformError hexStatusError(std::int32_t status) {
    return statusError(status, "(0x" + runtime::hex(static_cast<std::uint32_t>(status)) + ")");
}

}  // namespace orvane::platform::sim
