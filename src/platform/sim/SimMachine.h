// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/DisplayWatchers.h"
#include "platform/Platform.h"
#include "platform/sim/SimAudioHardware.h"
#include "platform/sim/SimAudioSinks.h"
#include "platform/sim/SimDDCBuses.h"
#include "platform/sim/SimDisplayConnectors.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimInput.h"
#include "platform/sim/SimMonitor.h"
#include "platform/sim/SimRegistry.h"
#include "platform/sim/SimRig.h"
#include "platform/sim/SimTransaction.h"
#include "platform/sim/SimWindow.h"
#include "runtime/Clock.h"
#include "runtime/Executor.h"

namespace orvane::platform::sim {

/// A window-server status (CGError); 0 is success.
using CGError = std::int32_t;
inline constexpr CGError kCGErrorSuccess = 0;
inline constexpr CGError kCGErrorFailure = 1000;
inline constexpr CGError kCGErrorIllegalArgument = 1001;
inline constexpr CGError kCGErrorCannotComplete = 1004;
inline constexpr CGError kCGErrorRangeCheck = 1007;
inline constexpr CGError kCGErrorNoneAvailable = 1011;

/// Reconfiguration flags (CGDisplayChangeSummaryFlags): each change comes
/// twice, first with the begin flag, then with what changed.
using CGDisplayChangeSummaryFlags = std::uint32_t;
inline constexpr CGDisplayChangeSummaryFlags kCGDisplayBeginConfigurationFlag = 1u << 0;
inline constexpr CGDisplayChangeSummaryFlags kCGDisplaySetModeFlag = 1u << 3;
inline constexpr CGDisplayChangeSummaryFlags kCGDisplayAddFlag = 1u << 4;
inline constexpr CGDisplayChangeSummaryFlags kCGDisplayRemoveFlag = 1u << 5;

/// The original platform's display-configuration transaction, which the
/// simulated window server runs a mode switch through.
using CGDisplayConfigRef = std::uint64_t;
enum class CGConfigureOption : std::uint32_t { forAppOnly = 0, forSession = 1, permanently = 2 };

/// Window-server calls a test can make fail.
enum class SimWindowServerCall {
    activeDisplayList,
    allModes,  // no mode list
    beginConfiguration,
    configureDisplay,
    completeConfiguration,
    getTransfer,
    setTransfer,
};

/// A whole simulated machine behind the platform interfaces: displays known to
/// the window server with their modes, gamma tables and screens, a registry
/// tree, framebuffer I2C buses and audio/video service proxies leading to
/// monitors that speak DDC/CI, windows, audio devices and profile files.
/// Displays can be connected and disconnected while it runs. Thread-safe;
/// device pauses (reply delays) sleep on the given clock.
class SimMachine final : public WindowServer,
                         public FramebufferI2C,
                         public DynamicLoader,
                         public WindowToolkit {
  public:
    static constexpr std::uint32_t kGammaEntries = kSimGammaSamples;
    using GammaTables = std::array<std::vector<float>, 3>;

    SimMachine(const SimRig& rig, runtime::Clock& clock);
    ~SimMachine() override;

    Platform platform();
    SimRegistry& registry() { return registry_; }
    SimAudioHardware& audio() { return audio_; }
    /// The audio devices as the core sees them.
    SimAudioSinks& audioSinks() { return audioSinks_; }
    /// Where the machine says what the core does not see (an audio fallback).
    void setLog(runtime::Logger& log) {
        audioSinks_.setLog(&log);
        ddcBuses_.setLog(&log);
        connectors_.setLog(&log);
    }
    /// The DDC buses as the core sees them.
    SimDDCBuses& ddcBuses() { return ddcBuses_; }
    SimFileSystem& fileSystem() { return fileSystem_; }
    SimInput& input() { return input_; }
    /// Timers and animations of the machine (window fades) run on executor.
    void setMainExecutor(runtime::Executor& executor);
    const std::string& name() const { return name_; }
    /// The connected displays, in the order the window server lists them.
    std::vector<DisplayID> displayIDs() const;
    bool isBuiltIn(DisplayID display) const;

    /// A display present from the start: no callbacks fire.
    void addDisplay(const SimDisplaySpec& spec);
    /// Hot-plug, firing the reconfiguration callbacks as the window server does.
    void connectDisplay(const SimDisplaySpec& spec);
    void disconnectDisplay(DisplayID display);
    /// Runs the rig's connect and disconnect events on executor at their times.
    void scheduleEvents(runtime::Executor& executor);
    const std::vector<SimRigEvent>& rigEvents() const { return events_; }

    void failWindowServer(SimWindowServerCall call, CGError error);
    std::optional<SimModeSpec> currentMode(DisplayID display) const;
    std::optional<CGConfigureOption> lastConfigureOption() const;
    GammaTables gammaTables(DisplayID display) const;
    bool gammaIsOriginal(DisplayID display) const;
    /// The built-in panel's "brightness" parameter, if the display has one.
    std::optional<float> panelBrightness(DisplayID display) const;
    std::vector<SimWindowState> windows() const { return windows_.windows(); }
    std::size_t reconfigurationCallbackCount() const;

    // WindowServer
    std::variant<std::vector<DisplayID>, PlatformFailure> activeDisplays(
        std::size_t maxDisplays) override;
    /// The original's call: its status as a number on failure.
    CGError getActiveDisplayList(std::uint32_t maxDisplays, DisplayID* displays,
                                 std::uint32_t& count);
    bool displayIsBuiltin(DisplayID display) override;
    std::uint32_t vendorNumber(DisplayID display) override;
    std::uint32_t modelNumber(DisplayID display) override;
    std::uint32_t serialNumber(DisplayID display) override;
    std::optional<ScreenMode> currentMode(DisplayID display) override;
    std::size_t pixelsWide(DisplayID display) override;
    std::size_t pixelsHigh(DisplayID display) override;
    std::optional<std::vector<ScreenMode>> displayModes(
        DisplayID display, bool showDuplicateLowResolutionModes) override;
    /// Through a configuration transaction for the session; a failed step is
    /// named as the original's call and its status given as a number.
    std::optional<PlatformFailure> setMode(DisplayID display, const ScreenMode& mode) override;
    CGError beginDisplayConfiguration(CGDisplayConfigRef& config);
    CGError configureDisplayWithDisplayMode(CGDisplayConfigRef config, DisplayID display,
                                            const ScreenMode& mode);
    CGError cancelDisplayConfiguration(CGDisplayConfigRef config);
    CGError completeDisplayConfiguration(CGDisplayConfigRef config, CGConfigureOption option);
    /// Through the original's transfer-table calls; a failure gives their
    /// status as a number.
    std::variant<GammaRamps, PlatformError> gammaRamps(DisplayID display,
                                                       std::size_t capacity) override;
    std::optional<PlatformError> setGammaRamps(DisplayID display, const GammaRamps& ramps) override;
    void restoreGamma() override { displayRestoreColorSyncSettings(); }
    CGError getDisplayTransferByTable(DisplayID display, std::uint32_t capacity, float* red,
                                      float* green, float* blue, std::uint32_t& sampleCount);
    CGError setDisplayTransferByTable(DisplayID display, std::uint32_t tableSize, const float* red,
                                      const float* green, const float* blue);
    void displayRestoreColorSyncSettings();
    Subscription watchDisplays(std::function<void(DisplayID, DisplayChange)> changed) override;

    // WindowToolkit
    std::vector<Screen> screens() override;
    std::optional<Screen> mainScreen() override;
    std::unique_ptr<Window> makeWindow(WindowRole role, Rect frame, const Screen& screen) override;
    std::unique_ptr<EventMonitor> addLocalMonitorForEvents(
        std::uint64_t mask,
        std::function<std::optional<KeyEvent>(const KeyEvent&)> handler) override;

    // FramebufferI2C
    IOReturn copyI2CInterfaceForBus(IOObject framebuffer, std::uint32_t bus,
                                    IOObjectRef& interface) override;
    IOReturn i2cInterfaceOpen(IOObject interface, std::uint32_t options,
                              IOI2CConnectRef& connect) override;
    IOReturn i2cSendRequest(IOI2CConnectRef connect, std::uint32_t options,
                            IOI2CRequest& request) override;
    IOReturn i2cInterfaceClose(IOI2CConnectRef connect, std::uint32_t options) override;

    // DynamicLoader
    std::shared_ptr<DynamicLibrary> open(std::string_view path, int mode) override;

    // Test and rig controls: the core never sees these.
    /// The monitor of a display; null when there is none.
    SimMonitor* monitor(DisplayID display);
    void addFault(DisplayID display, SimFault fault);
    std::vector<SimTransaction> transcript() const;
    void clearTranscript();
    /// I2C connections opened and not closed.
    long openConnections() const;
    /// Audio/video service objects created and not released.
    long liveAVServices() const;
    /// Registry references handed out and not released.
    long outstandingReferences() const;

  private:
    class AVLibrary;
    class AVService;
    struct Display {
        SimDisplaySpec spec;
        std::shared_ptr<SimMonitor> monitor;
        std::vector<IOObject> nodes;  // every registry node of this display
        IOObject framebuffer = 0;
        IOObject i2cInterface = 0;
        IOObject avNode = 0;
        GammaTables gamma;
        bool gammaOriginal = true;
    };
    struct Configuration {
        std::map<DisplayID, std::int32_t> modes;
    };

    void fireReconfiguration(DisplayID display, CGDisplayChangeSummaryFlags flags);
    static GammaTables originalGamma(double exponent);
    CGError failure(SimWindowServerCall call) const;  // call with mutex_ held
    IOAVServiceRef avCreate(IOObject service);
    IOReturn avWrite(IOAVService& service, std::uint32_t chip, std::uint32_t data,
                     const std::uint8_t* buffer, std::uint32_t length);
    IOReturn avRead(IOAVService& service, std::uint32_t chip, std::uint32_t data,
                    std::uint8_t* buffer, std::uint32_t length);
    void record(SimTransaction t);
    std::shared_ptr<SimMonitor> monitorLocked(DisplayID display) const;

    runtime::Clock& clock_;
    std::string name_;
    bool avFramework_;
    std::vector<std::string> avFunctions_;
    std::vector<SimRigEvent> events_;
    SimRegistry registry_;
    SimAudioHardware audio_;
    SimAudioSinks audioSinks_{audio_};
    SimFileSystem fileSystem_;
    SimInput input_;
    SimWindowList windows_;
    SimDDCBuses ddcBuses_{registry_, *this, *this, *this, clock_};
    SimDisplayConnectors connectors_{registry_, *this, *this, ddcBuses_};

    mutable std::mutex mutex_;
    std::map<DisplayID, Display> displays_;
    std::vector<DisplayID> order_;
    std::map<SimWindowServerCall, CGError> failures_;
    std::map<CGDisplayConfigRef, Configuration> configurations_;
    CGDisplayConfigRef nextConfiguration_ = 1;
    std::optional<CGConfigureOption> lastConfigureOption_;
    DisplayWatchers callbacks_;
    std::map<IOI2CConnectRef, DisplayID> connections_;
    IOI2CConnectRef nextConnection_ = 1;
    std::shared_ptr<std::atomic<long>> liveAVServices_ = std::make_shared<std::atomic<long>>(0);
    std::vector<SimTransaction> transcript_;
};

}  // namespace orvane::platform::sim
