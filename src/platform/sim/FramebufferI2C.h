// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/sim/IOObjectRef.h"
#include "platform/sim/IOReturn.h"

namespace orvane::platform::sim {

inline constexpr std::uint32_t kIOI2CNoTransactionType = 0;
inline constexpr std::uint32_t kIOI2CSimpleTransactionType = 1;
inline constexpr std::uint32_t kIOI2CDDCciReplyTransactionType = 2;
inline constexpr std::uint32_t kIOI2CCombinedTransactionType = 3;

/// One I2C transaction: a send and an optional reply. Fields not used are zero.
struct IOI2CRequest {
    std::uint32_t sendTransactionType = kIOI2CNoTransactionType;
    std::uint32_t replyTransactionType = kIOI2CNoTransactionType;
    std::uint32_t sendAddress = 0;   // 8-bit bus address, write form (0x6E)
    std::uint32_t replyAddress = 0;  // 8-bit bus address, read form (0x6F)
    std::uint8_t sendSubAddress = 0;
    std::uint8_t replySubAddress = 0;
    std::uint64_t minReplyDelay = 0;     // nanoseconds between send and reply
    IOReturn result = kIOReturnSuccess;  // set by the transaction
    /// The platform's own words for a failed result ("EIO (Input/output
    /// error)"), where it has better ones than the status code.
    std::string resultText;
    std::uint32_t commFlags = 0;
    const std::uint8_t* sendBuffer = nullptr;
    std::uint32_t sendBytes = 0;
    std::uint8_t* replyBuffer = nullptr;
    std::uint32_t replyBytes = 0;  // bytes wanted; the transaction may lower it to bytes received
};

/// An open I2C connection (IOI2CConnectRef); an opaque token, 0 is none.
using IOI2CConnectRef = std::uintptr_t;

/// The original platform's framebuffer I2C interface, as the simulated machine serves it. Called on
/// the DDC I/O queue, one transaction at a time, and from the main thread to find an interface.
class FramebufferI2C {
  public:
    virtual ~FramebufferI2C() = default;
    /// The framebuffer's I2C interface for bus, as a reference the caller owns;
    /// a non-zero status or an empty reference when the bus has none.
    virtual IOReturn copyI2CInterfaceForBus(IOObject framebuffer, std::uint32_t bus,
                                            IOObjectRef& interface) = 0;
    /// Opens the interface into connect, which the caller closes; a non-zero
    /// status, or a null connection, on failure.
    virtual IOReturn i2cInterfaceOpen(IOObject interface, std::uint32_t options,
                                      IOI2CConnectRef& connect) = 0;
    /// Runs request synchronously (send, minReplyDelay, reply) and sets its result;
    /// replyBytes drops to the bytes received. A non-zero status when the
    /// transaction could not start. The caller owns the buffers.
    virtual IOReturn i2cSendRequest(IOI2CConnectRef connect, std::uint32_t options,
                                    IOI2CRequest& request) = 0;
    /// Closes a connection opened here; each is closed once.
    virtual IOReturn i2cInterfaceClose(IOI2CConnectRef connect, std::uint32_t options) = 0;
};

/// Closes an open connection when it goes out of scope.
class IOI2CConnection {
  public:
    IOI2CConnection(FramebufferI2C& i2c, IOI2CConnectRef connect) : i2c_(i2c), connect_(connect) {}
    IOI2CConnection(const IOI2CConnection&) = delete;
    IOI2CConnection& operator=(const IOI2CConnection&) = delete;
    ~IOI2CConnection() {
        if (connect_) i2c_.i2cInterfaceClose(connect_, 0);
    }
    IOI2CConnectRef get() const { return connect_; }

  private:
    FramebufferI2C& i2c_;
    IOI2CConnectRef connect_;
};

}  // namespace orvane::platform::sim
