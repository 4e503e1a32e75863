// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ddc/DDCTransport.h"
#include "ddc/VCPCode.h"
#include "platform/FramebufferI2C.h"
#include "platform/IORegistry.h"
#include "platform/WindowServer.h"
#include "runtime/Logger.h"
#include "runtime/Runtime.h"

namespace orvane::platform {
struct Platform;
}

namespace orvane::ddc {

/// The framebuffer I2C transport: finds the framebuffer driving a display, and
/// runs each DDC/CI transaction over its bus 0 on the ".ddc.io.<display>" queue.
class DDCManager final : public DDCTransport {
    struct Key {};

  public:
    static std::shared_ptr<DDCManager> create(runtime::Runtime& runtime,
                                              const platform::Platform& platform,
                                              runtime::Logger& log,
                                              std::string_view bundleIdentifier);
    DDCManager(Key, runtime::Runtime& runtime, const platform::Platform& platform,
               runtime::Logger& log, std::string_view bundleIdentifier);
    ~DDCManager();

    /// The framebuffer of the display, as the caller's own reference; empty when none matches.
    /// Callable from any thread.
    platform::IOObjectRef framebufferService(DisplayID display);
    /// Releases every cached framebuffer.
    void clearCache();
    std::size_t cachedFramebufferCount() const;

    DDCTransportType type() const override { return DDCTransportType::i2c; }
    /// A framebuffer matches the display and has a bus 0.
    bool reaches(DisplayID display) override;
    std::string choiceText() const override { return "using I2C transport"; }
    VCPValue performRead(DisplayID display, VCPCode code) override;
    void performWrite(DisplayID display, VCPCode code, std::uint16_t value) override;
    /// One I2C transaction: writes request to 0x6E and, if replyLength > 0, reads
    /// that many bytes from 0x6F after the reply delay (50 ms, or
    /// more for a display that needs it).
    std::vector<std::uint8_t> sendI2CRequest(platform::IOObject interface,
                                             std::span<const std::uint8_t> request,
                                             std::size_t replyLength,
                                             std::uint64_t replyDelayNs = 0);

  private:
    platform::IOObjectRef i2cInterface(DisplayID display);

    platform::IORegistry& registry_;
    platform::WindowServer& windowServer_;
    platform::FramebufferI2C& framebufferI2C_;
    mutable std::mutex cacheLock_;
    std::unordered_map<DisplayID, platform::IOObjectRef> framebufferCache_;
    /// Displays that need longer than the standard reply delay (under cacheLock_).
    std::unordered_map<DisplayID, std::uint64_t> replyDelay_;
    /// Good replies in a row at a longer delay (under cacheLock_).
    std::unordered_map<DisplayID, int> goodReplies_;
};

}  // namespace orvane::ddc
