// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ddc/DDCError.h"
#include "ddc/VCPCode.h"
#include "platform/PlatformTypes.h"
#include "runtime/Executor.h"
#include "runtime/Logger.h"
#include "runtime/SerialQueue.h"
#include "runtime/Task.h"

namespace orvane::ddc {

enum class DDCTransportType { i2c, avService, none };
/// "I2C", "AVService" or "None".
const std::string& rawValue(DDCTransportType type);

/// One way of carrying DDC/CI to displays. Each transport runs its
/// transactions one at a time on its own serial queue, and every read and
/// write goes through the shared retry rule (runWithRetries). A transport is
/// held by shared_ptr; an attempt that outlives it fails instead of touching it.
class DDCTransport : public std::enable_shared_from_this<DDCTransport> {
  public:
    virtual ~DDCTransport() = default;
    DDCTransport(const DDCTransport&) = delete;
    DDCTransport& operator=(const DDCTransport&) = delete;

    virtual DDCTransportType type() const = 0;
    /// Whether this transport reaches the display (not whether the display
    /// answers). Main thread; opens nothing that it does not release again.
    virtual bool reaches(DisplayID display) = 0;
    /// What the display handle logs once it has chosen this transport, after
    /// "Display N: ".
    virtual std::string choiceText() const = 0;

    /// The value of code, with up to three attempts; throws DDCError.
    runtime::Task<VCPValue> readVCP(DisplayID display, VCPCode code);
    /// Sets code to value, with up to three attempts; throws DDCError.
    /// stillWanted, when given, is asked before each retry (see runWithRetries).
    runtime::Task<void> writeVCP(DisplayID display, VCPCode code, std::uint16_t value,
                                 std::function<bool()> stillWanted = {});

    /// One attempt each, on ioQueue; throw DDCError.
    virtual VCPValue performRead(DisplayID display, VCPCode code) = 0;
    virtual void performWrite(DisplayID display, VCPCode code, std::uint16_t value) = 0;

    const runtime::SerialQueue& ioQueue() const { return *ioQueue_; }

  protected:
    /// logPrefix starts every retry line ("[DDCManager] "), operationPrefix
    /// names the operation in it ("" or "AVService."); gone is the error an
    /// attempt reports once the transport has been destroyed.
    DDCTransport(runtime::Executor& main, runtime::Logger& log,
                 std::shared_ptr<runtime::SerialQueue> ioQueue, std::string logPrefix,
                 std::string operationPrefix, std::function<DDCError(DisplayID)> gone);

    runtime::Executor& main_;
    runtime::Logger& log_;
    std::shared_ptr<runtime::SerialQueue> ioQueue_;

  private:
    std::string logPrefix_;
    std::string operationPrefix_;
    std::function<DDCError(DisplayID)> gone_;
};

}  // namespace orvane::ddc
