// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace orvane::runtime {

/// The shortest text that reads back as value, always with a fraction:
/// 75 is "75.0", 62.5 is "62.5", 0.1 is "0.1".
std::string decimal(double value);

}  // namespace orvane::runtime
