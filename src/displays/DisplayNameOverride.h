// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace orvane::displays {

/// A user-chosen name for the display with this key. Stored records are
/// identified by the store's own identity, not by their fields.
struct DisplayNameOverride {
    std::string displayKey;
    std::string customName;
};

}  // namespace orvane::displays
