// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/IOReturn.h"
#include "platform/sim/SimFault.h"
#include "platform/sim/SimInput.h"
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
    /// What it answers Capabilities Request with; empty: it does not answer.
    std::string capabilities;
};

struct SimModeSpec {
    std::size_t width = 1920;
    std::size_t height = 1080;
    std::size_t pixelWidth = 1920;
    std::size_t pixelHeight = 1080;
    double refreshRate = 60;
    /// Listed only when the caller asks for duplicate low-resolution modes.
    bool duplicateLowResolution = false;
};

struct SimColorSpaceSpec {
    /// Unset: named after the display ("Color LCD" for a built-in panel).
    std::optional<std::string> name;
    bool nameless = false;
    std::optional<std::vector<std::uint8_t>> iccProfile;
};

struct SimScreenSpec {
    bool present = true;
    /// The screen's localized name; the display's name when unset.
    std::optional<std::string> name;
    /// "NSScreenNumber"; the display ID when unset.
    std::optional<std::int64_t> number;
    /// No colour space at all when absent; by default one named after the display.
    std::optional<SimColorSpaceSpec> colorSpace = SimColorSpaceSpec{};
};

/// Samples per colour in a simulated display's transfer table.
inline constexpr std::size_t kSimGammaSamples = 256;

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
    /// False for a display the registry does not know at all (AirPlay, say).
    bool inRegistry = true;
    SimMonitorSpec monitor;
    std::vector<SimModeSpec> modes = std::vector<SimModeSpec>(1);
    /// Index into modes; none when the current mode cannot be read.
    std::optional<std::size_t> currentMode = 0;
    /// The pixel counts the window server reports when no mode can be read.
    std::size_t pixelsWide = 1920;
    std::size_t pixelsHigh = 1080;
    SimScreenSpec screen;
    /// The panel's "brightness" parameter on its display-connect service.
    std::optional<float> panelBrightness;
    bool panelBrightnessWritable = true;
    /// Exponent of the display's original transfer table.
    double gamma = 1.0;
    /// The red, green and blue tables (256 samples each) the display shows at
    /// start when they are not its original ones: a run died dimmed.
    std::optional<std::array<std::vector<float>, 3>> shownGamma;
};

struct SimAudioDeviceSpec {
    std::uint32_t id = 0;
    std::string name;
    std::string transport = "airp";
    std::uint32_t outputBuffers = 1;
    bool virtualMainVolume = true;
    bool mainScalar = true;
    std::vector<std::uint32_t> channels;
    float volume = 0.5f;
    bool hasMute = true;
    bool muted = false;
};

/// What the rig does at a moment: connect a display, disconnect one by id,
/// press a media key (a system-defined event's key word), press a hot-key
/// combination (key code, modifiers), or disable the event taps (true: by timeout).
struct SimRigEvent {
    std::int64_t afterMs = 0;
    std::optional<SimDisplaySpec> connect;
    std::optional<DisplayID> disconnect;
    std::optional<std::int64_t> systemDefined;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> hotKey;
    std::optional<bool> disableTaps;
};

/// A whole simulated machine, as a rig file describes it.
struct SimRig {
    std::string name = "unnamed";
    bool avFramework = true;
    std::vector<std::string> avFunctions = {"IOAVServiceCreateWithService", "IOAVServiceReadI2C",
                                            "IOAVServiceWriteI2C"};
    std::map<std::string, IOReturn> failingEnumerations;
    std::vector<SimDisplaySpec> displays;
    std::vector<SimAudioDeviceSpec> audioDevices;
    std::vector<SimRigEvent> events;
    /// Where the colour-profile directories live; empty for none at all.
    std::string profileRoot;
    std::string homeDirectory = "/home/orvane";
    bool accessibilityTrusted = true;
    /// False for a session that cannot show translucent overlays (Wayland, or
    /// X11 without a compositor): software dimming goes through gamma there.
    bool overlays = true;
    SimKeyboardLayoutKind keyboardLayout = SimKeyboardLayoutKind::us;

    /// Throws std::runtime_error naming what is wrong.
    static SimRig parse(std::string_view json);
    static SimRig load(const std::string& path);
    /// The built-in default machine.
    static SimRig defaultRig();
};

/// The VCP code for a rig name ("brightness", ..., or "0x62"); none if unknown.
std::optional<std::uint8_t> simVCPCodeFromName(std::string_view name);

}  // namespace orvane::platform::sim
