// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

namespace orvane::runtime {

// Every environment variable Orvane reads goes through here, with one rule:
// a path counts only when it is absolute, as the XDG base-directory rules
// ask; any other value only when it is not empty.

/// $name when it is an absolute path.
std::optional<std::string> environmentPath(const char* name);
/// $name when it is set and not empty (a display name such as ":0").
std::optional<std::string> environmentValue(const char* name);
/// $variable, else $HOME/fallback; none without either.
std::optional<std::string> xdgDirectory(const char* variable, const char* fallback);

}  // namespace orvane::runtime
