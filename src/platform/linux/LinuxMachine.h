// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/DisplayWatchers.h"
#include "platform/Platform.h"
#include "platform/linux/Backlight.h"
#include "platform/linux/DesktopSession.h"
#include "platform/linux/DisplayDiscovery.h"
#include "platform/linux/I2CBus.h"
#include "runtime/Clock.h"
#include "runtime/Logger.h"

namespace orvane::platform::linux_ {

/// A Linux machine behind the platform interfaces: the connected DRM
/// connectors are the displays, named by their EDID, each DDC bus is the
/// connector's /dev/i2c-N, and the panel's brightness is its backlight.
/// In an X11 session the display's RandR output (matched by EDID) gives its
/// modes and gamma, and key grabs give the media keys and hot keys. What the
/// session cannot do answers "unavailable", each said once in the log.
///
/// Bus handles stay open per bus; one transaction at a time per bus.
class LinuxMachine final : public WindowServer,
                           public DisplayConnectors,
                           public DDCBuses,
                           public WindowToolkit,
                           public AudioSinks,
                           public FileSystem,
                           public MediaKeys,
                           public GlobalShortcuts,
                           public KeyboardLayout,
                           public Accessibility {
  public:
    /// holdNotes keeps what it finds to say until releaseNotes (the start line comes first).
    LinuxMachine(std::string root, I2COpener opener, runtime::Clock& clock, runtime::Logger& log,
                 DesktopSession session = {}, bool holdNotes = false);
    ~LinuxMachine() override;

    Platform platform();
    /// The session's layer shell, for the GUI's windows; null without one.
    LayerShell* layerShell() { return session_.layers.get(); }
    /// Where hot-key handlers run; set before any is installed.
    void setMainExecutor(runtime::Executor& main) { main_ = &main; }
    /// The desktop session, when it is found after the machine was made.
    void setSession(DesktopSession session);
    /// Starts following the session's display changes and keys.
    void startSession();
    /// Reads sysfs again and tells the reconfiguration callbacks what was added
    /// or removed (begin, then add or remove, per display). The hot-plug
    /// monitor calls it; any thread.
    void rescan();
    std::vector<LinuxDisplay> displays() const;
    /// After a resume from suspend: every bus is checked again and every
    /// display reported as added, so the core reads the monitors again and
    /// sends back what they forgot. Any thread.
    void resumed();
    /// 128 bytes at 0x50 of bus, for buses no connector claims.
    std::optional<std::vector<std::uint8_t>> readEDID(int bus);
    /// Checks the bus of every external display, all buses at once (each is
    /// independent), says once per display why one has no DDC/CI, and
    /// returns how many answer. Only those get an I2C interface.
    std::size_t checkDDC();
    /// Lines said before the start line are held: this says them, the
    /// remedies first, and says every later line at once.
    void releaseNotes();

    // WindowServer
    std::variant<std::vector<DisplayID>, PlatformFailure> activeDisplays(
        std::size_t maxDisplays) override;
    bool displayIsBuiltin(DisplayID display) override;
    std::uint32_t vendorNumber(DisplayID display) override;
    std::uint32_t modelNumber(DisplayID display) override;
    std::uint32_t serialNumber(DisplayID display) override;
    /// The EDID's vendor with the connector ("DEL on DP-1"), else the connector.
    std::optional<std::string> displayLabel(DisplayID display) override;
    std::optional<std::string> connectorName(DisplayID display) override;
    std::optional<std::string> ddcProblem(DisplayID display) override;
    std::optional<ScreenMode> currentMode(DisplayID display) override;
    std::size_t pixelsWide(DisplayID display) override;
    std::size_t pixelsHigh(DisplayID display) override;
    std::optional<std::vector<ScreenMode>> displayModes(DisplayID display,
                                                        bool duplicates) override;
    std::optional<PlatformFailure> setMode(DisplayID display, const ScreenMode& mode) override;
    std::variant<GammaRamps, PlatformError> gammaRamps(DisplayID display,
                                                       std::size_t capacity) override;
    std::optional<PlatformError> setGammaRamps(DisplayID display, const GammaRamps& ramps) override;
    void restoreGamma() override;
    Subscription watchDisplays(std::function<void(DisplayID, DisplayChange)> changed) override;

    // DisplayConnectors
    std::optional<std::string> productName(DisplayID display) override;
    /// From the connector type; "Unknown" for a display seen only on a bus.
    std::optional<std::string> connectionName(DisplayID display) override;
    /// The backlight's level, when there is a built-in panel.
    std::optional<float> panelBrightness() override;
    std::optional<PlatformError> setPanelBrightness(float level) override;

    // DDCBuses: the connector's /dev/i2c-N, one write to 0x37 and, after the
    // delay, one read from it, under the bus's flock.
    bool offers(DDCLink link) override;
    bool reaches(DDCLink link, DisplayID display) override;
    std::variant<std::vector<std::uint8_t>, DDCBusFailure> transfer(
        DDCLink link, DisplayID display, std::span<const std::uint8_t> message,
        std::chrono::nanoseconds delay, std::size_t replyLength) override;
    void forget() override {}

    // WindowToolkit: no screens without a display server.
    std::vector<Screen> screens() override { return {}; }
    std::optional<Screen> mainScreen() override { return std::nullopt; }
    std::unique_ptr<Window> makeWindow(WindowRole, Rect, const Screen&) override;
    std::unique_ptr<EventMonitor> addLocalMonitorForEvents(
        std::uint64_t, std::function<std::optional<KeyEvent>(const KeyEvent&)>) override;

    // AudioSinks, where no sound server answers.
    std::vector<AudioSink> sinks() override;
    std::optional<float> volume(AudioSinkID) override { return std::nullopt; }
    std::optional<PlatformFailure> setVolume(AudioSinkID, float) override;
    std::optional<PlatformFailure> setMute(AudioSinkID, bool) override;
    std::variant<Subscription, PlatformError> watchVolume(AudioSinkID, runtime::Executor&,
                                                          std::function<void()>) override;

    // FileSystem
    std::string homeDirectory() override;
    std::vector<std::string> colorProfileDirectories() override;
    std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path) override;
    std::optional<std::vector<std::uint8_t>> contentsOfFile(const std::string& path) override;

    // MediaKeys: KDE's KGlobalAccel where it runs, else key grabs on X11 and
    // the GlobalShortcuts portal on Wayland.
    Subscription interceptMediaKeys(Handler handler) override;

    // GlobalShortcuts: as the media keys.
    std::variant<Subscription, PlatformError> listen(
        std::function<void(std::uint32_t id)> activated) override;
    std::optional<PlatformError> bind(std::uint32_t id, std::uint32_t keyCode,
                                      std::uint32_t modifiers,
                                      const ShortcutPurpose& purpose) override;
    void unbind(std::uint32_t id) override;

    // KeyboardLayout, where libxkbcommon has no keymap: keys keep their numbers.
    std::optional<std::u32string> keyText(std::uint32_t) override { return std::nullopt; }

    // Accessibility
    bool isProcessTrustedWithOptions(bool prompt) override;

  private:
    /// The display's X11 output, matched by EDID; none without one (said once).
    std::optional<SessionOutput> outputFor(DisplayID display);
    void sayUnavailable(const std::string& key, const std::string& what);
    void sayKeysUnavailable(const std::string& key, const std::string& what);
    void sessionChanged();
    /// Whether a display named name is driven by the card in pciSlot, or no
    /// display has that name.
    bool sinkOnDisplaysCard(const std::string& name, const std::string& pciSlot) const;
    void forgetOutputs();
    /// Why display id has no ramps to read or set: no display server, or no output of its.
    PlatformError noGammaOutput(DisplayID id);
    void keyPressed(int id);
    /// A media key's or hot key's activation through the shortcut service (its thread).
    void serviceActivated(const std::string& id);
    /// Delivers a media key to the interception; false when it passed it on.
    bool deliverMediaKey(MediaKey key);
    /// Ends the interception: lets the grabs go.
    void endMediaKeys();

    struct Bus {
        std::mutex lock;  // one transaction at a time
        std::unique_ptr<I2CBus> handle;
    };
    /// One transaction's hold on a bus: this process's threads wait for the
    /// mutex, other processes (a one-shot run beside a resident one, other
    /// tools) for the advisory lock on the node, at most kBusWait.
    class Transaction {
      public:
        Transaction(LinuxMachine& machine, Bus& bus, int number);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        /// 0 once the bus is ours; EWOULDBLOCK when another process held it
        /// throughout, or the errno of the lock that failed.
        int error() const { return error_; }
        /// What to call a bus that stayed held.
        static std::string busyText(int number);

      private:
        std::lock_guard<std::mutex> guard_;
        Bus& bus_;
        int error_ = 0;
    };
    static constexpr std::chrono::milliseconds kBusWait{1000};

    bool hasPanel() const;
    std::optional<LinuxDisplay> display(DisplayID id) const;
    /// The open bus; null (with the remedy said once per cause, and error set
    /// to open's errno) when it cannot be opened.
    Bus* openBus(int bus, int& error);
    /// Says line once per key.
    void sayOnce(const std::string& key, const std::string& line);
    /// Says line, or holds it until releaseNotes (remedies go first there).
    void note(const std::string& line, bool remedy = false);
    /// Why a bus offers no DDC/CI ("no access to /dev/i2c-4"); empty when
    /// something acknowledges a read at 0x37 within three tries 40 ms apart
    /// (a bus busy for a moment still counts).
    std::string ddcCause(int bus);
    /// Whether the display's bus answered its check (checked now if it never was).
    bool ddcReachable(const LinuxDisplay& display);
    /// "DP-1", "DELL U2720Q on DP-1", "bus 7".
    static std::string describe(const LinuxDisplay& display);

    std::string root_;
    I2COpener opener_;
    runtime::Clock& clock_;
    runtime::Logger& log_;
    DisplayDiscovery discovery_;
    std::optional<Backlight> backlight_;

    mutable std::mutex mutex_;
    std::vector<LinuxDisplay> displays_;
    std::map<int, std::unique_ptr<Bus>> buses_;
    std::set<std::string> said_;
    bool holding_;  // notes wait for the start line
    std::vector<std::string> heldRemedies_, heldNotes_;
    /// Per display: whether its bus answered at 0x37.
    std::map<DisplayID, std::string> ddcCauses_;  // "" for a display that answers
    DisplayWatchers callbacks_;

    DesktopSession session_;
    runtime::Executor* main_ = nullptr;
    // Mode changes staged per configuration transaction.
    std::map<DisplayID, std::int32_t> lastModes_;        // under mutex_
    std::optional<std::vector<SessionOutput>> outputs_;  // under mutex_; none: ask the server
    /// Each output's ramps before Orvane's first write, by output name: what
    /// an exit puts back. Main thread.
    struct Ramps {
        std::vector<float> red, green, blue;
    };
    std::map<std::string, Ramps> gammaOriginals_;
    // Media keys: the one interception, read on the event thread.
    std::mutex mediaKeysLock_;
    std::shared_ptr<const Handler> mediaKeys_;
    // Shortcuts: the listener and the bound ids, main thread.
    std::shared_ptr<const std::function<void(std::uint32_t)>> activated_;
    std::set<std::uint32_t> shortcuts_;
    std::map<std::string, std::uint32_t> serviceShortcuts_;  // service id -> shortcut id
    std::string keyService_;  // "The portal": the shortcut service, as a sentence begins
    /// Tells the listener (main thread) that shortcut id fired, if it is still bound.
    void shortcutFired(std::uint32_t id);
};

}  // namespace orvane::platform::linux_
