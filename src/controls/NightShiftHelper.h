// SPDX-License-Identifier: MIT
#pragma once

namespace orvane::controls {

/// Holder for the system's blue-light client class. Linux has no such class
/// and nothing looks one up, so it stays empty.
class NightShiftHelper {
  public:
    const void* blueLightClientClass = nullptr;
};

}  // namespace orvane::controls
