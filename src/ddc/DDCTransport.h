// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ddc/DDCError.h"
#include "ddc/VCPCode.h"
#include "platform/PlatformTypes.h"
#include "runtime/Executor.h"
#include "runtime/Logger.h"
#include "runtime/Runtime.h"
#include "runtime/SerialQueue.h"
#include "runtime/Task.h"

namespace orvane::ddc {

enum class DDCTransportType { i2c, avService, none };

/// At most 20 writes per second to one display.
inline constexpr std::chrono::milliseconds kDDCWriteSpacing{50};
/// The longest capabilities string read; real ones are under 1 KiB.
inline constexpr std::size_t kMaxCapabilitiesLength = 4096;
/// "I2C", "AVService" or "None".
const std::string& rawValue(DDCTransportType type);

/// One way of carrying DDC/CI to displays. Each transport runs the
/// transactions of one display one at a time, on a serial queue of that
/// display's own, so a monitor that hangs or times out delays nobody else's.
/// Every read and
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

    /// The monitor's capabilities string, asked for fragment by fragment, each
    /// a transaction with the retry rule and the write spacing; none where the
    /// transport cannot ask. Throws DDCError when a fragment keeps failing.
    runtime::Task<std::optional<std::string>> readCapabilities(DisplayID display);

    /// Waits, on the main executor, for the display's next write slot:
    /// writes to one display start at least kDDCWriteSpacing apart. Monitors
    /// freeze, and wear out their settings memory, under floods of writes.
    /// Main thread.
    runtime::Task<void> paceWrite(DisplayID display);
    /// Waits, on the main executor, for as long as a monitor may take to
    /// apply a write before it is read back (the write spacing).
    runtime::Task<void> settleAfterWrite();
    /// One attempt each, on ioQueue; throw DDCError.
    virtual VCPValue performRead(DisplayID display, VCPCode code) = 0;
    virtual void performWrite(DisplayID display, VCPCode code, std::uint16_t value) = 0;
    /// Whether performCapabilitiesRead can ask the monitor.
    virtual bool readsCapabilities() const { return false; }
    /// The fragment of the capabilities string at offset; empty at its end.
    virtual std::vector<std::uint8_t> performCapabilitiesRead(DisplayID display,
                                                              std::uint16_t offset);

    /// One fragment, with the retry rule; throws DDCError.
    runtime::Task<std::vector<std::uint8_t>> readCapabilitiesAt(DisplayID display,
                                                                std::uint16_t offset);
    /// The display's queue, made on first use ("<label>.<display>").
    std::shared_ptr<runtime::SerialQueue> ioQueue(DisplayID display);

  protected:
    /// logPrefix starts every retry line ("[DDCManager] "), operationPrefix
    /// names the operation in it ("" or "AVService."); gone is the error an
    /// attempt reports once the transport has been destroyed.
    DDCTransport(runtime::Runtime& runtime, runtime::Logger& log, std::string queueLabel,
                 std::string logPrefix, std::string operationPrefix,
                 std::function<DDCError(DisplayID)> gone);

    runtime::Runtime& runtime_;
    runtime::Executor& main_;
    runtime::Logger& log_;

  private:
    std::string queueLabel_;
    std::mutex queuesLock_;
    std::map<DisplayID, std::shared_ptr<runtime::SerialQueue>> queues_;
    std::map<DisplayID, runtime::TimePoint> nextWrite_;  // main thread
    std::string logPrefix_;
    std::string operationPrefix_;
    std::function<DDCError(DisplayID)> gone_;
};

}  // namespace orvane::ddc
