// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>

#include "ddc/VCPCode.h"
#include "platform/Platform.h"
#include "runtime/Logger.h"
#include "runtime/Runtime.h"
#include "runtime/Task.h"

namespace orvane::ddc {

/// The audio/video service transport, for displays with no framebuffer I2C bus.
/// Its functions are resolved by name at start; transactions run on ".avservice.io".
class AVServiceDDC : public std::enable_shared_from_this<AVServiceDDC> {
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

    runtime::Task<VCPValue> readVCP(DisplayID display, VCPCode code);
    /// stillWanted, when given, is asked before each retry (see runWithRetries).
    runtime::Task<void> writeVCP(DisplayID display, VCPCode code, std::uint16_t value,
                                 std::function<bool()> stillWanted = {});

    /// One attempt each; run on ioQueue.
    VCPValue performRead(DisplayID display, VCPCode code);
    void performWrite(DisplayID display, VCPCode code, std::uint16_t value);

    const runtime::SerialQueue& ioQueue() const { return *ioQueue_; }

  private:
    platform::IOAVServiceRef serviceFromFirst(
        const platform::IOAVServiceCreateWithServiceFn& create, std::string_view className);

    runtime::Executor& main_;
    runtime::Clock& clock_;
    platform::Platform platform_;
    runtime::Logger& log_;
    std::shared_ptr<runtime::SerialQueue> ioQueue_;
    std::shared_ptr<platform::DynamicLibrary> framework_;  // kept open for the functions' sake
    std::mutex claimsLock_;
    std::map<DisplayID, platform::IOObject> claims_;  // the proxy each active display uses
    platform::IOAVServiceReadI2CFn readI2C_;
    platform::IOAVServiceWriteI2CFn writeI2C_;
};

}  // namespace orvane::ddc
