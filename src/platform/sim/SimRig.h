// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/PlatformTypes.h"
#include "platform/sim/SimFault.h"
#include "platform/sim/SimMonitor.h"

namespace orvane::platform::sim {

/// How DDC reaches a simulated display.
enum class SimDDCPath {
    i2c,        // framebuffer with an I2C bus 0
    avService,  // only through an audio/video service proxy
    none,       // framebuffer without a bus (a built-in panel, say)
};

/// A registry number that may differ from the window server's, or be missing.
struct SimRegistryNumber {
    enum class Mode { same, missing, value } mode = Mode::same;
    std::uint32_t value = 0;
};

struct SimMonitorSpec {
    std::map<std::uint8_t, SimMonitor::Feature> features;
    std::vector<SimFault> faults;
    bool answers = true;
};

struct SimDisplaySpec {
    DisplayID id = 0;
    std::string name;
    std::uint32_t vendor = 0;
    std::uint32_t model = 0;
    std::uint32_t serial = 0;
    bool builtIn = false;
    SimDDCPath ddc = SimDDCPath::none;
    SimRegistryNumber registryVendor;
    SimRegistryNumber registryProduct;
    SimRegistryNumber registrySerial;
    std::string framebufferClass = "IOFramebuffer";
    /// Classes above the framebuffer, nearest first.
    std::vector<std::string> ancestors;
    /// For avService displays: the registry class that carries the service.
    std::string avServiceClass = "DCPAVServiceProxy";
    SimMonitorSpec monitor;
};

/// A whole simulated machine, as a rig file describes it.
struct SimRig {
    std::string name = "unnamed";
    bool avFramework = true;
    std::vector<std::string> avFunctions = {"IOAVServiceCreateWithService", "IOAVServiceReadI2C",
                                            "IOAVServiceWriteI2C"};
    std::map<std::string, IOReturn> failingEnumerations;
    std::vector<SimDisplaySpec> displays;

    /// Throws std::runtime_error naming what is wrong.
    static SimRig parse(std::string_view json);
    static SimRig load(const std::string& path);
    /// The built-in default machine.
    static SimRig defaultRig();
};

/// The VCP code for a rig name ("brightness", ..., or "0x62"); none if unknown.
std::optional<std::uint8_t> simVCPCodeFromName(std::string_view name);

}  // namespace orvane::platform::sim
