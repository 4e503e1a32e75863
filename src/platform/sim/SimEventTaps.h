// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace orvane::platform::sim {

using CGEventType = std::uint32_t;
using CGEventField = std::uint32_t;
using CGEventMask = std::uint64_t;

inline constexpr CGEventType kCGEventSystemDefined = 14;
inline constexpr CGEventType kCGEventTapDisabledByTimeout = 0xFFFFFFFEu;
inline constexpr CGEventType kCGEventTapDisabledByUserInput = 0xFFFFFFFFu;
/// The integer field that carries a system-defined event's key word.
inline constexpr CGEventField kCGEventSystemDefinedData1 = 87;

inline constexpr std::uint32_t kCGSessionEventTap = 1;
inline constexpr std::uint32_t kCGHeadInsertEventTap = 0;
inline constexpr std::uint32_t kCGEventTapOptionDefault = 0;

/// One input event as a tap sees it: a type and integer fields.
struct CGEvent {
    CGEventType type = 0;
    std::vector<std::pair<CGEventField, std::int64_t>> fields;
};

/// The tap's handle on the event stream; destroying it releases the tap.
class MachPort {
  public:
    virtual ~MachPort() = default;
};

/// Attaches a tap to a run loop; destroying it releases the source.
class RunLoopSource {
  public:
    virtual ~RunLoopSource() = default;
};

using CGEventTapProxy = void*;
/// Returns the event to pass it on, or nullptr to drop it.
using CGEventTapCallBack = CGEvent* (*)(CGEventTapProxy proxy, CGEventType type, CGEvent* event,
                                        void* userInfo);

/// The simulated machine's keys arrive as the original platform's window
/// server delivers them: events through taps attached to a run loop, a media
/// key as a system-defined event whose key word packs the key type and state.
/// SimInput implements these calls and shows the core only MediaKeys.
class EventTaps {
  public:
    virtual ~EventTaps() = default;
    /// A tap that passes each event of mask to callback (on the tap's thread)
    /// until destroyed; the caller owns it. None when the user has not granted
    /// the permission or the session has no way to see the keys. Main thread.
    virtual std::unique_ptr<MachPort> eventTapCreate(std::uint32_t location,
                                                     std::uint32_t placement, std::uint32_t options,
                                                     CGEventMask mask, CGEventTapCallBack callback,
                                                     void* userInfo) = 0;
    /// Starts or pauses the tap. Any thread (a disabled tap is re-enabled from
    /// its callback).
    virtual void eventTapEnable(MachPort& tap, bool enable) = 0;
    /// The integer field of event; 0 when it has none. The tap's thread.
    virtual std::int64_t eventGetIntegerValueField(const CGEvent& event, CGEventField field) = 0;
    /// A source that delivers the tap's events once added; the caller owns it.
    /// Main thread.
    virtual std::unique_ptr<RunLoopSource> machPortCreateRunLoopSource(MachPort& tap,
                                                                       long order) = 0;
    /// Starts delivery through the main run loop. Main thread.
    virtual void runLoopAddSource(RunLoopSource& source) = 0;
    /// Stops delivery; no callback starts after it returns. Main thread.
    virtual void runLoopRemoveSource(RunLoopSource& source) = 0;
};

}  // namespace orvane::platform::sim
