// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "platform/DDCBuses.h"
#include "platform/WindowServer.h"
#include "platform/sim/DynamicLoader.h"
#include "platform/sim/FramebufferI2C.h"
#include "platform/sim/IORegistry.h"
#include "runtime/Clock.h"
#include "runtime/Logger.h"

namespace orvane::platform::sim {

/// The simulated machine's DDC buses as the original platform reaches them:
/// a display's framebuffer is found by walking the registry and matching its
/// identity, and a transfer opens the framebuffer's bus 0, runs one I2C
/// request and closes it again; displays without one go through an
/// audio/video service proxy, whose functions are looked up by name.
class SimDDCBuses final : public DDCBuses {
  public:
    static constexpr std::string_view kFrameworkPath =
        "/System/Library/Frameworks/IOKit.framework/IOKit";

    SimDDCBuses(IORegistry& registry, FramebufferI2C& i2c, DynamicLoader& loader,
                WindowServer& windowServer, runtime::Clock& clock);
    /// Where the matching says what it guessed.
    void setLog(runtime::Logger* log) { log_ = log; }

    bool offers(DDCLink link) override;
    bool reaches(DDCLink link, DisplayID display) override;
    std::variant<std::vector<std::uint8_t>, DDCBusFailure> transfer(
        DDCLink link, DisplayID display, std::span<const std::uint8_t> message,
        std::chrono::nanoseconds delay, std::size_t replyLength) override;
    /// Releases every cached framebuffer.
    void forget() override;

    /// The framebuffer of the display, as the caller's own reference; empty
    /// when none matches. Any thread.
    IOObjectRef framebufferService(DisplayID display);
    std::size_t cachedFramebufferCount() const;
    /// An audio/video service for the display, owned by the caller; null when none.
    IOAVServiceRef avService(DisplayID display);

  private:
    IOObjectRef i2cInterface(DisplayID display);
    std::variant<std::vector<std::uint8_t>, DDCBusFailure> i2cTransfer(
        DisplayID display, std::span<const std::uint8_t> message, std::chrono::nanoseconds delay,
        std::size_t replyLength);
    std::variant<std::vector<std::uint8_t>, DDCBusFailure> avTransfer(
        DisplayID display, std::span<const std::uint8_t> message, std::chrono::nanoseconds delay,
        std::size_t replyLength);
    IOAVServiceRef serviceFromFirst(const IOAVServiceCreateWithServiceFn& create,
                                    std::string_view className);
    void resolveFunctions();

    IORegistry& registry_;
    FramebufferI2C& i2c_;
    DynamicLoader& loader_;
    WindowServer& windowServer_;
    runtime::Clock& clock_;
    runtime::Logger* log_ = nullptr;

    mutable std::mutex cacheLock_;
    std::unordered_map<DisplayID, IOObjectRef> framebufferCache_;

    std::shared_ptr<DynamicLibrary> framework_;  // kept open for the functions' sake
    bool resolved_ = false;
    IOAVServiceReadI2CFn readI2C_;
    IOAVServiceWriteI2CFn writeI2C_;
    std::mutex claimsLock_;
    std::map<DisplayID, IOObject> claims_;  // the proxy each active display uses
};

}  // namespace orvane::platform::sim
