// SPDX-License-Identifier: MIT
// An LD_PRELOAD library for end-to-end tests: it answers the i2c-dev ioctls
// on files whose path ends in /dev/i2c-N, so the Linux backend's real ioctl
// code runs without hardware. Buses listed in $ORVANE_I2C_MONITORS ("4,7")
// carry a simulated monitor at 0x37 (brightness 40 of 100, contrast 50 of
// 100); every other address does not acknowledge. Each message goes to
// $ORVANE_I2C_LOG as "<bus> <w|r> <addr> <hex bytes>". $ORVANE_I2C_ERRORS
// ("4:EBUSY:2,5:EIO:-1") makes a bus's next transfers fail with that errno,
// as a busy, failing or absent bus does: so many times, or -1 for ever.
#include <dlfcn.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "platform/sim/SimMonitor.h"

namespace {

using orvane::platform::sim::SimMonitor;

std::mutex mutex;
std::map<int, std::unique_ptr<SimMonitor>> monitors;
bool configured = false;
struct BusError {
    int error;
    int times;
};
std::map<int, BusError> errors;

int errnoNamed(const std::string& name) {
    if (name == "EBUSY") return EBUSY;
    if (name == "EIO") return EIO;
    if (name == "ENXIO") return ENXIO;
    if (name == "ETIMEDOUT") return ETIMEDOUT;
    if (name == "EREMOTEIO") return EREMOTEIO;
    return EIO;
}

void configure() {
    if (configured) return;
    configured = true;
    const char* list = std::getenv("ORVANE_I2C_MONITORS");
    std::string s = list ? list : "";
    std::size_t at = 0;
    while (at < s.size()) {
        const std::size_t comma = s.find(',', at);
        const int bus = std::atoi(s.substr(at, comma - at).c_str());
        auto m = std::make_unique<SimMonitor>();
        m->setFeature(0x10, {40, 100});
        m->setFeature(0x12, {50, 100});
        monitors[bus] = std::move(m);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    const char* faults = std::getenv("ORVANE_I2C_ERRORS");
    s = faults ? faults : "";
    at = 0;
    while (at < s.size()) {
        const std::size_t comma = s.find(',', at);
        const std::string item = s.substr(at, comma - at);
        const auto first = item.find(':'), second = item.rfind(':');
        if (first != std::string::npos && second > first) {
            errors[std::atoi(item.substr(0, first).c_str())] = {
                errnoNamed(item.substr(first + 1, second - first - 1)),
                std::atoi(item.substr(second + 1).c_str())};
        }
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
}

std::optional<int> busOf(int fd) {
    char link[64], path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, path, sizeof path - 1);
    if (n <= 0) return std::nullopt;
    path[n] = 0;
    const std::string p(path);
    const auto slash = p.rfind("/dev/i2c-");
    if (slash == std::string::npos) return std::nullopt;
    const std::string digits = p.substr(slash + 9);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::atoi(digits.c_str());
}

void record(int bus, bool write, unsigned address, std::span<const std::uint8_t> bytes) {
    const char* file = std::getenv("ORVANE_I2C_LOG");
    if (!file) return;
    if (FILE* f = std::fopen(file, "a")) {
        std::fprintf(f, "%d %c %02x", bus, write ? 'w' : 'r', address);
        for (auto b : bytes)
            std::fprintf(f, " %02x", b);
        std::fputc('\n', f);
        std::fclose(f);
    }
}

int transfer(int bus, i2c_msg& m) {
    configure();
    auto it = monitors.find(bus);
    std::span<std::uint8_t> bytes(m.buf, m.len);
    const bool read = m.flags & I2C_M_RD;
    if (it == monitors.end() || m.addr != 0x37) {
        errno = ENXIO;
        return -1;
    }
    if (read) {
        auto reply = it->second->reply(bytes.size());
        std::fill(bytes.begin(), bytes.end(), 0);
        std::copy(reply.begin(), reply.end(), bytes.begin());
    } else {
        it->second->receive(bytes);
    }
    record(bus, !read, m.addr, bytes);
    return 0;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    const auto bus = busOf(fd);
    if (!bus) {
        using Real = int (*)(int, unsigned long, ...);
        static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "ioctl"));
        return real(fd, request, arg);
    }
    std::lock_guard lock(mutex);
    if (request == I2C_SLAVE || request == I2C_SLAVE_FORCE) return 0;
    if (request != I2C_RDWR) {
        errno = ENOTTY;
        return -1;
    }
    configure();
    if (auto e = errors.find(*bus); e != errors.end() && e->second.times != 0) {
        if (e->second.times > 0) --e->second.times;
        errno = e->second.error;
        return -1;
    }
    auto* data = static_cast<i2c_rdwr_ioctl_data*>(arg);
    for (unsigned i = 0; i < data->nmsgs; ++i) {
        if (transfer(*bus, data->msgs[i]) != 0) return -1;
    }
    return static_cast<int>(data->nmsgs);
}
