// SPDX-License-Identifier: MIT
#include "runtime/Environment.h"

#include <cstdlib>

namespace orvane::runtime {

std::optional<std::string> environmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/') return std::nullopt;
    return std::string(value);
}

std::optional<std::string> environmentValue(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

std::optional<std::string> xdgDirectory(const char* variable, const char* fallback) {
    if (auto v = environmentPath(variable)) return v;
    if (auto home = environmentPath("HOME")) return *home + "/" + fallback;
    return std::nullopt;
}

}  // namespace orvane::runtime
