// SPDX-License-Identifier: MIT
// The simulated machine's display table (plugged in and out, with its
// registry entries), the audio/video service proxies and the transcript, under
// one lock. Modes, gamma and screens are in SimMachineScreens.cpp.
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimMechanismTexts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace orvane::platform::sim {

namespace {
constexpr std::uint32_t kBusWriteAddress = 0x6E;
constexpr std::uint32_t kBusReadAddress = 0x6F;
constexpr std::uint32_t kChipAddress = 0x37;

std::optional<std::uint32_t> registryValue(const SimRegistryNumber& n, std::uint32_t same) {
    switch (n.mode) {
        case SimRegistryNumber::Mode::same:
            return same;
        case SimRegistryNumber::Mode::missing:
            return std::nullopt;
        case SimRegistryNumber::Mode::value:
            return n.value;
    }
    return same;
}

InfoDictionary displayInfo(const SimDisplaySpec& spec) {
    InfoDictionary info;
    if (auto v = registryValue(spec.registryVendor, spec.vendor)) {
        info.set("DisplayVendorID", static_cast<std::int64_t>(*v));
    }
    if (auto v = registryValue(spec.registryProduct, spec.model)) {
        info.set("DisplayProductID", static_cast<std::int64_t>(*v));
    }
    // A panel without a serial has no serial key, as with real EDIDs.
    auto serial = registryValue(spec.registrySerial, spec.serial);
    if (serial && (*serial != 0 || spec.registrySerial.mode == SimRegistryNumber::Mode::value)) {
        info.set("DisplaySerialNumber", static_cast<std::int64_t>(*serial));
    }
    InfoDictionary names;
    names.set("en_US", spec.name);
    info.set("DisplayProductName", std::move(names));
    return info;
}
}  // namespace

class SimMachine::AVService final : public IOAVService {
  public:
    AVService(DisplayID display, std::shared_ptr<std::atomic<long>> live)
        : display(display), live_(std::move(live)) {
        ++*live_;
    }
    ~AVService() override { --*live_; }
    const DisplayID display;

  private:
    std::shared_ptr<std::atomic<long>> live_;
};

class SimMachine::AVLibrary final : public DynamicLibrary {
  public:
    explicit AVLibrary(SimMachine& machine) : machine_(machine) {}
    Symbol symbol(std::string_view name) override {
        const auto& fns = machine_.avFunctions_;
        if (std::find(fns.begin(), fns.end(), name) == fns.end()) return {};
        SimMachine* m = &machine_;
        if (name == "IOAVServiceCreateWithService") {
            return IOAVServiceCreateWithServiceFn(
                [m](CFAllocatorRef, IOObject service) { return m->avCreate(service); });
        }
        if (name == "IOAVServiceReadI2C") {
            return IOAVServiceReadI2CFn(
                [m](IOAVService& s, std::uint32_t chip, std::uint32_t data, std::uint8_t* buf,
                    std::uint32_t len) { return m->avRead(s, chip, data, buf, len); });
        }
        if (name == "IOAVServiceWriteI2C") {
            return IOAVServiceWriteI2CFn(
                [m](IOAVService& s, std::uint32_t chip, std::uint32_t data, const std::uint8_t* buf,
                    std::uint32_t len) { return m->avWrite(s, chip, data, buf, len); });
        }
        return {};
    }

  private:
    SimMachine& machine_;
};

SimMachine::SimMachine(const SimRig& rig, runtime::Clock& clock)
    : clock_(clock),
      name_(rig.name),
      avFramework_(rig.avFramework),
      avFunctions_(rig.avFunctions),
      events_(rig.events),
      fileSystem_(rig.profileRoot, rig.homeDirectory) {
    for (const auto& [cls, status] : rig.failingEnumerations)
        registry_.failEnumeration(cls, status);
    for (const auto& spec : rig.displays)
        addDisplay(spec);
    for (const auto& device : rig.audioDevices)
        audio_.addDevice(device);
    input_.setAccessibilityTrusted(rig.accessibilityTrusted);
    input_.setKeyboardLayout(rig.keyboardLayout);
}

void SimMachine::setMainExecutor(runtime::Executor& executor) {
    windows_.setExecutor(&executor, &clock_);
}

std::optional<float> SimMachine::panelBrightness(DisplayID display) const {
    std::vector<IOObject> nodes;
    {
        std::lock_guard lock(mutex_);
        auto it = displays_.find(display);
        if (it == displays_.end()) return std::nullopt;
        nodes = it->second.nodes;
    }
    for (auto node : nodes) {
        if (auto v = registry_.floatParameter(node, "brightness")) return v;
    }
    return std::nullopt;
}

std::unique_ptr<EventMonitor> SimMachine::addLocalMonitorForEvents(
    std::uint64_t mask, std::function<std::optional<KeyEvent>(const KeyEvent&)> handler) {
    return input_.addLocalMonitor(mask, std::move(handler));
}

SimMachine::~SimMachine() = default;

Platform SimMachine::platform() {
    return Platform{*this,  connectors_, ddcBuses_, *this,  audioSinks_,        fileSystem_,
                    input_, input_,      input_,    input_, kSimMechanismTexts, nullptr,
                    nullptr};
}

std::vector<DisplayID> SimMachine::displayIDs() const {
    std::lock_guard lock(mutex_);
    return order_;
}

bool SimMachine::isBuiltIn(DisplayID display) const {
    std::lock_guard lock(mutex_);
    auto it = displays_.find(display);
    return it != displays_.end() && it->second.spec.builtIn;
}

void SimMachine::addDisplay(const SimDisplaySpec& spec) {
    {
        std::lock_guard lock(mutex_);
        if (displays_.count(spec.id)) {
            throw std::invalid_argument("display " + std::to_string(spec.id) +
                                        " is already connected");
        }
    }
    Display d;
    d.spec = spec;
    d.monitor = std::make_shared<SimMonitor>();
    for (const auto& [code, feature] : spec.monitor.features)
        d.monitor->setFeature(code, feature);
    for (const auto& fault : spec.monitor.faults)
        d.monitor->addFault(fault);
    d.monitor->setCapabilities(spec.monitor.capabilities);
    if (!spec.monitor.answers) {
        SimFault silent;
        silent.kind = SimFaultKind::silent;
        d.monitor->addFault(silent);
    }

    d.gamma = spec.shownGamma ? *spec.shownGamma : originalGamma(spec.gamma);
    d.gammaOriginal = d.gamma == originalGamma(spec.gamma);

    auto node = [&](const std::string& cls, IOObject parent,
                    std::optional<InfoDictionary> info = std::nullopt) {
        const IOObject id = registry_.addNode(cls, parent, std::move(info));
        d.nodes.push_back(id);
        return id;
    };
    if (spec.inRegistry) {
        IOObject parent = 0;
        for (auto it = spec.ancestors.rbegin(); it != spec.ancestors.rend(); ++it) {
            parent = node(*it, parent);
        }
        if (spec.ddc == SimDDCPath::avService) {
            d.avNode = node(spec.avServiceClass, parent);
            node("IODisplay", d.avNode, displayInfo(spec));
        } else {
            d.framebuffer = node(spec.framebufferClass, parent);
            const IOObject connect = node("IODisplayConnect", d.framebuffer, displayInfo(spec));
            if (spec.panelBrightness) {
                registry_.setFloatParameter(connect, "brightness", *spec.panelBrightness,
                                            spec.panelBrightnessWritable);
            }
            if (spec.ddc == SimDDCPath::i2c) {
                d.i2cInterface = node("IOFramebufferI2CInterface", d.framebuffer);
            }
        }
    }
    std::lock_guard lock(mutex_);
    displays_[spec.id] = std::move(d);
    order_.push_back(spec.id);
}

SimMachine::GammaTables SimMachine::originalGamma(double exponent) {
    GammaTables t;
    for (auto& channel : t) {
        channel.resize(kGammaEntries);
        for (std::uint32_t i = 0; i < kGammaEntries; ++i)
            channel[i] = static_cast<float>(std::pow(i / 255.0, exponent));
    }
    return t;
}

void SimMachine::connectDisplay(const SimDisplaySpec& spec) {
    fireReconfiguration(spec.id, kCGDisplayBeginConfigurationFlag);
    addDisplay(spec);
    fireReconfiguration(spec.id, kCGDisplayAddFlag);
}

void SimMachine::disconnectDisplay(DisplayID display) {
    std::vector<IOObject> nodes;
    {
        std::lock_guard lock(mutex_);
        auto it = displays_.find(display);
        if (it == displays_.end()) return;
        nodes = it->second.nodes;
    }
    fireReconfiguration(display, kCGDisplayBeginConfigurationFlag);
    for (IOObject n : nodes)
        registry_.detach(n);
    {
        std::lock_guard lock(mutex_);
        displays_.erase(display);
        order_.erase(std::remove(order_.begin(), order_.end(), display), order_.end());
    }
    fireReconfiguration(display, kCGDisplayRemoveFlag);
}

void SimMachine::scheduleEvents(runtime::Executor& executor) {
    for (const auto& e : events_) {
        executor.postAfter(std::chrono::milliseconds(e.afterMs), [this, e] {
            if (e.connect) connectDisplay(*e.connect);
            if (e.disconnect) disconnectDisplay(*e.disconnect);
            if (e.systemDefined) input_.postSystemDefined(*e.systemDefined);
            if (e.hotKey) input_.pressHotKey(e.hotKey->first, e.hotKey->second);
            if (e.disableTaps) input_.disableTaps(*e.disableTaps);
        });
    }
}

void SimMachine::fireReconfiguration(DisplayID display, CGDisplayChangeSummaryFlags flags) {
    // The core hears of a change once it is made: the begin notice says nothing yet.
    if (flags & kCGDisplayBeginConfigurationFlag) return;
    callbacks_.fire(display, (flags & kCGDisplayAddFlag)      ? DisplayChange::added
                             : (flags & kCGDisplayRemoveFlag) ? DisplayChange::removed
                                                              : DisplayChange::reconfigured);
}

Subscription SimMachine::watchDisplays(std::function<void(DisplayID, DisplayChange)> changed) {
    return callbacks_.add(std::move(changed));
}

std::size_t SimMachine::reconfigurationCallbackCount() const {
    return callbacks_.size();
}

void SimMachine::failWindowServer(SimWindowServerCall call, CGError error) {
    std::lock_guard lock(mutex_);
    if (error == kCGErrorSuccess) {
        failures_.erase(call);
    } else {
        failures_[call] = error;
    }
}

CGError SimMachine::failure(SimWindowServerCall call) const {
    auto it = failures_.find(call);
    return it == failures_.end() ? kCGErrorSuccess : it->second;
}

std::variant<std::vector<DisplayID>, PlatformFailure> SimMachine::activeDisplays(
    std::size_t maxDisplays) {
    std::vector<DisplayID> ids(std::min<std::size_t>(maxDisplays, 1024));
    std::uint32_t count = 0;
    if (auto e = getActiveDisplayList(static_cast<std::uint32_t>(ids.size()), ids.data(), count))
        return PlatformFailure{"CGGetActiveDisplayList", statusError(e)};
    ids.resize(count);
    return ids;
}

CGError SimMachine::getActiveDisplayList(std::uint32_t maxDisplays, DisplayID* displays,
                                         std::uint32_t& count) {
    std::lock_guard lock(mutex_);
    if (auto e = failure(SimWindowServerCall::activeDisplayList)) return e;
    count = 0;
    for (DisplayID id : order_) {
        if (count == maxDisplays) break;
        displays[count++] = id;
    }
    return kCGErrorSuccess;
}

bool SimMachine::displayIsBuiltin(DisplayID display) {
    return isBuiltIn(display);
}

std::uint32_t SimMachine::vendorNumber(DisplayID display) {
    std::lock_guard lock(mutex_);
    auto it = displays_.find(display);
    return it == displays_.end() ? 0 : it->second.spec.vendor;
}

std::uint32_t SimMachine::modelNumber(DisplayID display) {
    std::lock_guard lock(mutex_);
    auto it = displays_.find(display);
    return it == displays_.end() ? 0 : it->second.spec.model;
}

std::uint32_t SimMachine::serialNumber(DisplayID display) {
    std::lock_guard lock(mutex_);
    auto it = displays_.find(display);
    return it == displays_.end() ? 0 : it->second.spec.serial;
}

IOReturn SimMachine::copyI2CInterfaceForBus(IOObject framebuffer, std::uint32_t bus,
                                            IOObjectRef& interface) {
    IOObject node = 0;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, d] : displays_) {
            if (framebuffer != 0 && d.framebuffer == framebuffer) node = d.i2cInterface;
        }
    }
    if (bus != 0 || node == 0) return kIOReturnNotFound;
    interface = registry_.reference(node);
    return kIOReturnSuccess;
}

std::shared_ptr<SimMonitor> SimMachine::monitorLocked(DisplayID display) const {
    auto it = displays_.find(display);
    return it == displays_.end() ? nullptr : it->second.monitor;
}

IOReturn SimMachine::i2cInterfaceOpen(IOObject interface, std::uint32_t, IOI2CConnectRef& connect) {
    connect = 0;
    std::shared_ptr<SimMonitor> monitor;
    DisplayID owner = 0;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, d] : displays_) {
            if (interface != 0 && d.i2cInterface == interface) {
                owner = id;
                monitor = d.monitor;
            }
        }
    }
    if (!monitor) return kIOReturnNotFound;
    if (auto fault = monitor->takeFault({SimFaultKind::openStatus, SimFaultKind::nullConnection},
                                        std::nullopt)) {
        return fault->kind == SimFaultKind::openStatus ? fault->status : kIOReturnSuccess;
    }
    std::lock_guard lock(mutex_);
    connect = nextConnection_++;
    connections_[connect] = owner;
    return kIOReturnSuccess;
}

IOReturn SimMachine::i2cSendRequest(IOI2CConnectRef connect, std::uint32_t, IOI2CRequest& request) {
    DisplayID display = 0;
    std::shared_ptr<SimMonitor> monitor;
    {
        std::lock_guard lock(mutex_);
        auto it = connections_.find(connect);
        if (it == connections_.end()) return kIOReturnError;
        display = it->second;
        monitor = monitorLocked(display);
    }
    if (!monitor) return kIOReturnNoDevice;  // unplugged while the connection was open
    SimTransaction t;
    t.kind = SimTransaction::Kind::i2cRequest;
    t.display = display;
    t.time = clock_.now();
    if (request.sendBuffer && request.sendBytes) {
        t.sent.assign(request.sendBuffer, request.sendBuffer + request.sendBytes);
    }
    const std::optional<std::uint8_t> code =
        t.sent.size() >= 4 ? std::optional<std::uint8_t>(t.sent[3]) : std::nullopt;
    const bool isWrite = t.sent.size() >= 4 && t.sent[2] == 0x03;

    auto finish = [&](IOReturn status) {
        t.status = status;
        t.record = request;
        t.record.sendBuffer = nullptr;
        t.record.replyBuffer = nullptr;
        record(std::move(t));
        return status;
    };

    if (auto fault = monitor->takeFault({SimFaultKind::sendStatus}, code, isWrite))
        return finish(fault->status);
    request.result = kIOReturnSuccess;
    if (auto hang = monitor->takeFault({SimFaultKind::hangs}, code, isWrite)) {
        clock_.sleepFor(std::chrono::milliseconds(std::max(hang->bytes, 0)));
        request.result = kIOReturnNotResponding;
        if (request.replyTransactionType != kIOI2CNoTransactionType) request.replyBytes = 0;
        return finish(kIOReturnSuccess);
    }
    if (request.sendTransactionType != kIOI2CNoTransactionType) {
        if (request.sendAddress != kBusWriteAddress || !monitor->answers(clock_.now()) ||
            monitor->takeFault({SimFaultKind::silent}, code, isWrite)) {
            request.result = kIOReturnNotResponding;
            if (request.replyTransactionType != kIOI2CNoTransactionType) request.replyBytes = 0;
            return finish(kIOReturnSuccess);
        }
        monitor->receive(t.sent, clock_.now());
    }
    if (auto fault = monitor->takeFault({SimFaultKind::resultStatus}, code, isWrite)) {
        request.result = fault->status;
        return finish(kIOReturnSuccess);
    }
    if (request.replyTransactionType != kIOI2CNoTransactionType && request.replyBytes > 0) {
        clock_.sleepFor(std::chrono::nanoseconds(request.minReplyDelay));
        if (request.replyAddress != kBusReadAddress || !request.replyBuffer) {
            request.result = kIOReturnNotResponding;
            request.replyBytes = 0;
            return finish(kIOReturnSuccess);
        }
        const bool early = request.minReplyDelay < 100'000'000 &&
                           monitor->takeFault({SimFaultKind::slow}, code, isWrite);
        auto bytes = early ? monitor->notReady(request.replyBytes)
                           : monitor->reply(request.replyBytes, clock_.now());
        std::memset(request.replyBuffer, 0, request.replyBytes);
        std::copy(bytes.begin(), bytes.end(), request.replyBuffer);
        request.replyBytes = static_cast<std::uint32_t>(bytes.size());
        t.received = std::move(bytes);
    }
    return finish(kIOReturnSuccess);
}

IOReturn SimMachine::i2cInterfaceClose(IOI2CConnectRef connect, std::uint32_t) {
    std::lock_guard lock(mutex_);
    return connections_.erase(connect) ? kIOReturnSuccess : kIOReturnError;
}

std::shared_ptr<DynamicLibrary> SimMachine::open(std::string_view path, int) {
    if (!avFramework_ || path != SimDDCBuses::kFrameworkPath) return nullptr;
    return std::make_shared<AVLibrary>(*this);
}

IOAVServiceRef SimMachine::avCreate(IOObject service) {
    std::lock_guard lock(mutex_);
    for (const auto& [id, d] : displays_) {
        if (service != 0 && d.avNode == service) {
            return std::make_shared<AVService>(id, liveAVServices_);
        }
    }
    return nullptr;
}

IOReturn SimMachine::avWrite(IOAVService& service, std::uint32_t chip, std::uint32_t data,
                             const std::uint8_t* buffer, std::uint32_t length) {
    const DisplayID display = static_cast<AVService&>(service).display;
    std::shared_ptr<SimMonitor> monitor;
    {
        std::lock_guard lock(mutex_);
        monitor = monitorLocked(display);
    }
    SimTransaction t;
    t.kind = SimTransaction::Kind::avWrite;
    t.display = display;
    t.time = clock_.now();
    t.chipAddress = chip;
    t.dataAddress = data;
    if (buffer && length) t.sent.assign(buffer, buffer + length);
    const std::optional<std::uint8_t> code =
        t.sent.size() >= 3 ? std::optional<std::uint8_t>(t.sent[2]) : std::nullopt;
    const bool isWrite = t.sent.size() >= 3 && t.sent[1] == 0x03;

    IOReturn status = kIOReturnSuccess;
    if (!monitor) {
        status = kIOReturnNoDevice;
    } else if (auto fault = monitor->takeFault({SimFaultKind::sendStatus}, code, isWrite)) {
        status = fault->status;
    } else if (chip != kChipAddress || !monitor->answers(clock_.now()) ||
               monitor->takeFault({SimFaultKind::silent}, code, isWrite)) {
        status = kIOReturnNotResponding;
    } else {
        // On the wire the data address is the message's first byte.
        std::vector<std::uint8_t> message{static_cast<std::uint8_t>(data)};
        message.insert(message.end(), t.sent.begin(), t.sent.end());
        monitor->receive(message, clock_.now());
    }
    t.status = status;
    record(std::move(t));
    return status;
}

IOReturn SimMachine::avRead(IOAVService& service, std::uint32_t chip, std::uint32_t data,
                            std::uint8_t* buffer, std::uint32_t length) {
    const DisplayID display = static_cast<AVService&>(service).display;
    std::shared_ptr<SimMonitor> monitor;
    {
        std::lock_guard lock(mutex_);
        monitor = monitorLocked(display);
    }
    SimTransaction t;
    t.kind = SimTransaction::Kind::avRead;
    t.display = display;
    t.time = clock_.now();
    t.chipAddress = chip;
    t.dataAddress = data;

    IOReturn status = kIOReturnSuccess;
    const auto code = monitor ? monitor->pendingCode() : std::nullopt;
    if (!monitor) {
        status = kIOReturnNoDevice;
    } else if (auto fault = monitor->takeFault({SimFaultKind::readStatus}, code)) {
        status = fault->status;
    } else if (chip != kChipAddress || !monitor->answers(clock_.now()) ||
               monitor->takeFault({SimFaultKind::silent}, code)) {
        status = kIOReturnNotResponding;
    } else if (buffer) {
        auto bytes = monitor->reply(length, clock_.now());
        std::memset(buffer, 0, length);
        std::copy(bytes.begin(), bytes.end(), buffer);
        t.received = std::move(bytes);
    }
    t.status = status;
    record(std::move(t));
    return status;
}

void SimMachine::record(SimTransaction t) {
    std::lock_guard lock(mutex_);
    transcript_.push_back(std::move(t));
}

SimMonitor* SimMachine::monitor(DisplayID display) {
    std::lock_guard lock(mutex_);
    return monitorLocked(display).get();
}

void SimMachine::addFault(DisplayID display, SimFault fault) {
    if (auto* m = monitor(display)) m->addFault(fault);
}

std::vector<SimTransaction> SimMachine::transcript() const {
    std::lock_guard lock(mutex_);
    return transcript_;
}

void SimMachine::clearTranscript() {
    std::lock_guard lock(mutex_);
    transcript_.clear();
}

long SimMachine::openConnections() const {
    std::lock_guard lock(mutex_);
    return static_cast<long>(connections_.size());
}

long SimMachine::liveAVServices() const {
    return liveAVServices_->load();
}

long SimMachine::outstandingReferences() const {
    return registry_.outstandingReferences();
}

}  // namespace orvane::platform::sim
