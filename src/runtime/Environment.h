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
/// $HOME, else the account's home in the password database; none when
/// neither is an absolute path.
std::optional<std::string> homeDirectory();
/// $variable, else <home>/fallback; none without either.
std::optional<std::string> xdgDirectory(const char* variable, const char* fallback);

/// dir exists, is a directory (not a link to one), is the user's and is
/// closed to everyone else.
bool isPrivateDirectory(const std::string& dir);
/// Where the instance socket and the gamma journal live: the first private
/// one of $XDG_RUNTIME_DIR, /run/user/<uid> (a cron job or ssh login finds
/// the desktop's instance there) and /tmp/orvane-<uid> (made if missing).
std::optional<std::string> privateRuntimeDirectory();

}  // namespace orvane::runtime
