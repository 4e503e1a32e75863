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

#include "ddc/VCPCode.h"
#include "platform/Platform.h"
#include "runtime/Logger.h"
#include "runtime/Runtime.h"
#include "runtime/Task.h"

namespace orvane::ddc {

/// The framebuffer I2C transport: finds the framebuffer driving a display, and
/// runs each DDC/CI transaction over its bus 0 on the ".ddc.io" queue.
class DDCManager : public std::enable_shared_from_this<DDCManager> {
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

    runtime::Task<VCPValue> readVCP(DisplayID display, VCPCode code);
    /// stillWanted, when given, is asked before each retry (see runWithRetries).
    runtime::Task<void> writeVCP(DisplayID display, VCPCode code, std::uint16_t value,
                                 std::function<bool()> stillWanted = {});

    /// One attempt each; run on ioQueue.
    VCPValue performRead(DisplayID display, VCPCode code);
    void performWrite(DisplayID display, VCPCode code, std::uint16_t value);
    /// One I2C transaction: writes request to 0x6E and, if replyLength > 0, reads
    /// that many bytes from 0x6F after the 50 ms reply delay.
    std::vector<std::uint8_t> sendI2CRequest(platform::IOObject interface,
                                             std::span<const std::uint8_t> request,
                                             std::size_t replyLength);

    const runtime::SerialQueue& ioQueue() const { return *ioQueue_; }

  private:
    platform::IOObjectRef i2cInterface(DisplayID display);

    runtime::Executor& main_;
    platform::Platform platform_;
    runtime::Logger& log_;
    std::shared_ptr<runtime::SerialQueue> ioQueue_;
    mutable std::mutex cacheLock_;
    std::unordered_map<DisplayID, platform::IOObjectRef> framebufferCache_;
};

}  // namespace orvane::ddc
