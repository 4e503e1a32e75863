// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/WindowToolkit.h"

namespace orvane::controls {

/// One installed colour-profile file. Identified by url (an absolute path).
struct ColorProfileInfo {
    std::string url;
    std::string name;  // the file name without its extension
    bool isActive = false;
    bool operator==(const ColorProfileInfo&) const = default;
};

/// Which profiles are installed, which one a display uses, and its name.
/// Reads every profile file on each call; nothing is cached. Main thread.
class ColorProfileManager {
  public:
    ColorProfileManager(platform::WindowToolkit& toolkit, platform::FileSystem& files)
        : toolkit_(toolkit), files_(files) {}

    /// Sorted by name, case-insensitively.
    std::vector<ColorProfileInfo> listProfiles(DisplayID display) const;
    /// The colour space's name; "Default" without one, "Unknown" without a screen.
    std::string profileName(DisplayID display) const;
    /// The first installed file whose bytes equal the display's profile data.
    std::optional<std::string> activeProfileURL(DisplayID display) const;
    /// The platform's profile directories, in search order.
    std::vector<std::string> profileDirectories() const;

  private:
    platform::WindowToolkit& toolkit_;
    platform::FileSystem& files_;
};

}  // namespace orvane::controls
