// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace orvane::runtime {

/// Lowercase hexadecimal without leading zeros, as every log line and error text
/// writes numbers: hex(0xE00002C2) is "e00002c2", hex(0) is "0".
std::string hex(std::uint32_t value);

}  // namespace orvane::runtime
