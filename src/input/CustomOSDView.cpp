// SPDX-License-Identifier: MIT
#include "input/CustomOSDView.h"

#include "input/OSDContentView.h"

namespace orvane::input {

using namespace platform;

CustomOSDView::CustomOSDView(DisplayID display, WindowToolkit& toolkit, runtime::Executor& main)
    : displayID_(display), toolkit_(toolkit), main_(main) {}

void CustomOSDView::show(const std::string& icon, const std::string& label, double level) {
    // A display no screen shows has its panel nowhere: on the main screen it
    // would cover another display's, and claim a change there.
    auto screen = screenForDisplay(toolkit_, displayID_);
    if (!screen) return;

    if (!window_) {
        window_ = toolkit_.makeWindow(WindowRole::panel, Rect{0, 0, kWidth, kHeight}, *screen);
        if (!window_) return;
        window_->setBackgroundColor(Color{0, 0, 0, 0});
        window_->setOpaque(false);
        window_->setIgnoresMouseEvents(true);
    }
    window_->setContentView(std::make_shared<OSDContentView>(level, icon, label));
    const Rect frame{screen->frame.x + screen->frame.width / 2 - kWidth / 2,
                     screen->frame.y + kBottomOffset, kWidth, kHeight};
    window_->setFrame(frame, true);
    ++showCount_;
    window_->setAlphaValue(0);
    window_->orderFrontRegardless();
    window_->animateAlphaValue(1, kFadeIn, {});

    std::weak_ptr<CustomOSDView> weak = weak_from_this();
    dismissTimer_ = std::make_unique<runtime::Timer>(main_, kShowDuration, [weak] {
        if (auto self = weak.lock()) self->hide();
    });
}

void CustomOSDView::hide() {
    if (!window_) return;
    std::weak_ptr<CustomOSDView> weak = weak_from_this();
    const auto shown = showCount_;
    window_->animateAlphaValue(0, kFadeOut, [weak, shown, &main = main_] {
        main.post([weak, shown] {
            auto self = weak.lock();
            if (self && self->window_ && self->showCount_ == shown) self->window_->orderOut();
        });
    });
}

}  // namespace orvane::input
