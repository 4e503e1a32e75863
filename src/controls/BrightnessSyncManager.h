// SPDX-License-Identifier: MIT
#pragma once

#include <set>

#include "platform/PlatformTypes.h"

namespace orvane::controls {

/// The user's brightness-sync choices, edited from the settings window. It
/// only keeps state: no brightness path reads it yet. Not persisted.
class BrightnessSyncManager {
  public:
    bool isEnabled = false;
    std::set<DisplayID> linkedDisplayIDs;
    /// Reserved for an adjustment in progress; nothing sets it.
    bool isSyncing = false;

    /// With no explicit links every display counts as linked.
    bool isLinked(DisplayID display) const {
        return linkedDisplayIDs.empty() || linkedDisplayIDs.count(display) != 0;
    }
    void link(DisplayID display) { linkedDisplayIDs.insert(display); }
    void unlink(DisplayID display) { linkedDisplayIDs.erase(display); }
};

}  // namespace orvane::controls
