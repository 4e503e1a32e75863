// SPDX-License-Identifier: MIT
#include "runtime/Hex.h"

#include <cstdio>

namespace orvane::runtime {

std::string hex(std::uint32_t value) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%x", value);
    return buf;
}

}  // namespace orvane::runtime
