// SPDX-License-Identifier: MIT
#include "controls/SoftwareDimmer.h"

#include <algorithm>
#include <array>

namespace orvane::controls {

namespace {
constexpr std::uint32_t kGammaEntries = 256;
// Captured at the display's own ramp size, so restoring gives back exactly
// what it had; X11 ramps have up to 65536 entries.
constexpr std::uint32_t kGammaCapacity = 65536;

}  // namespace

const std::string& SoftwareDimmer::rawValue(Method method) {
    static const std::string overlay = "Overlay", gamma = "Gamma Table";
    return method == Method::overlay ? overlay : gamma;
}

SoftwareDimmer::SoftwareDimmer(DisplayID displayID, platform::WindowServer& windowServer,
                               platform::WindowToolkit& toolkit, runtime::Logger& log,
                               const platform::MechanismTexts& texts)
    : displayID_(displayID),
      windowServer_(windowServer),
      toolkit_(toolkit),
      log_(log),
      texts_(texts) {}

double SoftwareDimmer::levelForBrightness(double brightness) {
    const double b = !(brightness > 0) ? 0.0 : std::min(brightness, 100.0);
    return std::clamp(1.0 - b / 100.0, 0.0, 1.0);
}

void SoftwareDimmer::retire() {
    applyLevel(0);
    retired_ = true;
}

bool SoftwareDimmer::applyLevel(double level) {
    if (retired_ && level > 0) return false;
    const bool shown = method == Method::overlay ? applyOverlay(level) : applyGamma(level);
    // What the display shows: a level it could not take leaves the old one.
    if (shown) currentLevel_ = level;
    return shown;
}

bool SoftwareDimmer::outcome(bool shown, const std::string& failure) {
    if (shown) {
        unavailable_ = false;
    } else if (!unavailable_) {
        unavailable_ = true;
        log_.line(failure);
    }
    return shown;
}

bool SoftwareDimmer::applyOverlay(double level) {
    if (level <= 0) {
        if (overlayWindow_) overlayWindow_->orderOut();
        overlayWindow_.reset();
        if (gammaModified_) applyGamma(0);  // dimmed through gamma instead, below
        return true;
    }
    if (!overlayWindow_) {
        overlayWindow_ = makeOverlay();
    } else {
        followScreen();
    }
    if (!overlayWindow_) {
        // An overlay on some other screen would dim the wrong display: its
        // gamma table, or nothing.
        return outcome(applyGamma(level, false), "[SoftwareDimmer] No screen shows display " +
                                                     std::to_string(displayID_) +
                                                     " - it cannot be dimmed by an overlay");
    }
    overlayWindow_->setAlphaValue(level);
    overlayWindow_->orderFrontRegardless();
    if (!overlayWindow_->isVisible()) {
        // The toolkit would not show it (a compositor refused the surface).
        overlayWindow_.reset();
        return outcome(applyGamma(level, false), "[SoftwareDimmer] Display " +
                                                     std::to_string(displayID_) +
                                                     " cannot be dimmed by an overlay: its window "
                                                     "was not shown");
    }
    if (gammaModified_) applyGamma(0);  // its screen is back: the overlay takes over
    return outcome(true, {});
}

void SoftwareDimmer::reclaimJournaled() {
    if (!journal || !journal->holds(displayID_)) return;
    if (auto tables = journal->reclaim(displayID_, windowServer_)) {
        originalRed_ = std::move(tables->red);
        originalGreen_ = std::move(tables->green);
        originalBlue_ = std::move(tables->blue);
    }
    // Kept when it could not be given back: the display still shows it dimmed.
    journaled_ = journal->holds(displayID_);
    gammaModified_ = journaled_;
}

void SoftwareDimmer::reapplyGamma() {
    if (method == Method::gamma && currentLevel_ > 0 && !retired_)
        applyGamma(currentLevel_, true, true);
}

std::optional<GammaJournal::Tables> SoftwareDimmer::foreignTables() {
    if (!originalRed_) return std::nullopt;
    auto shown = windowServer_.gammaRamps(displayID_, kGammaCapacity);
    auto* ramps = std::get_if<platform::GammaRamps>(&shown);
    if (!ramps || ramps->red.size() != originalRed_->size()) return std::nullopt;
    GammaJournal::Tables now{std::move(ramps->red), std::move(ramps->green),
                             std::move(ramps->blue)};
    if (GammaJournal::shownScale({*originalRed_, *originalGreen_, *originalBlue_}, now))
        return std::nullopt;
    return now;
}

std::optional<platform::Screen> SoftwareDimmer::screen() {
    // Never the main screen for a display that has none: that is another display.
    return platform::screenForDisplay(toolkit_, displayID_);
}

void SoftwareDimmer::followScreen() {
    if (!overlayWindow_) return;
    // A neighbour's mode change or unplugging moves this display's screen.
    if (auto s = screen()) overlayWindow_->setFrame(s->frame, true);
}

std::unique_ptr<platform::Window> SoftwareDimmer::makeOverlay() {
    auto screen = this->screen();
    if (!screen) return nullptr;
    auto window = toolkit_.makeWindow(platform::WindowRole::dimmingOverlay, screen->frame, *screen);
    if (!window) return nullptr;
    window->setBackgroundColor(platform::Color{0, 0, 0, 1});
    window->setOpaque(false);
    window->setIgnoresMouseEvents(true);
    window->setFrame(screen->frame, true);
    return window;
}

bool SoftwareDimmer::applyGamma(double level, bool sayFailure, bool reapplying) {
    if (level <= 0) {
        if (!gammaModified_) return true;
        if (foreignTables()) {
            // Its table, not the one Orvane took: putting that back would undo it.
            log_.line("[SoftwareDimmer] Display " + std::to_string(displayID_) +
                      " shows a gamma table another program set - left as it is");
            if (journaled_ && journal) journal->forget(displayID_);
            journaled_ = false;
            originalRed_.reset();
            originalGreen_.reset();
            originalBlue_.reset();
        } else if (originalRed_ && originalGreen_ && originalBlue_) {
            const auto refused = windowServer_.setGammaRamps(
                displayID_, {*originalRed_, *originalGreen_, *originalBlue_});
            if (!refused && journaled_ && journal) {
                journal->forget(displayID_);
                journaled_ = false;
            }
        } else {
            windowServer_.restoreGamma();
        }
        gammaModified_ = false;
        return true;
    }
    const bool captured = originalRed_.has_value();
    // Never while a table of ours is applied: that would save the dimmed table
    // as the original, and every later level would compound on it.
    if (!originalRed_ && !gammaModified_) {
        auto shown = windowServer_.gammaRamps(displayID_, kGammaCapacity);
        if (auto* ramps = std::get_if<platform::GammaRamps>(&shown); ramps && !ramps->red.empty()) {
            // Exactly the samples the display has, so restoring writes no zero tail.
            originalRed_ = std::move(ramps->red);
            originalGreen_ = std::move(ramps->green);
            originalBlue_ = std::move(ramps->blue);
        }
    }
    if (auto theirs = captured && !reapplying ? foreignTables() : std::nullopt) {
        // A night light, say: dimming goes on from its table, once, not
        // back and forth against it.
        log_.line("[SoftwareDimmer] Another program set the gamma table of display " +
                  std::to_string(displayID_) + " - dimming now scales its table");
        originalRed_ = std::move(theirs->red);
        originalGreen_ = std::move(theirs->green);
        originalBlue_ = std::move(theirs->blue);
        journaled_ = false;
    }
    // Kept on disk before the first change, so a crash cannot leave it dimmed.
    if (originalRed_ && journal && !journaled_) {
        journal->record(displayID_, {*originalRed_, *originalGreen_, *originalBlue_});
        journaled_ = true;  // a failed save is said once, not at every step
    }
    const auto factor = static_cast<float>(1.0 - level);
    const auto entries =
        originalRed_ ? static_cast<std::uint32_t>(originalRed_->size()) : kGammaEntries;
    std::array<std::vector<float>, 3> tables;
    const std::array<const std::optional<std::vector<float>>*, 3> originals{
        &originalRed_, &originalGreen_, &originalBlue_};
    for (std::size_t c = 0; c < 3; ++c) {
        tables[c].resize(entries);
        for (std::uint32_t i = 0; i < entries; ++i) {
            const float base = static_cast<float>(i) / static_cast<float>(kGammaEntries - 1);
            const auto& original = *originals[c];
            tables[c][i] = (original ? (*original)[i] : base) * factor;
        }
    }
    const auto error = windowServer_.setGammaRamps(
        displayID_, {std::move(tables[0]), std::move(tables[1]), std::move(tables[2])});
    if (!error) gammaModified_ = true;
    if (!sayFailure) return !error;
    return outcome(
        !error, error ? texts_.gammaFailed + std::to_string(displayID_) + ": " + error->text : "");
}

}  // namespace orvane::controls
