// SPDX-License-Identifier: MIT
#include "platform/Backend.h"

namespace orvane::platform {

Backend& chooseBackend(std::span<Backend* const> backends, std::string_view requested) {
    std::string built, reasons;
    for (Backend* backend : backends) {
        const auto reason = backend->unavailableReason();
        if (!requested.empty() && backend->name() == requested) {
            if (reason) {
                throw NoBackend("platform " + std::string(requested) +
                                " is not available: " + *reason);
            }
            return *backend;
        }
        if (requested.empty() && !reason && backend->preferredHere()) return *backend;
        (built += built.empty() ? "" : ", ") += backend->name();
        if (reason) (reasons += "\n  ") += std::string(backend->name()) + ": " + *reason;
    }
    if (!requested.empty()) {
        throw NoBackend("unknown platform " + std::string(requested) + " (built: " + built + ")");
    }
    throw NoBackend("no platform is available here:" + reasons);
}

}  // namespace orvane::platform
