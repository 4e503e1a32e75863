// SPDX-License-Identifier: MIT
#pragma once

namespace orvane::platform {

/// Whether the user lets this process observe and change input (event taps need it).
class Accessibility {
  public:
    virtual ~Accessibility() = default;
    /// With prompt, the system asks the user when the process is not yet trusted.
    virtual bool isProcessTrustedWithOptions(bool prompt) = 0;
};

}  // namespace orvane::platform
