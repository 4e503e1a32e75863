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
#include "platform/DDCBuses.h"
#include "runtime/Logger.h"
#include "runtime/Runtime.h"

namespace orvane::platform {
struct Platform;
}

namespace orvane::ddc {

/// The I2C transport: runs each DDC/CI transaction over the display's own bus
/// on the ".ddc.io.<display>" queue, and gives a slow monitor longer to answer.
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

    /// Forgets which bus serves which display.
    void clearCache();

    DDCTransportType type() const override { return DDCTransportType::i2c; }
    /// The display has a bus of its own.
    bool reaches(DisplayID display) override;
    std::string choiceText() const override { return "using I2C transport"; }
    VCPValue performRead(DisplayID display, VCPCode code) override;
    void performWrite(DisplayID display, VCPCode code, std::uint16_t value) override;
    bool readsCapabilities() const override { return true; }
    std::vector<std::uint8_t> performCapabilitiesRead(DisplayID display,
                                                      std::uint16_t offset) override;
    /// One I2C transaction: writes request to 0x6E and, if replyLength > 0, reads
    /// up to that many bytes from 0x6F after the reply delay (50 ms, or
    /// more for a display that needs it). Throws DDCError.
    std::vector<std::uint8_t> sendI2CRequest(DisplayID display,
                                             std::span<const std::uint8_t> request,
                                             std::size_t replyLength,
                                             std::uint64_t replyDelayNs = 0);

  private:
    platform::DDCBuses& buses_;
    mutable std::mutex cacheLock_;
    /// Displays that need longer than the standard reply delay (under cacheLock_).
    std::unordered_map<DisplayID, std::uint64_t> replyDelay_;
    /// Good replies in a row at a longer delay (under cacheLock_).
    std::unordered_map<DisplayID, int> goodReplies_;
};

}  // namespace orvane::ddc
