// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "ddc/DDCTransport.h"
#include "ddc/VCPCode.h"
#include "platform/DDCBuses.h"
#include "runtime/Logger.h"
#include "runtime/Runtime.h"

namespace orvane::platform {
struct Platform;
}

namespace orvane::ddc {

/// The audio/video service transport, for displays with no I2C bus of their
/// own, where the machine has such a service; transactions run on ".avservice.io".
class AVServiceDDC final : public DDCTransport {
    struct Key {};

  public:
    static std::shared_ptr<AVServiceDDC> create(runtime::Runtime& runtime,
                                                const platform::Platform& platform,
                                                runtime::Logger& log,
                                                std::string_view bundleIdentifier);
    AVServiceDDC(Key, runtime::Runtime& runtime, const platform::Platform& platform,
                 runtime::Logger& log, std::string_view bundleIdentifier);

    /// The machine offers the service.
    bool functionsAvailable() const { return available_; }

    DDCTransportType type() const override { return DDCTransportType::avService; }
    /// The service is there and serves the display (which claims it).
    bool reaches(DisplayID display) override;
    std::string choiceText() const override {
        return "using AVService transport (Apple Silicon HDMI)";
    }
    VCPValue performRead(DisplayID display, VCPCode code) override;
    void performWrite(DisplayID display, VCPCode code, std::uint16_t value) override;

  private:
    std::vector<std::uint8_t> send(DisplayID display, std::span<const std::uint8_t> message,
                                   std::size_t replyLength);

    platform::DDCBuses& buses_;
    bool available_;
};

}  // namespace orvane::ddc
