// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>

#include "ddc/DDCTransport.h"
#include "ddc/VCPCode.h"
#include "platform/DynamicLoader.h"
#include "platform/IORegistry.h"
#include "platform/WindowServer.h"
#include "runtime/Clock.h"
#include "runtime/Logger.h"
#include "runtime/Runtime.h"

namespace orvane::platform {
struct Platform;
}

namespace orvane::ddc {

/// The audio/video service transport, for displays with no framebuffer I2C bus.
/// Its functions are resolved by name at start; transactions run on ".avservice.io".
class AVServiceDDC final : public DDCTransport {
    struct Key {};

  public:
    static constexpr std::string_view kFrameworkPath =
        "/System/Library/Frameworks/IOKit.framework/IOKit";

    static std::shared_ptr<AVServiceDDC> create(runtime::Runtime& runtime,
                                                const platform::Platform& platform,
                                                runtime::Logger& log,
                                                std::string_view bundleIdentifier);
    AVServiceDDC(Key, runtime::Runtime& runtime, const platform::Platform& platform,
                 runtime::Logger& log, std::string_view bundleIdentifier);

    const platform::IOAVServiceReadI2CFn& readI2C() const { return readI2C_; }
    const platform::IOAVServiceWriteI2CFn& writeI2C() const { return writeI2C_; }
    bool functionsAvailable() const { return readI2C_ && writeI2C_; }

    /// An audio/video service for the display, owned by the caller; null when none.
    platform::IOAVServiceRef avService(DisplayID display);

    DDCTransportType type() const override { return DDCTransportType::avService; }
    /// The functions are loaded and a proxy serves the display (which claims it).
    bool reaches(DisplayID display) override;
    std::string choiceText() const override {
        return "using AVService transport (Apple Silicon HDMI)";
    }
    VCPValue performRead(DisplayID display, VCPCode code) override;
    void performWrite(DisplayID display, VCPCode code, std::uint16_t value) override;

  private:
    platform::IOAVServiceRef serviceFromFirst(
        const platform::IOAVServiceCreateWithServiceFn& create, std::string_view className);

    runtime::Clock& clock_;
    platform::DynamicLoader& loader_;
    platform::IORegistry& registry_;
    platform::WindowServer& windowServer_;
    std::shared_ptr<platform::DynamicLibrary> framework_;  // kept open for the functions' sake
    std::mutex claimsLock_;
    std::map<DisplayID, platform::IOObject> claims_;  // the proxy each active display uses
    platform::IOAVServiceReadI2CFn readI2C_;
    platform::IOAVServiceWriteI2CFn writeI2C_;
};

}  // namespace orvane::ddc
