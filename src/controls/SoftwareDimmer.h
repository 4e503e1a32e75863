// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controls/GammaJournal.h"
#include "platform/MechanismTexts.h"
#include "platform/WindowServer.h"
#include "platform/WindowToolkit.h"
#include "runtime/Logger.h"

namespace orvane::controls {

/// Darkens a display that DDC cannot dim: with a black click-through overlay
/// whose alpha is the level, or by scaling the display's gamma tables as
/// first captured, so that repeated dimming never compounds. Another program
/// that sets the tables meanwhile (a night light) is not fought: the next
/// level scales its table instead, and undimming leaves it. Main thread.
class SoftwareDimmer {
  public:
    enum class Method { overlay, gamma };
    static const std::string& rawValue(Method method);  // "Overlay", "Gamma Table"

    SoftwareDimmer(DisplayID displayID, platform::WindowServer& windowServer,
                   platform::WindowToolkit& toolkit, runtime::Logger& log,
                   const platform::MechanismTexts& texts);
    SoftwareDimmer(const SoftwareDimmer&) = delete;
    SoftwareDimmer& operator=(const SoftwareDimmer&) = delete;

    /// 0 is no dimming, 1 is black. True when the display now shows level;
    /// false when it cannot be dimmed here (no screen for an overlay, gamma
    /// refused), which is said once until dimming works again.
    bool applyLevel(double level);
    /// The last level above 0 could not be shown.
    bool unavailable() const { return unavailable_; }
    /// Moves the overlay, if any, onto its display's current screen frame.
    void followScreen();
    /// Writes the dimmed gamma tables again: a display server resets the
    /// ramps on a mode change, a hot-plug or a resume. No-op when undimmed.
    void reapplyGamma();
    /// A display that comes (back) with tables in the journal (an X server
    /// keeps a CRTC's ramp across an unplug) gets them back, and dims from
    /// them: a dimmed ramp is never taken for its original. Call once the
    /// journal is set.
    void reclaimJournaled();
    /// Undims for good: at termination a write that ends later must not dim
    /// the display again. Later levels above 0 are ignored.
    void retire();

    /// clamp(1 - brightness / 100, 0, 1), a brightness at or below 0 counting as 0.
    static double levelForBrightness(double brightness);

    DisplayID displayID() const { return displayID_; }
    Method method = Method::overlay;
    /// Where the original tables are kept while dimmed by gamma; none keeps nothing.
    std::shared_ptr<GammaJournal> journal;
    double currentLevel() const { return currentLevel_; }
    const platform::Window* overlayWindow() const { return overlayWindow_.get(); }
    bool gammaModified() const { return gammaModified_; }
    bool hasCapturedGamma() const { return originalRed_.has_value(); }

  private:
    bool applyOverlay(double level);
    /// sayFailure false: the caller says one line for its own fallback.
    /// reapplying: the server reset the tables, so what it shows now is no
    /// other program's.
    bool applyGamma(double level, bool sayFailure = true, bool reapplying = false);
    /// The display's tables when another program set them since Orvane
    /// captured or last set them: they are not the captured original, scaled
    /// or not. None when they are, or cannot be read.
    std::optional<GammaJournal::Tables> foreignTables();
    /// Remembers whether dimming worked; says a failure once until it works.
    bool outcome(bool shown, const std::string& failure);
    std::unique_ptr<platform::Window> makeOverlay();
    std::optional<platform::Screen> screen();

    DisplayID displayID_;
    platform::WindowServer& windowServer_;
    platform::WindowToolkit& toolkit_;
    runtime::Logger& log_;
    const platform::MechanismTexts& texts_;
    double currentLevel_ = 0;
    bool unavailable_ = false;
    bool retired_ = false;
    std::unique_ptr<platform::Window> overlayWindow_;
    bool gammaModified_ = false;
    bool journaled_ = false;
    std::optional<std::vector<float>> originalRed_, originalGreen_, originalBlue_;
};

}  // namespace orvane::controls
