// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/sim/SimControl.h"
#include "platform/sim/SimMonitor.h"
#include "platform/sim/SimRegistry.h"
#include "platform/sim/SimRig.h"
#include "runtime/Clock.h"

namespace orvane::platform::sim {

/// A whole simulated machine behind the platform interfaces: displays known to
/// the window server, a registry tree, framebuffer I2C buses and audio/video
/// service proxies leading to monitors that speak DDC/CI. Thread-safe; device
/// pauses (reply delays) sleep on the given clock.
class SimMachine final : public WindowServer,
                         public FramebufferI2C,
                         public DynamicLoader,
                         public SimControl {
  public:
    SimMachine(const SimRig& rig, runtime::Clock& clock);
    ~SimMachine() override;

    Platform platform();
    SimRegistry& registry() { return registry_; }
    const std::string& name() const { return name_; }
    std::vector<DisplayID> displayIDs() const;
    bool isBuiltIn(DisplayID display) const;

    void addDisplay(const SimDisplaySpec& spec);

    // WindowServer
    std::uint32_t vendorNumber(DisplayID display) override;
    std::uint32_t modelNumber(DisplayID display) override;
    std::uint32_t serialNumber(DisplayID display) override;

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

    // SimControl
    SimMonitor* monitor(DisplayID display) override;
    void addFault(DisplayID display, SimFault fault) override;
    std::vector<SimTransaction> transcript() const override;
    void clearTranscript() override;
    long openConnections() const override;
    long liveAVServices() const override;
    long outstandingReferences() const override;

  private:
    class AVLibrary;
    class AVService;
    struct Display {
        SimDisplaySpec spec;
        std::shared_ptr<SimMonitor> monitor;
        IOObject framebuffer = 0;
        IOObject i2cInterface = 0;
        IOObject avNode = 0;
    };

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
    SimRegistry registry_;

    mutable std::mutex mutex_;
    std::map<DisplayID, Display> displays_;
    std::map<IOI2CConnectRef, DisplayID> connections_;
    IOI2CConnectRef nextConnection_ = 1;
    std::shared_ptr<std::atomic<long>> liveAVServices_ = std::make_shared<std::atomic<long>>(0);
    std::vector<SimTransaction> transcript_;
};

}  // namespace orvane::platform::sim
