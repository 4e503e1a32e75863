// SPDX-License-Identifier: MIT
#include "platform/sim/SimWindow.h"

#include <algorithm>
#include <functional>

namespace orvane::platform::sim {

namespace {
struct Animation {
    double from = 0;
    double to = 0;
    runtime::TimePoint start{0};
    runtime::Duration duration{0};
    std::uint64_t generation = 0;
    std::function<void()> completion;
};

double alphaAt(const Animation& a, runtime::TimePoint now) {
    if (a.duration.count() <= 0 || now >= a.start + a.duration) return a.to;
    const double t = static_cast<double>((now - a.start).count()) / a.duration.count();
    return a.from + (a.to - a.from) * std::max(0.0, t);
}
}  // namespace

struct SimWindowList::Entry {
    SimWindowState state;
    std::optional<Animation> animation;
    std::uint64_t generation = 0;
};

class SimWindowList::SimWindow final : public Window {
  public:
    SimWindow(std::shared_ptr<Shared> shared, std::shared_ptr<Entry> entry)
        : shared_(std::move(shared)), entry_(std::move(entry)) {}
    ~SimWindow() override {
        std::function<void()> pending;
        {
            std::lock_guard lock(shared_->mutex);
            auto& open = shared_->open;
            open.erase(std::remove(open.begin(), open.end(), entry_), open.end());
            pending = takeAnimation();
        }
        finish(std::move(pending));
    }
    void setBackgroundColor(Color c) override {
        edit([&](auto& s) { s.background = c; });
    }
    void setOpaque(bool v) override {
        edit([&](auto& s) { s.opaque = v; });
    }
    void setIgnoresMouseEvents(bool v) override {
        edit([&](auto& s) { s.ignoresMouseEvents = v; });
    }
    void setFrame(Rect f, bool) override {
        edit([&](auto& s) { s.frame = f; });
    }
    void setAlphaValue(double a) override {
        std::function<void()> pending;
        {
            std::lock_guard lock(shared_->mutex);
            pending = takeAnimation();
            entry_->state.alpha = a;
        }
        finish(std::move(pending));
    }
    void setContentView(std::shared_ptr<const ContentView> view) override {
        edit([&](auto& s) { s.content = std::move(view); });
    }
    void animateAlphaValue(double target, std::chrono::nanoseconds duration,
                           std::function<void()> completion) override {
        std::function<void()> replaced;
        std::uint64_t generation = 0;
        runtime::Executor* executor = nullptr;
        {
            std::lock_guard lock(shared_->mutex);
            replaced = takeAnimation();
            executor = shared_->executor;
            if (!executor || !shared_->clock) {
                entry_->state.alpha = target;
            } else {
                generation = ++entry_->generation;
                entry_->animation = Animation{
                    entry_->state.alpha,  target, shared_->clock->now(), duration, generation,
                    std::move(completion)};
            }
        }
        finish(std::move(replaced));
        if (!executor) {
            if (completion) completion();
            return;
        }
        std::weak_ptr<Entry> weak = entry_;
        executor->postAfter(duration, [shared = shared_, weak, generation] {
            auto entry = weak.lock();
            if (!entry) return;
            std::function<void()> done;
            {
                std::lock_guard lock(shared->mutex);
                if (!entry->animation || entry->animation->generation != generation) return;
                entry->state.alpha = entry->animation->to;
                done = std::move(entry->animation->completion);
                entry->animation.reset();
            }
            if (done) done();
        });
    }
    void orderFrontRegardless() override {
        edit([](auto& s) { s.visible = true; });
    }
    void orderOut() override {
        edit([](auto& s) { s.visible = false; });
    }
    double alphaValue() const override {
        std::lock_guard lock(shared_->mutex);
        return entry_->state.alpha;
    }
    bool isVisible() const override {
        std::lock_guard lock(shared_->mutex);
        return entry_->state.visible;
    }

  private:
    void edit(const std::function<void(SimWindowState&)>& fn) {
        std::lock_guard lock(shared_->mutex);
        fn(entry_->state);
    }
    /// Ends a running animation where it stands; call with the mutex held.
    std::function<void()> takeAnimation() {
        if (!entry_->animation) return {};
        if (shared_->clock)
            entry_->state.alpha = alphaAt(*entry_->animation, shared_->clock->now());
        auto completion = std::move(entry_->animation->completion);
        entry_->animation.reset();
        return completion;
    }
    /// A replaced animation's completion still runs, later, on the main thread.
    void finish(std::function<void()> completion) {
        if (!completion) return;
        if (shared_->executor) {
            shared_->executor->post(std::move(completion));
        } else {
            completion();
        }
    }
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<Entry> entry_;
};

std::unique_ptr<Window> SimWindowList::make(WindowRole role, Rect contentRect,
                                            const Screen& screen) {
    auto entry = std::make_shared<Entry>();
    auto& state = entry->state;
    state.frame = contentRect;
    state.screenNumber = screen.screenNumber;
    // The role as the original toolkit's window calls set it: borderless and
    // buffered, on every space, stationary, out of cycling, no animation,
    // kept when closed; the panel one level above the screen-saver overlays.
    state.styleMask = kBorderlessWindowMask;
    state.backing = kBackingStoreBuffered;
    state.collectionBehavior =
        kCollectionCanJoinAllSpaces | kCollectionStationary | kCollectionIgnoresCycle;
    state.animationBehavior = kAnimationBehaviorNone;
    state.releasedWhenClosed = false;
    state.hasShadow = role == WindowRole::panel;
    state.level = role == WindowRole::panel ? kScreenSaverWindowLevel + 1 : kScreenSaverWindowLevel;
    std::lock_guard lock(shared_->mutex);
    state.serial = shared_->nextSerial++;
    shared_->open.push_back(entry);
    return std::make_unique<SimWindow>(shared_, std::move(entry));
}

void SimWindowList::setExecutor(runtime::Executor* executor, runtime::Clock* clock) {
    std::lock_guard lock(shared_->mutex);
    shared_->executor = executor;
    shared_->clock = clock;
}

std::vector<SimWindowState> SimWindowList::windows() const {
    std::lock_guard lock(shared_->mutex);
    std::vector<SimWindowState> result;
    for (const auto& e : shared_->open) {
        result.push_back(e->state);
        if (e->animation) {
            auto& s = result.back();
            if (shared_->clock) s.alpha = alphaAt(*e->animation, shared_->clock->now());
            s.animationTarget = e->animation->to;
            s.animationEnd = e->animation->start + e->animation->duration;
        }
    }
    return result;
}

}  // namespace orvane::platform::sim
