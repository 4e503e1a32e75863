// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace orvane::platform {

/// Where a freedesktop system keeps ICC profiles, the user's first: the XDG
/// data folder's and the legacy ~/.color ones, then the system's and colord's.
/// dataHome is $XDG_DATA_HOME, or "" for its default under home.
inline std::vector<std::string> freedesktopColorProfileDirectories(const std::string& home,
                                                                   const std::string& dataHome) {
    const std::string data =
        !dataHome.empty() && dataHome.front() == '/' ? dataHome : home + "/.local/share";
    return {data + "/icc", home + "/.color/icc", "/usr/share/color/icc", "/var/lib/colord/icc"};
}

}  // namespace orvane::platform
