// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace orvane {

/// The window server's display identifier. It can change when a display reconnects.
using DisplayID = std::uint32_t;

}  // namespace orvane
