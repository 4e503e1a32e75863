// SPDX-License-Identifier: MIT
#pragma once

#include <cstring>
#include <string>

namespace orvane::platform::linux_ {

/// "EIO (Input/output error)": the errno's name and text, as the kernel's
/// documentation and every Linux tool name it.
inline std::string errnoText(int error) {
    const char* name = strerrorname_np(error);
    return std::string(name ? name : "errno " + std::to_string(error)) + " (" +
           std::strerror(error) + ")";
}

}  // namespace orvane::platform::linux_
