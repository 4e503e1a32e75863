// SPDX-License-Identifier: MIT
#pragma once

#include <vector>

#include "platform/DisplayConnectors.h"
#include "platform/WindowServer.h"
#include "platform/WindowToolkit.h"
#include "platform/sim/IORegistry.h"
#include "platform/sim/SimDDCBuses.h"
#include "runtime/Logger.h"

namespace orvane::platform::sim {

/// The simulated machine's displays as the original platform describes them:
/// by walking the registry for the display service whose vendor and product
/// match, reading its info dictionary, the class names above it, and the
/// panel's "brightness" parameter.
class SimDisplayConnectors final : public DisplayConnectors {
  public:
    SimDisplayConnectors(IORegistry& registry, WindowServer& windowServer, WindowToolkit& toolkit,
                         SimDDCBuses& buses)
        : registry_(registry), windowServer_(windowServer), toolkit_(toolkit), buses_(buses) {}
    /// Where a failed registry walk is said.
    void setLog(runtime::Logger* log) { log_ = log; }

    std::optional<std::string> productName(DisplayID display) override;
    /// From the class names above the display's service; else AirPlay for a
    /// display that looks like a network one, USB-C for the rest.
    std::optional<std::string> connectionName(DisplayID display) override;
    std::optional<float> panelBrightness() override;
    std::optional<PlatformError> setPanelBrightness(float level) override;

  private:
    bool isAirPlay(DisplayID display);
    bool reachesDDC(DisplayID display);
    /// The services that may be the panel's, its own first; never one that
    /// describes an external display.
    std::vector<IOObjectRef> panelServices(bool logFailure);

    IORegistry& registry_;
    WindowServer& windowServer_;
    WindowToolkit& toolkit_;
    SimDDCBuses& buses_;
    runtime::Logger* log_ = nullptr;
};

}  // namespace orvane::platform::sim
