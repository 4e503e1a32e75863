// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

namespace orvane::runtime {

// Every environment variable Orvane reads goes through here, with one rule:
// a variable counts only when it holds an absolute path. Unset, empty and
// relative values are ignored, as the XDG base-directory rules ask.

/// $name when it is an absolute path.
std::optional<std::string> environmentPath(const char* name);
/// $variable, else $HOME/fallback; none without either.
std::optional<std::string> xdgDirectory(const char* variable, const char* fallback);

}  // namespace orvane::runtime
