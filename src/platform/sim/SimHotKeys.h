// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace orvane::platform::sim {

using OSStatus = std::int32_t;
inline constexpr OSStatus noErr = 0;
inline constexpr OSStatus eventNotHandledErr = -9874;
inline constexpr OSStatus eventHotKeyExistsErr = -9878;
inline constexpr OSStatus eventParameterNotFoundErr = -9870;

inline constexpr std::uint32_t kEventClassKeyboard = 0x6B657962;  // 'keyb'
inline constexpr std::uint32_t kEventHotKeyPressed = 5;
inline constexpr std::uint32_t kEventParamDirectObject = 0x2D2D2D2D;  // '----'
inline constexpr std::uint32_t typeEventHotKeyID = 0x686B6964;        // 'hkid'

struct EventTypeSpec {
    std::uint32_t eventClass = 0;
    std::uint32_t eventKind = 0;
};

struct EventHotKeyID {
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
};

// Opaque handles of the hot-key service; 0 is none.
using EventTargetRef = std::uintptr_t;
using EventHandlerRef = std::uintptr_t;
using EventHotKeyRef = std::uintptr_t;
using EventHandlerCallRef = std::uintptr_t;

/// A hot-key service event: its class and kind, and the hot-key ID it carries
/// (none for an event whose parameter cannot be read). Every backend delivers these.
class Event {
  public:
    std::uint32_t eventClass = kEventClassKeyboard;
    std::uint32_t eventKind = kEventHotKeyPressed;
    std::optional<EventHotKeyID> hotKeyID;
};
using EventRef = const Event*;

using EventHandlerProcPtr = OSStatus (*)(EventHandlerCallRef next, EventRef event, void* userData);

/// The original platform's hot-key registration and its events, as the
/// simulated machine answers them; SimInput shows the core GlobalShortcuts.
class HotKeyService {
  public:
    virtual ~HotKeyService() = default;
    /// The application's event target; never 0. Main thread.
    virtual EventTargetRef getApplicationEventTarget() = 0;
    /// Calls handler (main thread) for the numTypes kinds in types until removed;
    /// the handle goes to outRef. A non-zero status installs nothing. Main thread.
    virtual OSStatus installEventHandler(EventTargetRef target, EventHandlerProcPtr handler,
                                         std::size_t numTypes, const EventTypeSpec* types,
                                         void* userData, EventHandlerRef* outRef) = 0;
    /// Removes a handler installed here. Main thread.
    virtual OSStatus removeEventHandler(EventHandlerRef handler) = 0;
    /// Copies the event's parameter name of type into outData (bufferSize bytes,
    /// caller-owned); a non-zero status when the event has none. Main thread.
    virtual OSStatus getEventParameter(EventRef event, std::uint32_t name, std::uint32_t type,
                                       std::size_t bufferSize, std::size_t* outActualSize,
                                       void* outData) = 0;
    /// Registers the combination; the handle goes to outRef. A non-zero status
    /// (taken by another program, refused) registers nothing. Main thread.
    virtual OSStatus registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                         EventHotKeyID id, EventTargetRef target,
                                         std::uint32_t options, EventHotKeyRef* outRef) = 0;
    /// Unregisters a hot key registered here. Main thread.
    virtual OSStatus unregisterEventHotKey(EventHotKeyRef hotKey) = 0;
};

}  // namespace orvane::platform::sim
