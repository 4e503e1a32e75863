// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/Accessibility.h"
#include "platform/GlobalShortcuts.h"
#include "platform/KeyboardLayout.h"
#include "platform/MediaKeys.h"
#include "platform/WindowToolkit.h"
#include "platform/sim/SimEventTaps.h"
#include "platform/sim/SimHotKeys.h"
#include "platform/sim/SimStatus.h"

namespace orvane::platform::sim {

// The original platform's keyboard-layout calls, which the simulated machine
// answers and names keys through.
inline constexpr std::uint16_t kUCKeyActionDisplay = 3;
inline constexpr std::uint32_t kUCKeyTranslateNoDeadKeysMask = 1;

/// A keyboard layout's translation table.
class UCKeyboardLayout {
  public:
    virtual ~UCKeyboardLayout() = default;
};

/// The current input source; its layout data may be missing (input methods).
class InputSource {
  public:
    virtual ~InputSource() = default;
    /// The layout, owned by the source; none when the source has no layout.
    virtual const UCKeyboardLayout* unicodeKeyLayoutData() const = 0;
};

enum class SimKeyboardLayoutKind { us, noInputSource, noLayoutData };

/// Hot-key service calls a test can make fail.
enum class SimHotKeyCall { install, remove, getParameter, registerHotKey, unregisterHotKey };

/// The simulated keyboard side of the machine: event taps with the
/// Accessibility permission, the hot-key service, a keyboard layout and local
/// key-down monitors. Events are delivered on the calling thread; the rig and
/// tests deliver them on the main executor, as the run loop would.
class SimInput final : public EventTaps,
                       public MediaKeys,
                       public HotKeyService,
                       public GlobalShortcuts,
                       public KeyboardLayout,
                       public Accessibility {
  public:
    SimInput();
    ~SimInput() override;

    // Control
    void setAccessibilityTrusted(bool trusted);
    void setKeyboardLayout(SimKeyboardLayoutKind kind);
    void failHotKeyCall(SimHotKeyCall call, OSStatus status);
    /// Delivers a system event to the taps; true when one dropped it. Events
    /// that pass every tap are recorded as reaching the system.
    bool postEvent(CGEvent event);
    /// A media-key event: type 14 with field 87 = keyWord.
    bool postSystemDefined(std::int64_t keyWord);
    /// Disables every tap as the system does after a slow callback (or user input)
    /// and tells each callback so; true if a callback dropped the notice.
    bool disableTaps(bool byTimeout);
    std::vector<CGEvent> eventsReachingSystem() const;
    std::size_t tapCount() const;
    bool tapEnabled() const;
    std::size_t runLoopSourceCount() const;

    /// Fires the registered hot key with this combination; false if none is registered.
    bool pressHotKey(std::uint32_t keyCode, std::uint32_t modifiers);
    /// Delivers a hot-key event carrying id (registered or not); returns the handler's status.
    OSStatus fireHotKeyID(EventHotKeyID id);
    /// Delivers a hot-key event without a readable parameter.
    OSStatus fireUnreadableHotKeyEvent();
    std::size_t handlerCount() const;
    std::size_t hotKeyCount() const;
    std::optional<EventHotKeyID> hotKeyFor(std::uint32_t keyCode, std::uint32_t modifiers) const;

    /// A key press reaching the application: local monitors see it first.
    /// True when it passes every monitor.
    bool pressKey(KeyEvent event);
    std::size_t monitorCount() const;
    std::unique_ptr<EventMonitor> addLocalMonitor(
        std::uint64_t mask, std::function<std::optional<KeyEvent>(const KeyEvent&)> handler);

    /// Asked with a prompt this many times.
    int accessibilityPrompts() const;

    // Accessibility
    bool isProcessTrustedWithOptions(bool prompt) override;

    // MediaKeys: a tap on system-defined events that decodes their key words
    // and re-enables itself when the system disables it.
    Subscription interceptMediaKeys(MediaKeys::Handler handler) override;

    // EventTaps
    std::unique_ptr<MachPort> eventTapCreate(std::uint32_t location, std::uint32_t placement,
                                             std::uint32_t options, CGEventMask mask,
                                             CGEventTapCallBack callback, void* userInfo) override;
    void eventTapEnable(MachPort& tap, bool enable) override;
    std::int64_t eventGetIntegerValueField(const CGEvent& event, CGEventField field) override;
    std::unique_ptr<RunLoopSource> machPortCreateRunLoopSource(MachPort& tap, long order) override;
    void runLoopAddSource(RunLoopSource& source) override;
    void runLoopRemoveSource(RunLoopSource& source) override;

    // GlobalShortcuts: one handler and a hot key per id, through the calls
    // below; a refusal is said as its status.
    static constexpr std::uint32_t kSignature = 0x4F56;
    std::variant<Subscription, PlatformError> listen(
        std::function<void(std::uint32_t id)> activated) override;
    std::optional<PlatformError> bind(std::uint32_t id, std::uint32_t keyCode,
                                      std::uint32_t modifiers, const ShortcutPurpose&) override;
    void unbind(std::uint32_t id) override;

    // HotKeyService
    EventTargetRef getApplicationEventTarget() override { return kApplicationTarget; }
    OSStatus installEventHandler(EventTargetRef target, EventHandlerProcPtr handler,
                                 std::size_t numTypes, const EventTypeSpec* types, void* userData,
                                 EventHandlerRef* outRef) override;
    OSStatus removeEventHandler(EventHandlerRef handler) override;
    OSStatus getEventParameter(EventRef event, std::uint32_t name, std::uint32_t type,
                               std::size_t bufferSize, std::size_t* outActualSize,
                               void* outData) override;
    OSStatus registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers, EventHotKeyID id,
                                 EventTargetRef target, std::uint32_t options,
                                 EventHotKeyRef* outRef) override;
    OSStatus unregisterEventHotKey(EventHotKeyRef hotKey) override;

    // KeyboardLayout: the current source's layout, translated for display
    // into UTF-16 units as the original platform does.
    std::optional<std::u32string> keyText(std::uint32_t keyCode) override;

    // The original platform's layout calls.
    /// The current source, owned by the caller; none when there is none.
    std::unique_ptr<InputSource> copyCurrentKeyboardInputSource();
    std::uint32_t keyboardType() { return 40; }
    /// Up to maxLength UTF-16 units in the caller's buffer; a non-zero status writes nothing.
    OSStatus ucKeyTranslate(const UCKeyboardLayout& layout, std::uint16_t keyCode,
                            std::uint16_t keyAction, std::uint32_t modifierKeyState,
                            std::uint32_t keyboardType, std::uint32_t options,
                            std::uint32_t* deadKeyState, std::size_t maxLength,
                            std::size_t* actualLength, char16_t* unicodeString);

  private:
    static constexpr EventTargetRef kApplicationTarget = 1;
    struct Tap {
        CGEventMask mask = 0;
        CGEventTapCallBack callback = nullptr;
        void* userInfo = nullptr;
        bool enabled = false;
        int sources = 0;  // sources attached to the run loop
    };
    struct Handler {
        std::vector<EventTypeSpec> types;
        EventHandlerProcPtr proc = nullptr;
        void* userData = nullptr;
    };
    struct HotKey {
        std::uint32_t keyCode = 0;
        std::uint32_t modifiers = 0;
        EventHotKeyID id;
    };
    struct Monitor {
        std::uint64_t mask = 0;
        std::function<std::optional<KeyEvent>(const KeyEvent&)> handler;
    };
    class SimTap;
    struct MediaKeyTap;
    static CGEvent* mediaKeyCallback(CGEventTapProxy proxy, CGEventType type, CGEvent* event,
                                     void* userInfo);
    class SimSource;
    class SimInputSource;
    class SimMonitor;
    struct Shared;

    OSStatus dispatch(const Event& event);
    std::optional<OSStatus> failure(SimHotKeyCall call) const;

    std::shared_ptr<Shared> shared_;
    std::map<std::uint32_t, EventHotKeyRef> bound_;  // main thread
};

}  // namespace orvane::platform::sim
