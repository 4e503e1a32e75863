// SPDX-License-Identifier: MIT
#pragma once

#include <cstdlib>
#include <string>

namespace orvane::settings {

/// $variable when it holds an absolute path, else $HOME/fallback (relative
/// values are ignored, as the base-directory rules say).
inline std::string xdgDirectory(const char* variable, const char* fallback) {
    if (const char* v = std::getenv(variable); v && v[0] == '/') return v;
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : ".") + "/" + fallback;
}

}  // namespace orvane::settings
