// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <system_error>

namespace orvane::platform {

/// A platform call that failed: a code to decide on (errno's category on
/// Linux) and the platform's own words for it, which the log repeats.
struct PlatformError {
    std::error_code code;
    std::string text;
};

/// A step of a platform call that failed: the platform's own name for it
/// ("Volume", "VolumeScalar", "The mode switch") and why.
struct PlatformFailure {
    std::string step;
    PlatformError error;
};

/// An errno value with strerror's words, or with words of the caller's own.
inline PlatformError errnoError(int error, std::string text = {}) {
    auto code = std::error_code(error, std::generic_category());
    return {code, text.empty() ? code.message() : std::move(text)};
}

}  // namespace orvane::platform
