// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace orvane::platform::linux_ {

/// One I2C bus, as /dev/i2c-N offers it: whole messages to 7-bit addresses.
/// The seam between the DDC/CI byte path and the kernel.
class I2CBus {
  public:
    virtual ~I2CBus() = default;
    /// 0, or the errno of the failed transfer (ENXIO or EREMOTEIO: nobody answered).
    virtual int write(std::uint8_t address, std::span<const std::uint8_t> bytes) = 0;
    virtual int read(std::uint8_t address, std::span<std::uint8_t> bytes) = 0;
    /// Takes the bus for one transaction without waiting: 0, EWOULDBLOCK when
    /// another process holds it, or another errno. A bus only this process
    /// uses always gives 0.
    virtual int tryLock() { return 0; }
    virtual void unlock() {}
};

/// /dev/i2c-N through the i2c-dev ioctls (I2C_RDWR, one message per call).
class I2CDevBus final : public I2CBus {
  public:
    /// The open bus, or null with error set to open's errno.
    static std::unique_ptr<I2CDevBus> open(const std::string& path, int& error);
    ~I2CDevBus() override;
    I2CDevBus(const I2CDevBus&) = delete;
    I2CDevBus& operator=(const I2CDevBus&) = delete;

    int write(std::uint8_t address, std::span<const std::uint8_t> bytes) override;
    int read(std::uint8_t address, std::span<std::uint8_t> bytes) override;
    /// An advisory flock on the device node: other processes that lock the
    /// node the same way never interleave their requests with ours.
    int tryLock() override;
    void unlock() override;

  private:
    explicit I2CDevBus(int fd) : fd_(fd) {}
    int transfer(std::uint8_t address, std::uint16_t flags, std::uint8_t* buffer, std::size_t n);
    int fd_;
};

/// Opens bus N; null with error set when it cannot.
using I2COpener = std::function<std::unique_ptr<I2CBus>(int bus, int& error)>;

}  // namespace orvane::platform::linux_
