// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/WindowToolkit.h"
#include "runtime/Clock.h"
#include "runtime/Executor.h"

namespace orvane::platform::sim {

// The original toolkit's window attributes, which the simulated windows record.
inline constexpr std::uint32_t kBorderlessWindowMask = 0;
inline constexpr int kBackingStoreBuffered = 2;
inline constexpr int kScreenSaverWindowLevel = 1000;
inline constexpr std::uint32_t kCollectionCanJoinAllSpaces = 1u << 0;
inline constexpr std::uint32_t kCollectionStationary = 1u << 4;
inline constexpr std::uint32_t kCollectionIgnoresCycle = 1u << 6;
inline constexpr int kAnimationBehaviorNone = 2;

/// What a simulated window looks like at one moment.
struct SimWindowState {
    std::uint64_t serial = 0;
    Rect frame;
    std::optional<std::int64_t> screenNumber;
    std::uint32_t styleMask = 0;
    int backing = 0;
    Color background{1, 1, 1, 1};
    bool opaque = true;
    bool hasShadow = true;
    int level = 0;
    std::uint32_t collectionBehavior = 0;
    bool ignoresMouseEvents = false;
    int animationBehavior = 0;
    bool releasedWhenClosed = true;
    /// At the moment of the snapshot, mid-animation values included.
    double alpha = 1;
    bool visible = false;
    std::shared_ptr<const ContentView> content;
    /// The running alpha animation's target and end, if one runs.
    std::optional<double> animationTarget;
    runtime::TimePoint animationEnd{0};
};

/// The windows a simulated toolkit has made and not yet closed.
class SimWindowList {
  public:
    /// Animations run on executor's clock; without one they end at once.
    void setExecutor(runtime::Executor* executor, runtime::Clock* clock);
    std::unique_ptr<Window> make(WindowRole role, Rect contentRect, const Screen& screen);
    /// The open windows, oldest first.
    std::vector<SimWindowState> windows() const;

  private:
    class SimWindow;
    struct Entry;
    struct Shared {
        std::mutex mutex;
        std::vector<std::shared_ptr<Entry>> open;
        std::uint64_t nextSerial = 1;
        runtime::Executor* executor = nullptr;
        runtime::Clock* clock = nullptr;
    };
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

}  // namespace orvane::platform::sim
