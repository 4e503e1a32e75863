// SPDX-License-Identifier: MIT
#include "platform/linux/LinuxMachine.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/ColorProfileDirectories.h"
#include "runtime/Environment.h"

namespace orvane::platform::linux_ {

namespace fs = std::filesystem;

namespace {
constexpr const char* kNeedsSession = "needs a desktop session, not yet supported on this backend";
constexpr std::uint8_t kDDCAddress = 0x37;
constexpr std::uint8_t kEDIDAddress = 0x50;

/// The words the registry's class names carry, which the core reads the
/// connection type from.
std::string connectionWord(const std::string& type) {
    if (type.rfind("HDMI", 0) == 0) return "HDMI";
    if (type == "DP" || type == "eDP") return "DisplayPort";
    if (type.rfind("DVI", 0) == 0) return "DVI";
    if (type == "VGA") return "VGA";
    if (type == "USB") return "USB";
    return type;
}

IOReturn statusFor(int error) {
    // Nobody acknowledged the address: the monitor does not speak DDC/CI (now).
    if (error == ENXIO || error == EREMOTEIO || error == ETIMEDOUT) return kIOReturnNotResponding;
    return kIOReturnError;
}
}  // namespace

LinuxMachine::LinuxMachine(std::string root, I2COpener opener, runtime::Clock& clock,
                           runtime::Logger& log)
    : root_(std::move(root)),
      opener_(std::move(opener)),
      clock_(clock),
      log_(log),
      discovery_(root_, [this](int bus) { return readEDID(bus); }),
      backlight_(Backlight::find(root_)) {
    displays_ = discovery_.scan();
    if (discovery_.i2cDevMissing()) {
        log_.line(
            "[Linux] I2C adapters exist but no /dev/i2c-* device: load the i2c-dev module "
            "(sudo modprobe i2c-dev; keep it loaded with orvane-i2c.conf in "
            "/etc/modules-load.d)");
    }
}

LinuxMachine::~LinuxMachine() = default;

Platform LinuxMachine::platform() {
    return Platform{*this, *this, *this, *this, *this, *this, *this, *this, *this, *this, *this};
}

std::vector<LinuxDisplay> LinuxMachine::displays() const {
    std::lock_guard lock(mutex_);
    return displays_;
}

void LinuxMachine::rescan() {
    auto now = discovery_.scan();
    std::vector<std::pair<DisplayID, CGDisplayChangeSummaryFlags>> changes;
    {
        std::lock_guard lock(mutex_);
        const auto same = [](const LinuxDisplay& a, const LinuxDisplay& b) {
            return a.id == b.id && a.edidBytes == b.edidBytes && a.bus == b.bus;
        };
        for (const auto& old : displays_) {
            if (std::none_of(now.begin(), now.end(), [&](const auto& d) { return same(d, old); }))
                changes.emplace_back(old.id, kCGDisplayRemoveFlag);
        }
        for (const auto& d : now) {
            if (std::none_of(displays_.begin(), displays_.end(),
                             [&](const auto& old) { return same(d, old); }))
                changes.emplace_back(d.id, kCGDisplayAddFlag);
        }
        displays_ = std::move(now);
    }
    for (const auto& [id, flags] : changes) {
        callbacks_.fire(id, kCGDisplayBeginConfigurationFlag);
        callbacks_.fire(id, flags);
    }
}

std::optional<LinuxDisplay> LinuxMachine::display(DisplayID id) const {
    std::lock_guard lock(mutex_);
    for (const auto& d : displays_) {
        if (d.id == id) return d;
    }
    return std::nullopt;
}

IOObject LinuxMachine::object(DisplayID display, Role role) {
    return display << 2 | static_cast<IOObject>(role);
}

std::optional<LinuxDisplay> LinuxMachine::displayOf(IOObject object, Role role) const {
    if ((object & 3) != static_cast<IOObject>(role)) return std::nullopt;
    return display(object >> 2);
}

void LinuxMachine::sayOnce(const std::string& key, const std::string& line) {
    {
        std::lock_guard lock(mutex_);
        if (!said_.insert(key).second) return;
    }
    log_.line(line);
}

LinuxMachine::Bus* LinuxMachine::openBus(int bus) {
    int error = 0;
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
    const std::string device = discovery_.devicePath(bus);
    if (error == EACCES || error == EPERM) {
        sayOnce("open:" + std::to_string(error),
                "[Linux] Permission denied opening " + device +
                    ": install 60-orvane-i2c.rules in /etc/udev/rules.d and run 'sudo udevadm "
                    "trigger' (or join the group that owns the device, often i2c), then start "
                    "Orvane again");
    } else if (error == ENOENT) {
        sayOnce("open:" + std::to_string(error),
                "[Linux] " + device +
                    " does not exist: load the i2c-dev module (sudo modprobe i2c-dev)");
    } else {
        sayOnce("open:" + std::to_string(error),
                "[Linux] Cannot open " + device + ": " + std::strerror(error));
    }
    return nullptr;
}

std::optional<std::vector<std::uint8_t>> LinuxMachine::readEDID(int bus) {
    Bus* b = openBus(bus);
    if (!b) return std::nullopt;
    std::lock_guard lock(b->lock);
    const std::array<std::uint8_t, 1> offset{0};
    std::vector<std::uint8_t> edid(EDID::kBlockSize);
    if (b->handle->write(kEDIDAddress, offset) != 0 || b->handle->read(kEDIDAddress, edid) != 0)
        return std::nullopt;
    return edid;
}

bool LinuxMachine::answersDDC(int bus) {
    Bus* b = openBus(bus);
    if (!b) return false;
    std::lock_guard lock(b->lock);
    std::array<std::uint8_t, 1> byte{};
    return b->handle->read(kDDCAddress, byte) == 0;
}

// WindowServer

CGError LinuxMachine::getActiveDisplayList(std::uint32_t maxDisplays, DisplayID* ids,
                                           std::uint32_t& count) {
    std::lock_guard lock(mutex_);
    count = 0;
    for (const auto& d : displays_) {
        if (count == maxDisplays) break;
        ids[count++] = d.id;
    }
    return kCGErrorSuccess;
}

bool LinuxMachine::displayIsBuiltin(DisplayID id) {
    auto d = display(id);
    return d && d->builtIn;
}

std::uint32_t LinuxMachine::vendorNumber(DisplayID id) {
    auto d = display(id);
    return d && d->edid ? d->edid->vendorNumber : 0;
}

std::uint32_t LinuxMachine::modelNumber(DisplayID id) {
    auto d = display(id);
    return d && d->edid ? d->edid->productCode : 0;
}

std::uint32_t LinuxMachine::serialNumber(DisplayID id) {
    auto d = display(id);
    return d && d->edid ? d->edid->serialNumber : 0;
}

std::optional<CGDisplayMode> LinuxMachine::copyDisplayMode(DisplayID) {
    sayOnce("modes", std::string("[Linux] Display modes unavailable: ") + kNeedsSession);
    return std::nullopt;
}

std::size_t LinuxMachine::pixelsWide(DisplayID id) {
    auto d = display(id);
    return d && d->edid && d->edid->preferredMode ? d->edid->preferredMode->width : 0;
}

std::size_t LinuxMachine::pixelsHigh(DisplayID id) {
    auto d = display(id);
    return d && d->edid && d->edid->preferredMode ? d->edid->preferredMode->height : 0;
}

std::optional<std::vector<CGDisplayMode>> LinuxMachine::copyAllDisplayModes(DisplayID id, bool) {
    copyDisplayMode(id);
    return std::nullopt;
}

CGError LinuxMachine::beginDisplayConfiguration(CGDisplayConfigRef&) {
    copyDisplayMode(0);
    return kCGErrorNoneAvailable;
}

CGError LinuxMachine::configureDisplayWithDisplayMode(CGDisplayConfigRef, DisplayID,
                                                      const CGDisplayMode&) {
    return kCGErrorNoneAvailable;
}

CGError LinuxMachine::cancelDisplayConfiguration(CGDisplayConfigRef) {
    return kCGErrorNoneAvailable;
}

CGError LinuxMachine::completeDisplayConfiguration(CGDisplayConfigRef, CGConfigureOption) {
    return kCGErrorNoneAvailable;
}

CGError LinuxMachine::getDisplayTransferByTable(DisplayID, std::uint32_t, float*, float*, float*,
                                                std::uint32_t& sampleCount) {
    sampleCount = 0;
    sayOnce("gamma", std::string("[Linux] Gamma tables unavailable: ") + kNeedsSession);
    return kCGErrorNoneAvailable;
}

CGError LinuxMachine::setDisplayTransferByTable(DisplayID, std::uint32_t, const float*,
                                                const float*, const float*) {
    sayOnce("gamma", std::string("[Linux] Gamma tables unavailable: ") + kNeedsSession);
    return kCGErrorNoneAvailable;
}

CGError LinuxMachine::registerReconfigurationCallback(CGDisplayReconfigurationCallBack callback,
                                                      void* userInfo) {
    return callbacks_.add(callback, userInfo);
}

CGError LinuxMachine::removeReconfigurationCallback(CGDisplayReconfigurationCallBack callback,
                                                    void* userInfo) {
    return callbacks_.remove(callback, userInfo);
}

// IORegistry

IOReturn LinuxMachine::matchingServices(std::string_view className,
                                        std::vector<IOObjectRef>& services) {
    services.clear();
    if (className != "IODisplayConnect") return kIOReturnSuccess;
    std::lock_guard lock(mutex_);
    for (const auto& d : displays_)
        services.push_back(IOObjectRef::adopt(*this, object(d.id, Role::connect)));
    return kIOReturnSuccess;
}

std::optional<InfoDictionary> LinuxMachine::displayInfoDictionary(IOObject service, std::uint32_t) {
    auto d = displayOf(service, Role::connect);
    if (!d || !d->edid) return std::nullopt;
    InfoDictionary info;
    info.set("DisplayVendorID", static_cast<std::int64_t>(d->edid->vendorNumber));
    info.set("DisplayProductID", static_cast<std::int64_t>(d->edid->productCode));
    if (d->edid->serialNumber != 0)
        info.set("DisplaySerialNumber", static_cast<std::int64_t>(d->edid->serialNumber));
    if (!d->edid->name.empty()) info.set("DisplayProductName", d->edid->name);
    return info;
}

IOReturn LinuxMachine::parentEntry(IOObject service, std::string_view, IOObjectRef& parent) {
    auto d = displayOf(service, Role::connect);
    if (!d) return kIOReturnNotFound;
    parent = IOObjectRef::adopt(*this, object(d->id, Role::framebuffer));
    return kIOReturnSuccess;
}

IOReturn LinuxMachine::childEntries(IOObject, std::string_view, std::vector<IOObjectRef>& c) {
    c.clear();
    return kIOReturnSuccess;
}

std::string LinuxMachine::className(IOObject object) {
    if (auto d = displayOf(object, Role::connect)) return "IODisplayConnect";
    if (auto d = displayOf(object, Role::framebuffer))
        return "DRMConnector " + connectionWord(d->type);
    if (auto d = displayOf(object, Role::interface)) return "I2CDevice";
    return "";
}

IOReturn LinuxMachine::displayGetFloatParameter(IOObject service, std::uint32_t,
                                                std::string_view key, float& value) {
    auto d = displayOf(service, Role::connect);
    if (!d || !d->builtIn || key != "brightness" || !backlight_) return kIOReturnUnsupported;
    auto level = backlight_->level();
    if (!level) return kIOReturnError;
    value = *level;
    return kIOReturnSuccess;
}

IOReturn LinuxMachine::displaySetFloatParameter(IOObject service, std::uint32_t,
                                                std::string_view key, float value) {
    auto d = displayOf(service, Role::connect);
    if (!d || !d->builtIn || key != "brightness" || !backlight_) return kIOReturnUnsupported;
    if (backlight_->setLevel(value)) return kIOReturnSuccess;
    sayOnce("backlight", "[Linux] The backlight " + backlight_->name() +
                             " refused the change: logind did not take it and its sysfs "
                             "file is not writable");
    return kIOReturnNotWritable;
}

// FramebufferI2C

IOReturn LinuxMachine::copyI2CInterfaceForBus(IOObject framebuffer, std::uint32_t bus,
                                              IOObjectRef& interface) {
    auto d = displayOf(framebuffer, Role::framebuffer);
    if (!d || bus != 0 || !d->bus) return kIOReturnNotFound;
    interface = IOObjectRef::adopt(*this, object(d->id, Role::interface));
    return kIOReturnSuccess;
}

IOReturn LinuxMachine::i2cInterfaceOpen(IOObject interface, std::uint32_t,
                                        IOI2CConnectRef& connect) {
    connect = 0;
    auto d = displayOf(interface, Role::interface);
    if (!d || !d->bus) return kIOReturnNotFound;
    if (!openBus(*d->bus)) return kIOReturnNotPrivileged;
    connect = static_cast<IOI2CConnectRef>(*d->bus) + 1;
    return kIOReturnSuccess;
}

IOReturn LinuxMachine::i2cSendRequest(IOI2CConnectRef connect, std::uint32_t,
                                      IOI2CRequest& request) {
    Bus* bus = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto it = buses_.find(static_cast<int>(connect) - 1);
        if (connect == 0 || it == buses_.end() || !it->second->handle) return kIOReturnNoDevice;
        bus = it->second.get();
    }
    std::lock_guard lock(bus->lock);
    request.result = kIOReturnSuccess;
    if (request.sendTransactionType != kIOI2CNoTransactionType) {
        const auto address = static_cast<std::uint8_t>(request.sendAddress >> 1);
        if (int e = bus->handle->write(address, {request.sendBuffer, request.sendBytes})) {
            request.result = statusFor(e);
            return kIOReturnSuccess;
        }
    }
    if (request.replyTransactionType != kIOI2CNoTransactionType && request.replyBytes > 0) {
        clock_.sleepFor(std::chrono::nanoseconds(request.minReplyDelay));
        const auto address = static_cast<std::uint8_t>(request.replyAddress >> 1);
        if (int e = bus->handle->read(address, {request.replyBuffer, request.replyBytes})) {
            request.result = statusFor(e);
            request.replyBytes = 0;
        }
    }
    return kIOReturnSuccess;
}

// WindowToolkit

std::unique_ptr<Window> LinuxMachine::makeWindow(Rect, std::uint32_t, int, bool, const Screen&) {
    return nullptr;  // never asked: there is no screen to put one on
}

std::unique_ptr<EventMonitor> LinuxMachine::addLocalMonitorForEvents(
    std::uint64_t, std::function<std::optional<KeyEvent>(const KeyEvent&)>) {
    sayOnce("keys", std::string("[Linux] Key monitoring unavailable: ") + kNeedsSession);
    return nullptr;
}

// AudioHardware

bool LinuxMachine::hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address) {
    return object == kAudioObjectSystemObject && address.selector == kAudioHardwarePropertyDevices;
}

OSStatus LinuxMachine::getPropertyDataSize(AudioObjectID object,
                                           const AudioObjectPropertyAddress& address,
                                           std::uint32_t& size) {
    size = 0;
    if (!hasProperty(object, address)) return kAudioHardwareUnknownPropertyError;
    sayOnce("audio", std::string("[Linux] Display audio devices unavailable: ") + kNeedsSession);
    return kAudioHardwareNoError;
}

OSStatus LinuxMachine::getPropertyData(AudioObjectID object,
                                       const AudioObjectPropertyAddress& address,
                                       std::uint32_t& size, void*) {
    size = 0;
    return hasProperty(object, address) ? kAudioHardwareNoError
                                        : kAudioHardwareUnknownPropertyError;
}

// FileSystem

std::string LinuxMachine::homeDirectory() {
    return runtime::environmentPath("HOME").value_or("");
}

std::vector<std::string> LinuxMachine::colorProfileDirectories() {
    return freedesktopColorProfileDirectories(
        homeDirectory(), runtime::environmentPath("XDG_DATA_HOME").value_or(""));
}

std::optional<std::vector<std::string>> LinuxMachine::contentsOfDirectory(const std::string& path) {
    std::error_code ec;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path, ec))
        names.push_back(entry.path().filename().string());
    if (ec) return std::nullopt;
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::vector<std::uint8_t>> LinuxMachine::contentsOfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// EventTapService, HotKeyService, KeyboardLayout, Accessibility

std::unique_ptr<MachPort> LinuxMachine::eventTapCreate(std::uint32_t, std::uint32_t, std::uint32_t,
                                                       CGEventMask, CGEventTapCallBack, void*) {
    sayOnce("mediakeys", std::string("[Linux] Media keys unavailable: ") + kNeedsSession);
    return nullptr;
}

std::int64_t LinuxMachine::eventGetIntegerValueField(const CGEvent& event, CGEventField field) {
    for (const auto& [f, v] : event.fields) {
        if (f == field) return v;
    }
    return 0;
}

OSStatus LinuxMachine::installEventHandler(EventTargetRef, EventHandlerProcPtr, std::size_t,
                                           const EventTypeSpec*, void*, EventHandlerRef* outRef) {
    if (outRef) *outRef = 0;
    sayOnce("shortcuts", std::string("[Linux] Global shortcuts unavailable: ") + kNeedsSession);
    return eventNotHandledErr;
}

OSStatus LinuxMachine::registerEventHotKey(std::uint32_t, std::uint32_t, EventHotKeyID,
                                           EventTargetRef, std::uint32_t, EventHotKeyRef* outRef) {
    if (outRef) *outRef = 0;
    sayOnce("shortcuts", std::string("[Linux] Global shortcuts unavailable: ") + kNeedsSession);
    return eventNotHandledErr;
}

OSStatus LinuxMachine::ucKeyTranslate(const UCKeyboardLayout&, std::uint16_t, std::uint16_t,
                                      std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t*,
                                      std::size_t, std::size_t* actualLength, char16_t*) {
    if (actualLength) *actualLength = 0;
    return -50;  // paramErr: no layout to translate with
}

bool LinuxMachine::isProcessTrustedWithOptions(bool) {
    return true;  // nothing here gates input; keys wait for the session (see above)
}

}  // namespace orvane::platform::linux_
