// SPDX-License-Identifier: MIT
// The DDC side of the machine: each connector's /dev/i2c-N, opened once,
// checked at 0x37 at start, and held with flock for every transaction.
#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <future>

#include "platform/linux/Errno.h"
#include "platform/linux/LinuxMachine.h"
#include "runtime/Format.h"

namespace orvane::platform::linux_ {

namespace fs = std::filesystem;

namespace {
constexpr std::uint8_t kDDCAddress = 0x37;
constexpr std::uint8_t kEDIDAddress = 0x50;

/// Nobody acknowledged the address: the monitor does not speak DDC/CI (now).
bool noAnswer(int error) {
    return error == ENXIO || error == EREMOTEIO || error == ETIMEDOUT;
}

/// The first of the places udev reads rules from that holds Orvane's rule.
std::optional<std::string> installedRule(const std::string& root) {
    for (const char* dir : {ORVANE_UDEV_RULES_DIR, "/etc/udev/rules.d", "/usr/lib/udev/rules.d",
                            "/lib/udev/rules.d"}) {
        const std::string path = std::string(dir) + "/60-orvane-i2c.rules";
        std::error_code ec;
        if (fs::exists(root + path, ec)) return path;
    }
    return std::nullopt;
}

}  // namespace

LinuxMachine::Bus* LinuxMachine::openBus(int bus, int& error) {
    error = 0;
    {
        std::lock_guard lock(mutex_);
        auto& slot = buses_[bus];
        if (slot && slot->handle) return slot.get();
        if (auto handle = opener_(bus, error)) {
            if (!slot) slot = std::make_unique<Bus>();
            slot->handle = std::move(handle);
            return slot.get();
        }
    }
    const std::string device = "/dev/i2c-" + std::to_string(bus);
    const std::string key = "open:" + std::to_string(error);
    {
        std::lock_guard lock(mutex_);
        if (!said_.insert(key).second) return nullptr;
    }
    if (error == EACCES || error == EPERM) {
        if (auto rule = installedRule(root_)) {
            note("[Linux] Permission denied opening " + device + " although " + *rule +
                     " is installed: the rule opens the buses only to the user logged in at "
                     "the seat (not over ssh or su), and only once 'sudo udevadm trigger' has "
                     "run since it was installed; or join the group that owns the device "
                     "(often i2c)",
                 true);
        } else {
            note("[Linux] Permission denied opening " + device +
                     ": install the udev rule ('sudo cmake --install' puts 60-orvane-i2c.rules "
                     "in " ORVANE_UDEV_RULES_DIR
                     "), run 'sudo udevadm control --reload && sudo "
                     "udevadm trigger' and start Orvane again; or join the group that owns "
                     "the device (often i2c)",
                 true);
        }
    } else if (error == ENOENT) {
        // With no device at all, the module line has said it already.
        if (!discovery_.i2cDevMissing()) {
            note("[Linux] " + device +
                     " does not exist: load the i2c-dev module (sudo modprobe i2c-dev)",
                 true);
        }
    } else {
        note("[Linux] Cannot open " + device + ": " + errnoText(error), true);
    }
    return nullptr;
}

LinuxMachine::Transaction::Transaction(LinuxMachine& machine, Bus& bus, int number)
    : guard_(bus.lock), bus_(bus) {
    const auto deadline = machine.clock_.now() + kBusWait;
    while ((error_ = bus_.handle->tryLock()) == EWOULDBLOCK && machine.clock_.now() < deadline)
        machine.clock_.sleepFor(std::chrono::milliseconds(10));
    if (error_ == EWOULDBLOCK)
        machine.sayOnce("busy:" + std::to_string(number),
                        "[Linux] " + busyText(number) +
                            ": Orvane waits up to 1 s for each request, then reports it busy");
}

LinuxMachine::Transaction::~Transaction() {
    if (error_ == 0) bus_.handle->unlock();
}

std::string LinuxMachine::Transaction::busyText(int number) {
    return "/dev/i2c-" + std::to_string(number) + " is held by another program";
}

std::string LinuxMachine::ddcCause(int bus) {
    const std::string device = "/dev/i2c-" + std::to_string(bus);
    int error = 0;
    Bus* b = openBus(bus, error);
    if (!b) {
        if (error == EACCES || error == EPERM) return "no access to " + device;
        if (error == ENOENT)
            return discovery_.i2cDevMissing() ? "no i2c-dev module" : "no " + device;
        return "cannot open " + device + ": " + errnoText(error);
    }
    int last = 0;
    for (int attempt = 1;; ++attempt) {
        {
            Transaction hold(*this, *b, bus);
            if (hold.error() == EWOULDBLOCK) return Transaction::busyText(bus);
            std::array<std::uint8_t, 1> byte{};
            last = hold.error() ? hold.error() : b->handle->read(kDDCAddress, byte);
            if (last == 0) return {};
        }
        if (attempt == 3) break;
        clock_.sleepFor(std::chrono::milliseconds(40));
    }
    if (noAnswer(last))
        return "no answer at 0x37 on " + device + " (DDC/CI may be off in the monitor's menu)";
    return device + " fails: " + errnoText(last);
}

bool LinuxMachine::ddcReachable(const LinuxDisplay& d) {
    {
        std::lock_guard lock(mutex_);
        if (auto it = ddcCauses_.find(d.id); it != ddcCauses_.end()) return it->second.empty();
    }
    const std::string cause = d.bus ? ddcCause(*d.bus) : "no I2C bus on the connector";
    {
        std::lock_guard lock(mutex_);
        ddcCauses_[d.id] = cause;
    }
    if (!cause.empty() && !d.builtIn) note("[Linux] " + describe(d) + ": no DDC/CI - " + cause);
    return cause.empty();
}

std::size_t LinuxMachine::checkDDC() {
    std::vector<LinuxDisplay> external;
    for (const auto& d : displays()) {
        if (!d.builtIn) external.push_back(d);
    }
    // One check per bus, all at once; the reasons in display order.
    std::map<int, std::future<std::string>> checks;
    for (const auto& d : external) {
        if (d.bus && !checks.count(*d.bus))
            checks.emplace(*d.bus, std::async(std::launch::async,
                                              [this, bus = *d.bus] { return ddcCause(bus); }));
    }
    std::map<int, std::string> causes;
    for (auto& [bus, check] : checks)
        causes[bus] = check.get();
    std::size_t answering = 0;
    for (const auto& d : external) {
        const std::string cause = d.bus ? causes[*d.bus] : "no I2C bus on the connector";
        {
            std::lock_guard lock(mutex_);
            ddcCauses_[d.id] = cause;
        }
        if (cause.empty()) {
            ++answering;
        } else {
            note("[Linux] " + describe(d) + ": no DDC/CI - " + cause);
        }
    }
    return answering;
}

std::optional<std::vector<std::uint8_t>> LinuxMachine::readEDID(int bus) {
    int error = 0;
    Bus* b = openBus(bus, error);
    if (!b) return std::nullopt;
    Transaction hold(*this, *b, bus);
    if (hold.error()) return std::nullopt;
    const std::array<std::uint8_t, 1> offset{0};
    std::vector<std::uint8_t> edid(EDID::kBlockSize);
    if (b->handle->write(kEDIDAddress, offset) != 0 || b->handle->read(kEDIDAddress, edid) != 0)
        return std::nullopt;
    return edid;
}

bool LinuxMachine::offers(DDCLink link) {
    return link == DDCLink::i2c;
}

bool LinuxMachine::reaches(DDCLink link, DisplayID id) {
    auto d = display(id);
    // A bus that cannot be opened, or where nothing answers, carries no DDC/CI.
    return link == DDCLink::i2c && d && d->bus && ddcReachable(*d);
}

std::variant<std::vector<std::uint8_t>, DDCBusFailure> LinuxMachine::transfer(
    DDCLink link, DisplayID id, std::span<const std::uint8_t> message,
    std::chrono::nanoseconds delay, std::size_t replyLength) {
    using Step = DDCBusFailure::Step;
    auto d = display(id);
    if (link != DDCLink::i2c || !d)
        return DDCBusFailure{Step::noDisplay, errnoError(ENODEV, "No DRM connector for display " +
                                                                     std::to_string(id))};
    if (!d->bus)
        return DDCBusFailure{Step::noBus, errnoError(ENODEV, describe(*d) + " has no I2C bus")};
    const int number = *d->bus;
    int error = 0;
    Bus* bus = openBus(number, error);
    if (!bus) return DDCBusFailure{Step::open, errnoError(error, errnoText(error))};
    Transaction hold(*this, *bus, number);
    if (int e = hold.error()) {
        return DDCBusFailure{
            Step::transfer,
            errnoError(e == EWOULDBLOCK ? EBUSY : e,
                       e == EWOULDBLOCK ? Transaction::busyText(number)
                                        : "cannot lock /dev/i2c-" + std::to_string(number) + ": " +
                                              errnoText(e))};
    }
    if (int e = bus->handle->write(kDDCAddress, message))
        return DDCBusFailure{Step::transfer, errnoError(e, errnoText(e))};
    if (replyLength == 0) return std::vector<std::uint8_t>{};
    clock_.sleepFor(delay);
    std::vector<std::uint8_t> reply(replyLength, 0);
    if (int e = bus->handle->read(kDDCAddress, reply))
        return DDCBusFailure{Step::transfer, errnoError(e, errnoText(e))};
    return reply;
}

}  // namespace orvane::platform::linux_
