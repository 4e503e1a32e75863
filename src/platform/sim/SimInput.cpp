// SPDX-License-Identifier: MIT
// The simulated keyboard side: event taps, hot keys, the layout and local
// monitors share one state and lock; each section also answers the core's
// interface for it (MediaKeys, GlobalShortcuts, KeyboardLayout).
#include "platform/sim/SimInput.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace orvane::platform::sim {

namespace {
/// A US layout: virtual key code to the character its key types.
constexpr std::array<std::pair<std::uint16_t, char>, 47> kUSLayout{{
    {0, 'a'},   {1, 's'},  {2, 'd'},  {3, 'f'},  {4, 'h'},  {5, 'g'},   {6, 'z'},  {7, 'x'},
    {8, 'c'},   {9, 'v'},  {11, 'b'}, {12, 'q'}, {13, 'w'}, {14, 'e'},  {15, 'r'}, {16, 'y'},
    {17, 't'},  {18, '1'}, {19, '2'}, {20, '3'}, {21, '4'}, {22, '6'},  {23, '5'}, {24, '='},
    {25, '9'},  {26, '7'}, {27, '-'}, {28, '8'}, {29, '0'}, {30, ']'},  {31, 'o'}, {32, 'u'},
    {33, '['},  {34, 'i'}, {35, 'p'}, {37, 'l'}, {38, 'j'}, {39, '\''}, {40, 'k'}, {41, ';'},
    {42, '\\'}, {43, ','}, {44, '/'}, {45, 'n'}, {46, 'm'}, {47, '.'},  {50, '`'},
}};
constexpr OSStatus kParamErr = -50;
}  // namespace

struct SimInput::Shared {
    mutable std::mutex mutex;
    bool trusted = true;
    int prompts = 0;
    SimKeyboardLayoutKind layout = SimKeyboardLayoutKind::us;
    std::map<std::uint64_t, Tap> taps;
    std::uint64_t nextTap = 1;
    std::vector<CGEvent> reachedSystem;
    std::map<EventHandlerRef, Handler> handlers;
    EventHandlerRef nextHandler = 1;
    std::map<EventHotKeyRef, HotKey> hotKeys;
    EventHotKeyRef nextHotKey = 1;
    std::map<SimHotKeyCall, OSStatus> failures;
    std::map<std::uint64_t, Monitor> monitors;
    std::uint64_t nextMonitor = 1;
};

class SimInput::SimTap final : public MachPort {
  public:
    SimTap(std::shared_ptr<Shared> shared, std::uint64_t id) : shared(std::move(shared)), id(id) {}
    ~SimTap() override {
        std::lock_guard lock(shared->mutex);
        shared->taps.erase(id);
    }
    std::shared_ptr<Shared> shared;
    std::uint64_t id;
};

class SimInput::SimSource final : public RunLoopSource {
  public:
    SimSource(std::shared_ptr<Shared> shared, std::uint64_t tap)
        : shared(std::move(shared)), tap(tap) {}
    ~SimSource() override { setAttached(false); }
    void setAttached(bool on) {
        std::lock_guard lock(shared->mutex);
        if (on == attached) return;
        attached = on;
        if (auto it = shared->taps.find(tap); it != shared->taps.end())
            it->second.sources += on ? 1 : -1;
    }
    std::shared_ptr<Shared> shared;
    std::uint64_t tap;
    bool attached = false;
};

class SimInput::SimInputSource final : public InputSource {
  public:
    explicit SimInputSource(bool hasLayout) : hasLayout_(hasLayout) {}
    const UCKeyboardLayout* unicodeKeyLayoutData() const override {
        return hasLayout_ ? &layout_ : nullptr;
    }

  private:
    class USLayout final : public UCKeyboardLayout {};
    bool hasLayout_;
    USLayout layout_;
};

class SimInput::SimMonitor final : public EventMonitor {
  public:
    SimMonitor(std::shared_ptr<Shared> shared, std::uint64_t id)
        : shared_(std::move(shared)), id_(id) {}
    ~SimMonitor() override {
        std::lock_guard lock(shared_->mutex);
        shared_->monitors.erase(id_);
    }

  private:
    std::shared_ptr<Shared> shared_;
    std::uint64_t id_;
};

SimInput::SimInput() : shared_(std::make_shared<Shared>()) {}
SimInput::~SimInput() = default;

void SimInput::setAccessibilityTrusted(bool trusted) {
    std::lock_guard lock(shared_->mutex);
    shared_->trusted = trusted;
}

void SimInput::setKeyboardLayout(SimKeyboardLayoutKind kind) {
    std::lock_guard lock(shared_->mutex);
    shared_->layout = kind;
}

void SimInput::failHotKeyCall(SimHotKeyCall call, OSStatus status) {
    std::lock_guard lock(shared_->mutex);
    if (status == noErr) {
        shared_->failures.erase(call);
    } else {
        shared_->failures[call] = status;
    }
}

std::optional<OSStatus> SimInput::failure(SimHotKeyCall call) const {
    std::lock_guard lock(shared_->mutex);
    auto it = shared_->failures.find(call);
    if (it == shared_->failures.end()) return std::nullopt;
    return it->second;
}

bool SimInput::isProcessTrustedWithOptions(bool prompt) {
    std::lock_guard lock(shared_->mutex);
    if (prompt && !shared_->trusted) ++shared_->prompts;
    return shared_->trusted;
}

int SimInput::accessibilityPrompts() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->prompts;
}

// ---- media keys

namespace {
/// The key of a key-type byte (bits 16-23 of the key word).
std::optional<MediaKey> mediaKeyForKeyType(std::uint8_t keyType) {
    switch (keyType) {
        case 0:
            return MediaKey::volumeUp;
        case 1:
            return MediaKey::volumeDown;
        case 2:
            return MediaKey::brightnessUp;
        case 3:
            return MediaKey::brightnessDown;
        case 7:
            return MediaKey::mute;
        default:
            return std::nullopt;
    }
}
}  // namespace

struct SimInput::MediaKeyTap {
    SimInput* input = nullptr;
    MediaKeys::Handler handler;
    std::unique_ptr<MachPort> tap;
    std::unique_ptr<RunLoopSource> source;
};

CGEvent* SimInput::mediaKeyCallback(CGEventTapProxy, CGEventType type, CGEvent* event,
                                    void* userInfo) {
    auto* t = static_cast<MediaKeyTap*>(userInfo);
    if (type == kCGEventTapDisabledByTimeout || type == kCGEventTapDisabledByUserInput) {
        if (t->tap) t->input->eventTapEnable(*t->tap, true);
        return event;
    }
    if (type != kCGEventSystemDefined || !event) return event;
    const auto keyWord = static_cast<std::uint32_t>(
        t->input->eventGetIntegerValueField(*event, kCGEventSystemDefinedData1));
    // Key down (0x00) or its repeat form (0x02) only; the low and top bytes carry nothing.
    const auto state = static_cast<std::uint8_t>((keyWord >> 8) & 0xFF);
    if ((state & 0xFD) != 0) return event;
    const auto key = mediaKeyForKeyType(static_cast<std::uint8_t>((keyWord >> 16) & 0xFF));
    if (!key) return event;
    return t->handler(*key) ? nullptr : event;
}

Subscription SimInput::interceptMediaKeys(MediaKeys::Handler handler) {
    auto state = std::make_shared<MediaKeyTap>();
    state->input = this;
    state->handler = std::move(handler);
    state->tap =
        eventTapCreate(kCGSessionEventTap, kCGHeadInsertEventTap, kCGEventTapOptionDefault,
                       CGEventMask{1} << kCGEventSystemDefined, &mediaKeyCallback, state.get());
    if (!state->tap) return {};
    state->source = machPortCreateRunLoopSource(*state->tap, 0);
    if (state->source) runLoopAddSource(*state->source);
    eventTapEnable(*state->tap, true);
    return Subscription([state] {
        state->input->eventTapEnable(*state->tap, false);
        if (state->source) state->input->runLoopRemoveSource(*state->source);
        state->source.reset();
        state->tap.reset();
    });
}

// ---- event taps

std::unique_ptr<MachPort> SimInput::eventTapCreate(std::uint32_t, std::uint32_t, std::uint32_t,
                                                   CGEventMask mask, CGEventTapCallBack callback,
                                                   void* userInfo) {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->trusted || !callback) return nullptr;
    const auto id = shared_->nextTap++;
    // A new tap is enabled, as the window server creates it.
    shared_->taps[id] = Tap{mask, callback, userInfo, true, 0};
    return std::make_unique<SimTap>(shared_, id);
}

void SimInput::eventTapEnable(MachPort& tap, bool enable) {
    auto& t = static_cast<SimTap&>(tap);
    std::lock_guard lock(shared_->mutex);
    if (auto it = shared_->taps.find(t.id); it != shared_->taps.end()) it->second.enabled = enable;
}

std::int64_t SimInput::eventGetIntegerValueField(const CGEvent& event, CGEventField field) {
    for (const auto& [f, v] : event.fields) {
        if (f == field) return v;
    }
    return 0;
}

std::unique_ptr<RunLoopSource> SimInput::machPortCreateRunLoopSource(MachPort& tap, long) {
    return std::make_unique<SimSource>(shared_, static_cast<SimTap&>(tap).id);
}

void SimInput::runLoopAddSource(RunLoopSource& source) {
    static_cast<SimSource&>(source).setAttached(true);
}

void SimInput::runLoopRemoveSource(RunLoopSource& source) {
    static_cast<SimSource&>(source).setAttached(false);
}

bool SimInput::postEvent(CGEvent event) {
    std::vector<Tap> taps;
    {
        std::lock_guard lock(shared_->mutex);
        for (const auto& [id, tap] : shared_->taps) {
            const bool listens = event.type < 64 && (tap.mask & (CGEventMask{1} << event.type));
            if (tap.enabled && tap.sources > 0 && listens) taps.push_back(tap);
        }
    }
    CGEvent* current = &event;
    for (const auto& tap : taps) {
        current = tap.callback(nullptr, current->type, current, tap.userInfo);
        if (!current) return true;
    }
    std::lock_guard lock(shared_->mutex);
    shared_->reachedSystem.push_back(*current);
    return false;
}

bool SimInput::postSystemDefined(std::int64_t keyWord) {
    return postEvent(CGEvent{kCGEventSystemDefined, {{kCGEventSystemDefinedData1, keyWord}}});
}

bool SimInput::disableTaps(bool byTimeout) {
    std::vector<Tap> taps;
    {
        std::lock_guard lock(shared_->mutex);
        for (auto& [id, tap] : shared_->taps) {
            tap.enabled = false;
            if (tap.sources > 0) taps.push_back(tap);
        }
    }
    const CGEventType type =
        byTimeout ? kCGEventTapDisabledByTimeout : kCGEventTapDisabledByUserInput;
    bool dropped = false;
    for (const auto& tap : taps) {
        CGEvent notice{type, {}};
        dropped |= tap.callback(nullptr, type, &notice, tap.userInfo) == nullptr;
    }
    return dropped;
}

std::vector<CGEvent> SimInput::eventsReachingSystem() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->reachedSystem;
}

std::size_t SimInput::tapCount() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->taps.size();
}

bool SimInput::tapEnabled() const {
    std::lock_guard lock(shared_->mutex);
    return std::any_of(shared_->taps.begin(), shared_->taps.end(),
                       [](const auto& t) { return t.second.enabled; });
}

std::size_t SimInput::runLoopSourceCount() const {
    std::lock_guard lock(shared_->mutex);
    int n = 0;
    for (const auto& [id, tap] : shared_->taps)
        n += tap.sources;
    return static_cast<std::size_t>(n);
}

// ---- hot keys

OSStatus SimInput::installEventHandler(EventTargetRef target, EventHandlerProcPtr handler,
                                       std::size_t numTypes, const EventTypeSpec* types,
                                       void* userData, EventHandlerRef* outRef) {
    if (auto f = failure(SimHotKeyCall::install)) return *f;
    if (target != kApplicationTarget || !handler || !outRef) return kParamErr;
    std::lock_guard lock(shared_->mutex);
    const auto ref = shared_->nextHandler++;
    shared_->handlers[ref] =
        Handler{std::vector<EventTypeSpec>(types, types + numTypes), handler, userData};
    *outRef = ref;
    return noErr;
}

OSStatus SimInput::removeEventHandler(EventHandlerRef handler) {
    if (auto f = failure(SimHotKeyCall::remove)) return *f;
    std::lock_guard lock(shared_->mutex);
    return shared_->handlers.erase(handler) ? noErr : kParamErr;
}

OSStatus SimInput::getEventParameter(EventRef event, std::uint32_t name, std::uint32_t type,
                                     std::size_t bufferSize, std::size_t* outActualSize,
                                     void* outData) {
    if (auto f = failure(SimHotKeyCall::getParameter)) return *f;
    if (!event || name != kEventParamDirectObject || type != typeEventHotKeyID ||
        !event->hotKeyID) {
        return eventParameterNotFoundErr;
    }
    if (bufferSize < sizeof(EventHotKeyID) || !outData) return kParamErr;
    std::memcpy(outData, &*event->hotKeyID, sizeof(EventHotKeyID));
    if (outActualSize) *outActualSize = sizeof(EventHotKeyID);
    return noErr;
}

OSStatus SimInput::registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                       EventHotKeyID id, EventTargetRef target, std::uint32_t,
                                       EventHotKeyRef* outRef) {
    if (auto f = failure(SimHotKeyCall::registerHotKey)) return *f;
    if (target != kApplicationTarget || !outRef) return kParamErr;
    std::lock_guard lock(shared_->mutex);
    for (const auto& [ref, hk] : shared_->hotKeys) {
        if (hk.keyCode == keyCode && hk.modifiers == modifiers) return eventHotKeyExistsErr;
    }
    const auto ref = shared_->nextHotKey++;
    shared_->hotKeys[ref] = HotKey{keyCode, modifiers, id};
    *outRef = ref;
    return noErr;
}

OSStatus SimInput::unregisterEventHotKey(EventHotKeyRef hotKey) {
    if (auto f = failure(SimHotKeyCall::unregisterHotKey)) return *f;
    std::lock_guard lock(shared_->mutex);
    return shared_->hotKeys.erase(hotKey) ? noErr : kParamErr;
}

OSStatus SimInput::dispatch(const Event& event) {
    std::vector<Handler> handlers;
    {
        std::lock_guard lock(shared_->mutex);
        for (const auto& [ref, h] : shared_->handlers) {
            const bool wants = std::any_of(h.types.begin(), h.types.end(), [&](const auto& t) {
                return t.eventClass == event.eventClass && t.eventKind == event.eventKind;
            });
            if (wants) handlers.push_back(h);
        }
    }
    OSStatus status = eventNotHandledErr;
    for (const auto& h : handlers) {
        status = h.proc(0, &event, h.userData);
        if (status != eventNotHandledErr) break;
    }
    return status;
}

bool SimInput::pressHotKey(std::uint32_t keyCode, std::uint32_t modifiers) {
    auto id = hotKeyFor(keyCode, modifiers);
    if (!id) return false;
    fireHotKeyID(*id);
    return true;
}

OSStatus SimInput::fireHotKeyID(EventHotKeyID id) {
    Event event;
    event.hotKeyID = id;
    return dispatch(event);
}

OSStatus SimInput::fireUnreadableHotKeyEvent() {
    return dispatch(Event{});
}

std::size_t SimInput::handlerCount() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->handlers.size();
}

std::size_t SimInput::hotKeyCount() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->hotKeys.size();
}

std::optional<EventHotKeyID> SimInput::hotKeyFor(std::uint32_t keyCode,
                                                 std::uint32_t modifiers) const {
    std::lock_guard lock(shared_->mutex);
    for (const auto& [ref, hk] : shared_->hotKeys) {
        if (hk.keyCode == keyCode && hk.modifiers == modifiers) return hk.id;
    }
    return std::nullopt;
}

// ---- keyboard layout

std::unique_ptr<InputSource> SimInput::copyCurrentKeyboardInputSource() {
    std::lock_guard lock(shared_->mutex);
    if (shared_->layout == SimKeyboardLayoutKind::noInputSource) return nullptr;
    return std::make_unique<SimInputSource>(shared_->layout == SimKeyboardLayoutKind::us);
}

OSStatus SimInput::ucKeyTranslate(const UCKeyboardLayout&, std::uint16_t keyCode,
                                  std::uint16_t keyAction, std::uint32_t modifierKeyState,
                                  std::uint32_t, std::uint32_t, std::uint32_t* deadKeyState,
                                  std::size_t maxLength, std::size_t* actualLength,
                                  char16_t* unicodeString) {
    if (!actualLength || !deadKeyState || keyCode > 127) return kParamErr;
    *actualLength = 0;
    if (keyAction != kUCKeyActionDisplay) return kParamErr;
    for (const auto& [code, ch] : kUSLayout) {
        if (code != keyCode) continue;
        if (maxLength == 0 || !unicodeString) return kParamErr;
        char c = ch;
        // Shift (bit 1 of the state's high byte) types the upper case.
        if ((modifierKeyState & 0x02) && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        unicodeString[0] = static_cast<char16_t>(c);
        *actualLength = 1;
        return noErr;
    }
    return noErr;  // a key that types nothing
}

std::optional<std::u32string> SimInput::keyText(std::uint32_t keyCode) {
    if (keyCode > 0xFFFF) return std::nullopt;
    auto source = copyCurrentKeyboardInputSource();
    if (!source) return std::nullopt;
    const auto* data = source->unicodeKeyLayoutData();
    if (!data) return std::nullopt;
    std::uint32_t deadKeys = 0;
    std::size_t length = 0;
    std::array<char16_t, 4> units{};
    const auto status = ucKeyTranslate(
        *data, static_cast<std::uint16_t>(keyCode), kUCKeyActionDisplay, 0, keyboardType(),
        kUCKeyTranslateNoDeadKeysMask, &deadKeys, units.size(), &length, units.data());
    if (status != noErr || length == 0) return std::nullopt;
    length = std::min(length, units.size());
    std::u32string text;
    for (std::size_t i = 0; i < length; ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length)
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        text += c;
    }
    return text;
}

// ---- global shortcuts

namespace {
struct Listener {
    std::function<void(std::uint32_t)> activated;
    HotKeyService* service = nullptr;
};

OSStatus onHotKey(EventHandlerCallRef, EventRef event, void* userData) {
    auto* listener = static_cast<Listener*>(userData);
    if (!event || !listener) return eventNotHandledErr;
    EventHotKeyID id;
    if (listener->service->getEventParameter(event, kEventParamDirectObject, typeEventHotKeyID,
                                             sizeof id, nullptr, &id) != noErr)
        return eventNotHandledErr;
    listener->activated(id.id);
    return noErr;
}

}  // namespace

std::variant<Subscription, PlatformError> SimInput::listen(
    std::function<void(std::uint32_t id)> activated) {
    auto listener = std::make_shared<Listener>(Listener{std::move(activated), this});
    const EventTypeSpec type{kEventClassKeyboard, kEventHotKeyPressed};
    EventHandlerRef ref = 0;
    const auto status =
        installEventHandler(getApplicationEventTarget(), &onHotKey, 1, &type, listener.get(), &ref);
    if (status != noErr) return statusError(status);
    return Subscription([this, listener, ref] { removeEventHandler(ref); });
}

std::optional<PlatformError> SimInput::bind(std::uint32_t id, std::uint32_t keyCode,
                                            std::uint32_t modifiers, const ShortcutPurpose&) {
    EventHotKeyRef ref = 0;
    const auto status = registerEventHotKey(keyCode, modifiers, EventHotKeyID{kSignature, id},
                                            getApplicationEventTarget(), 0, &ref);
    if (status != noErr || ref == 0) return statusError(status, "status=" + std::to_string(status));
    bound_[id] = ref;
    return std::nullopt;
}

void SimInput::unbind(std::uint32_t id) {
    auto it = bound_.find(id);
    if (it == bound_.end()) return;
    unregisterEventHotKey(it->second);
    bound_.erase(it);
}

// ---- local monitors

std::unique_ptr<EventMonitor> SimInput::addLocalMonitor(
    std::uint64_t mask, std::function<std::optional<KeyEvent>(const KeyEvent&)> handler) {
    std::lock_guard lock(shared_->mutex);
    const auto id = shared_->nextMonitor++;
    shared_->monitors[id] = Monitor{mask, std::move(handler)};
    return std::make_unique<SimMonitor>(shared_, id);
}

bool SimInput::pressKey(KeyEvent event) {
    std::vector<std::function<std::optional<KeyEvent>(const KeyEvent&)>> handlers;
    {
        std::lock_guard lock(shared_->mutex);
        // The newest monitor sees the event first.
        for (auto it = shared_->monitors.rbegin(); it != shared_->monitors.rend(); ++it) {
            if (it->second.mask & kKeyDownMask) handlers.push_back(it->second.handler);
        }
    }
    std::optional<KeyEvent> current = event;
    for (const auto& h : handlers) {
        current = h(*current);
        if (!current) return false;
    }
    return true;
}

std::size_t SimInput::monitorCount() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->monitors.size();
}

}  // namespace orvane::platform::sim
