// SPDX-License-Identifier: MIT
// The machine's display side: DRM connectors and their EDID, the backlight,
// sinks and files. The session's outputs (modes, gamma) are in
// LinuxMachineScreens.cpp, its DDC buses in LinuxMachineDDC.cpp, its keys in
// LinuxMachineKeys.cpp.
#include "platform/linux/LinuxMachine.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/ColorProfileDirectories.h"
#include "platform/linux/Errno.h"
#include "platform/linux/X11Keys.h"
#include "runtime/Environment.h"
#include "runtime/Format.h"

namespace orvane::platform::linux_ {

namespace fs = std::filesystem;

namespace {

/// The kernel's connector type, in the words of the connection kinds.
std::string connectionWord(const std::string& type) {
    if (type.rfind("HDMI", 0) == 0) return "HDMI";
    if (type == "DP" || type == "eDP") return "DisplayPort";
    if (type.rfind("DVI", 0) == 0) return "DVI";
    if (type == "VGA") return "VGA";
    if (type == "USB") return "USB";
    return type;
}

/// The connection as the core names it, from the kernel's connector type.
std::string connectionName(const std::string& type) {
    const std::string word = connectionWord(type);
    if (word == "HDMI" || word == "DisplayPort" || word == "DVI" || word == "VGA") return word;
    if (word == "USB") return "USB-C";
    return "Unknown";
}

/// The connector as a user's desktop names it ("DP-1"), or the bus.
std::string place(const LinuxDisplay& d) {
    if (d.connector.empty()) return "bus " + std::to_string(d.bus.value_or(-1));
    const auto dash = d.connector.find('-');
    return dash == std::string::npos ? d.connector : d.connector.substr(dash + 1);
}
/// How the core's log lines name this machine's mechanisms.
const MechanismTexts& linuxTexts() {
    // No audio/video service functions here, and the backend itself says
    // once what the session offers for keys, and why not.
    static const MechanismTexts texts{
        .hotKeyHandlerInstalled = "[ShortcutManager] Hot key handler installed",
        .gammaFailed = "[SoftwareDimmer] The gamma ramps could not be set for display ",
        .builtInBrightnessSource = "the backlight",
        .builtInBrightnessFailed =
            "[DisplayManager] The backlight did not take the brightness, falling back to "
            "software dimmer",
        .storeFailed = "Failed to open the store: ",
    };
    return texts;
}

}  // namespace

LinuxMachine::LinuxMachine(std::string root, I2COpener opener, runtime::Clock& clock,
                           runtime::Logger& log, DesktopSession session, bool holdNotes)
    : root_(std::move(root)),
      opener_(std::move(opener)),
      clock_(clock),
      log_(log),
      discovery_(root_, [this](int bus) { return readEDID(bus); }),
      backlight_(Backlight::find(root_)),
      holding_(holdNotes),
      session_(std::move(session)) {
    displays_ = discovery_.scan();
    if (discovery_.i2cDevMissing()) {
        note(
            "[Linux] I2C adapters exist but no /dev/i2c-* device: load the i2c-dev module "
            "(sudo modprobe i2c-dev; 'sudo cmake --install' keeps it loaded with "
            "orvane-i2c.conf in " ORVANE_MODULES_LOAD_DIR ")",
            true);
    }
}

void LinuxMachine::note(const std::string& line, bool remedy) {
    {
        std::lock_guard lock(mutex_);
        if (holding_) {
            (remedy ? heldRemedies_ : heldNotes_).push_back(line);
            return;
        }
    }
    log_.line(line);
}

void LinuxMachine::releaseNotes() {
    std::vector<std::string> lines;
    {
        std::lock_guard lock(mutex_);
        if (!holding_) return;
        holding_ = false;
        lines = std::move(heldRemedies_);
        lines.insert(lines.end(), heldNotes_.begin(), heldNotes_.end());
        heldNotes_.clear();
    }
    for (const auto& line : lines)
        log_.line(line);
}

LinuxMachine::~LinuxMachine() {
    // Their event threads call into this machine, which reaches the X11
    // session through session_: its thread ends before the pointer goes.
    if (session_.x11) session_.x11->stopEvents();
    session_.shortcuts.reset();
    session_.x11.reset();
    session_.displayConfig.reset();
    session_.audio.reset();
}

void LinuxMachine::setSession(DesktopSession session) {
    if (session_.x11) session_.x11->stopEvents();
    session_.shortcuts.reset();
    session_.x11.reset();
    session_.displayConfig.reset();
    session_ = std::move(session);
}

void LinuxMachine::startSession() {
    if (session_.audio) {
        session_.audio->onDisplaysCard = [this](const std::string& name, const std::string& slot) {
            return sinkOnDisplaysCard(name, slot);
        };
    }
    if (session_.shortcuts) {
        // Kept apart: activations may still arrive while the service is reset.
        keyService_ = session_.shortcuts->shortName();
        keyService_[0] = char(std::toupper(static_cast<unsigned char>(keyService_[0])));
        session_.shortcuts->onActivated = [this](const std::string& id) { serviceActivated(id); };
    }
    auto* config = session_.config();
    if (!config) return;
    config->onScreenChange = [this] { sessionChanged(); };
    if (session_.x11) session_.x11->onKeyPress = [this](int id) { keyPressed(id); };
    for (const auto& d : displays()) {
        if (auto out = outputFor(d.id); out && out->current) {
            std::lock_guard lock(mutex_);
            lastModes_[d.id] = out->current->modeID;
        }
    }
    config->startEvents();
}

namespace {
/// "0000:01:00" of the PCI device behind the DRM card of connector
/// ("card0-DP-1"); empty when the card is not on PCI.
std::string cardSlot(const std::string& root, const std::string& connector) {
    const auto dash = connector.find('-');
    if (dash == std::string::npos) return {};
    std::error_code ec;
    const auto device = std::filesystem::canonical(
        root + "/sys/class/drm/" + connector.substr(0, dash) + "/device", ec);
    if (ec) return {};
    const std::string address = device.filename().string();  // 0000:01:00.0
    const auto dot = address.rfind('.');
    return dot == std::string::npos ? std::string() : address.substr(0, dot);
}

/// Same card: the same slot, or integrated graphics, whose HDMI audio is the
/// chipset's sound card: both on the root bus of one domain.
bool sameCard(const std::string& card, const std::string& sound) {
    if (card == sound) return true;
    auto rootBus = [](const std::string& slot) {
        return slot.size() >= 8 && slot.compare(5, 3, "00:") == 0;
    };
    return rootBus(card) && rootBus(sound) && card.compare(0, 5, sound, 0, 5) == 0;
}

std::string trimmedLower(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\n");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\n");
    return runtime::lowercased(s.substr(first, last - first + 1));
}
}  // namespace

bool LinuxMachine::sinkOnDisplaysCard(const std::string& name, const std::string& pciSlot) const {
    if (pciSlot.empty()) return true;  // not a PCI sound card: nothing to compare
    bool named = false;
    for (const auto& d : displays()) {
        if (!d.edid || trimmedLower(d.edid->name) != trimmedLower(name)) continue;
        named = true;
        const auto card = cardSlot(root_, d.connector);
        if (card.empty() || sameCard(card, pciSlot)) return true;
    }
    return !named;
}

void LinuxMachine::sayUnavailable(const std::string& key, const std::string& what) {
    sayOnce(key, "[Linux] " + what + " unavailable: " + session_.unavailable);
}

void LinuxMachine::sayKeysUnavailable(const std::string& key, const std::string& what) {
    sayOnce(key, "[Linux] " + what + " unavailable: " + session_.keysUnavailable);
}

Platform LinuxMachine::platform() {
    AudioSinks& audio = session_.audio ? static_cast<AudioSinks&>(*session_.audio) : *this;
    KeyboardLayout& keyboard =
        session_.keyboard ? static_cast<KeyboardLayout&>(*session_.keyboard) : *this;
    return Platform{*this,
                    *this,
                    *this,
                    *this,
                    audio,
                    *this,
                    *this,
                    *this,
                    keyboard,
                    *this,
                    linuxTexts(),
                    session_.gnomeShortcuts ? &*session_.gnomeShortcuts : nullptr,
                    session_.osd.get()};
}

std::vector<LinuxDisplay> LinuxMachine::displays() const {
    std::lock_guard lock(mutex_);
    return displays_;
}

void LinuxMachine::rescan() {
    auto now = discovery_.scan();
    std::vector<std::pair<DisplayID, DisplayChange>> changes;
    {
        std::lock_guard lock(mutex_);
        const auto same = [](const LinuxDisplay& a, const LinuxDisplay& b) {
            return a.id == b.id && a.edidBytes == b.edidBytes && a.bus == b.bus;
        };
        for (const auto& old : displays_) {
            if (std::none_of(now.begin(), now.end(), [&](const auto& d) { return same(d, old); }))
                changes.emplace_back(old.id, DisplayChange::removed);
        }
        for (const auto& d : now) {
            if (std::none_of(displays_.begin(), displays_.end(),
                             [&](const auto& old) { return same(d, old); }))
                changes.emplace_back(d.id, DisplayChange::added);
        }
        displays_ = std::move(now);
        // A display plugged in (again) gets its bus checked afresh.
        for (const auto& [id, change] : changes)
            ddcCauses_.erase(id);
    }
    for (const auto& [id, change] : changes)
        callbacks_.fire(id, change);
}

void LinuxMachine::resumed() {
    log_.line("[Linux] Resumed from suspend - reading the monitors again");
    forgetOutputs();
    std::vector<DisplayID> ids;
    {
        std::lock_guard lock(mutex_);
        ddcCauses_.clear();
        for (const auto& d : displays_)
            ids.push_back(d.id);
    }
    for (DisplayID id : ids) {
        callbacks_.fire(id, DisplayChange::added);
    }
}

std::optional<LinuxDisplay> LinuxMachine::display(DisplayID id) const {
    std::lock_guard lock(mutex_);
    for (const auto& d : displays_) {
        if (d.id == id) return d;
    }
    return std::nullopt;
}

void LinuxMachine::sayOnce(const std::string& key, const std::string& line) {
    {
        std::lock_guard lock(mutex_);
        if (!said_.insert(key).second) return;
    }
    note(line);
}

std::string LinuxMachine::describe(const LinuxDisplay& d) {
    return d.edid && !d.edid->name.empty() ? d.edid->name + " on " + place(d) : place(d);
}

// WindowServer

std::variant<std::vector<DisplayID>, PlatformFailure> LinuxMachine::activeDisplays(
    std::size_t maxDisplays) {
    std::lock_guard lock(mutex_);
    std::vector<DisplayID> ids;
    for (const auto& d : displays_) {
        if (ids.size() == maxDisplays) break;
        ids.push_back(d.id);
    }
    return ids;
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

std::optional<std::string> LinuxMachine::displayLabel(DisplayID id) {
    auto d = display(id);
    if (!d) return std::nullopt;
    return d->edid && !d->edid->vendor.empty() ? d->edid->vendor + " on " + place(*d) : place(*d);
}

std::optional<std::string> LinuxMachine::connectorName(DisplayID id) {
    auto d = display(id);
    if (!d || d->connector.empty()) return std::nullopt;
    // "card0-DP-1" is "DP-1" to the desktop (xrandr, the display settings).
    const auto dash = d->connector.find('-');
    return dash == std::string::npos ? d->connector : d->connector.substr(dash + 1);
}

std::optional<std::string> LinuxMachine::ddcProblem(DisplayID id) {
    std::lock_guard lock(mutex_);
    auto it = ddcCauses_.find(id);
    if (it == ddcCauses_.end() || it->second.empty()) return std::nullopt;
    return it->second;
}

std::optional<std::string> LinuxMachine::connectionName(DisplayID id) {
    auto d = display(id);
    if (!d) return std::nullopt;
    return linux_::connectionName(d->type);
}

Subscription LinuxMachine::watchDisplays(std::function<void(DisplayID, DisplayChange)> changed) {
    return callbacks_.add(std::move(changed));
}

// DisplayConnectors

std::optional<std::string> LinuxMachine::productName(DisplayID id) {
    auto d = display(id);
    if (!d || !d->edid || d->edid->name.empty()) return std::nullopt;
    return d->edid->name;
}

std::optional<float> LinuxMachine::panelBrightness() {
    if (!backlight_ || !hasPanel()) return std::nullopt;
    return backlight_->level();
}

std::optional<PlatformError> LinuxMachine::setPanelBrightness(float level) {
    if (!backlight_ || !hasPanel()) return errnoError(ENODEV, "no backlight");
    if (backlight_->setLevel(level)) return std::nullopt;
    sayOnce("backlight", "[Linux] The backlight " + backlight_->name() +
                             " refused the change: logind did not take it and its sysfs "
                             "file is not writable");
    return errnoError(EACCES, "the backlight " + backlight_->name() + " refused the change");
}

bool LinuxMachine::hasPanel() const {
    std::lock_guard lock(mutex_);
    return std::any_of(displays_.begin(), displays_.end(),
                       [](const LinuxDisplay& d) { return d.builtIn; });
}

// DDCBuses
// WindowToolkit

std::unique_ptr<Window> LinuxMachine::makeWindow(WindowRole, Rect, const Screen&) {
    return nullptr;  // never asked: there is no screen to put one on
}

std::unique_ptr<EventMonitor> LinuxMachine::addLocalMonitorForEvents(
    std::uint64_t, std::function<std::optional<KeyEvent>(const KeyEvent&)>) {
    sayKeysUnavailable("keys", "Key monitoring");
    return nullptr;
}

// AudioSinks

std::vector<AudioSink> LinuxMachine::sinks() {
    sayOnce("audio", "[Linux] Display audio devices unavailable: " + session_.audioUnavailable);
    return {};
}

namespace {
PlatformError noSoundServer(const std::string& why) {
    return errnoError(ENOTCONN, why);
}
}  // namespace

std::optional<PlatformFailure> LinuxMachine::setVolume(AudioSinkID, float) {
    return PlatformFailure{"Volume", noSoundServer(session_.audioUnavailable)};
}

std::optional<PlatformFailure> LinuxMachine::setMute(AudioSinkID, bool) {
    return PlatformFailure{"Mute", noSoundServer(session_.audioUnavailable)};
}

std::variant<Subscription, PlatformError> LinuxMachine::watchVolume(AudioSinkID, runtime::Executor&,
                                                                    std::function<void()>) {
    return noSoundServer(session_.audioUnavailable);
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

}  // namespace orvane::platform::linux_
