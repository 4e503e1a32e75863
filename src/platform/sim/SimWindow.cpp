// SPDX-License-Identifier: MIT
#include "platform/sim/SimWindow.h"

#include <algorithm>
#include <functional>

namespace orvane::platform::sim {

class SimWindowList::SimWindow final : public Window {
  public:
    SimWindow(std::shared_ptr<Shared> shared, std::shared_ptr<SimWindowState> state)
        : shared_(std::move(shared)), state_(std::move(state)) {}
    ~SimWindow() override {
        std::lock_guard lock(shared_->mutex);
        auto& open = shared_->open;
        open.erase(std::remove(open.begin(), open.end(), state_), open.end());
    }
    void setBackgroundColor(Color c) override {
        edit([&](auto& s) { s.background = c; });
    }
    void setOpaque(bool v) override {
        edit([&](auto& s) { s.opaque = v; });
    }
    void setHasShadow(bool v) override {
        edit([&](auto& s) { s.hasShadow = v; });
    }
    void setLevel(int v) override {
        edit([&](auto& s) { s.level = v; });
    }
    void setCollectionBehavior(std::uint32_t v) override {
        edit([&](auto& s) { s.collectionBehavior = v; });
    }
    void setIgnoresMouseEvents(bool v) override {
        edit([&](auto& s) { s.ignoresMouseEvents = v; });
    }
    void setAnimationBehavior(int v) override {
        edit([&](auto& s) { s.animationBehavior = v; });
    }
    void setReleasedWhenClosed(bool v) override {
        edit([&](auto& s) { s.releasedWhenClosed = v; });
    }
    void setFrame(Rect f, bool) override {
        edit([&](auto& s) { s.frame = f; });
    }
    void setAlphaValue(double a) override {
        edit([&](auto& s) { s.alpha = a; });
    }
    void orderFrontRegardless() override {
        edit([](auto& s) { s.visible = true; });
    }
    void orderOut() override {
        edit([](auto& s) { s.visible = false; });
    }
    double alphaValue() const override {
        std::lock_guard lock(shared_->mutex);
        return state_->alpha;
    }
    bool isVisible() const override {
        std::lock_guard lock(shared_->mutex);
        return state_->visible;
    }

  private:
    void edit(const std::function<void(SimWindowState&)>& fn) {
        std::lock_guard lock(shared_->mutex);
        fn(*state_);
    }
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<SimWindowState> state_;
};

std::unique_ptr<Window> SimWindowList::make(Rect contentRect, std::uint32_t styleMask, int backing,
                                            const Screen& screen) {
    auto state = std::make_shared<SimWindowState>();
    state->frame = contentRect;
    state->screenNumber = screen.screenNumber;
    state->styleMask = styleMask;
    state->backing = backing;
    std::lock_guard lock(shared_->mutex);
    state->serial = shared_->nextSerial++;
    shared_->open.push_back(state);
    return std::make_unique<SimWindow>(shared_, std::move(state));
}

std::vector<SimWindowState> SimWindowList::windows() const {
    std::lock_guard lock(shared_->mutex);
    std::vector<SimWindowState> result;
    for (const auto& s : shared_->open)
        result.push_back(*s);
    return result;
}

}  // namespace orvane::platform::sim
