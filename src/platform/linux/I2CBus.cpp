// SPDX-License-Identifier: MIT
#include "platform/linux/I2CBus.h"

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

namespace orvane::platform::linux_ {

std::unique_ptr<I2CDevBus> I2CDevBus::open(const std::string& path, int& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    error = 0;
    return std::unique_ptr<I2CDevBus>(new I2CDevBus(fd));
}

I2CDevBus::~I2CDevBus() {
    ::close(fd_);
}

int I2CDevBus::tryLock() {
    int rc;
    do {
        rc = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (rc < 0 && errno == EINTR);
    return rc < 0 ? errno : 0;
}

void I2CDevBus::unlock() {
    ::flock(fd_, LOCK_UN);
}

int I2CDevBus::transfer(std::uint8_t address, std::uint16_t flags, std::uint8_t* buffer,
                        std::size_t n) {
    if (n > std::numeric_limits<std::uint16_t>::max()) return EINVAL;
    i2c_msg message{};
    message.addr = address;
    message.flags = flags;
    message.len = static_cast<std::uint16_t>(n);
    message.buf = buffer;
    i2c_rdwr_ioctl_data data{&message, 1};
    int rc;
    do {
        rc = ::ioctl(fd_, I2C_RDWR, &data);
    } while (rc < 0 && errno == EINTR);
    return rc < 0 ? errno : 0;
}

int I2CDevBus::write(std::uint8_t address, std::span<const std::uint8_t> bytes) {
    // The kernel takes a non-const buffer for both directions; it only reads this one.
    return transfer(address, 0, const_cast<std::uint8_t*>(bytes.data()), bytes.size());
}

int I2CDevBus::read(std::uint8_t address, std::span<std::uint8_t> bytes) {
    return transfer(address, I2C_M_RD, bytes.data(), bytes.size());
}

}  // namespace orvane::platform::linux_
