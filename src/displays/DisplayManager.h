// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

#include "ddc/Capabilities.h"
#include "displays/DisplayInfo.h"
#include "displays/DisplayRecord.h"
#include "displays/DisplayState.h"
#include "input/KeyPreferences.h"
#include "input/MediaKeyInterceptor.h"
#include "input/OSDManager.h"
#include "input/ShortcutAction.h"
#include "input/ShortcutManager.h"
#include "runtime/Logger.h"
#include "runtime/Observable.h"
#include "runtime/Runtime.h"
#include "runtime/Task.h"
#include "runtime/WaitList.h"

namespace orvane::displays {

/// The registry: finds the active displays, describes them, owns every
/// per-display object, follows connection and disconnection, and drives the
/// built-in panel's brightness. Main thread only; observable.
class DisplayManager : public std::enable_shared_from_this<DisplayManager> {
    struct Key {};

  public:
    static constexpr std::uint32_t kMaxDisplays = 16;

    /// The application-wide managers the registry drives; missing ones are made
    /// from the platform.
    struct Peers {
        std::shared_ptr<input::ShortcutManager> shortcuts;
        std::shared_ptr<input::OSDManager> osd;
    };

    static std::shared_ptr<DisplayManager> create(runtime::Runtime& runtime,
                                                  DisplayServices services, runtime::Logger& log,
                                                  Peers peers = {});
    DisplayManager(Key, runtime::Runtime& runtime, DisplayServices services, runtime::Logger& log,
                   Peers peers);
    ~DisplayManager();
    DisplayManager(const DisplayManager&) = delete;
    DisplayManager& operator=(const DisplayManager&) = delete;

    /// Reconfiguration events (so none during the first scan is lost), the
    /// first scan, then keys and ready; nothing after a stop.
    runtime::Task<void> start();
    /// Undoes start and clears every dimmer; no rescan or re-probe runs after it.
    void stop();
    bool isStopped() const { return stopped_; }
    /// Rebuilds the display list and every record. A rescan that a
    /// newer display change (or a stop) makes stale is abandoned.
    /// mayGiveWay: a newer event may abandon it (the first scan, and one a
    /// long burst of events forced, run to their end).
    runtime::Task<void> scanDisplays(bool mayGiveWay = true);
    /// One reconfiguration event: an add or remove (re)schedules the one pending
    /// rescan 0.5 s later, so a burst of events costs one scan.
    void handleReconfiguration(DisplayID display, platform::DisplayChange change);
    /// Scans started since creation (abandoned ones included).
    std::size_t scanCount() const { return scanCount_; }

    /// The built-in panel's brightness, 0...1, from its own display-connect
    /// service (never one that belongs to an external display).
    std::optional<float> readBuiltInBrightness();
    bool setBuiltInBrightness(float level);
    void resetAllDimmers();

    /// Sets a display's brightness the way its kind takes it: the panel's
    /// backlight (software dimming as fallback) or the DDC controller. The
    /// state changes at once; the task ends when the write has, true when the
    /// display shows the level. When nothing could apply it, the state goes
    /// back to what the display shows and one line says so.
    runtime::Task<bool> writeBrightness(DisplayID display, double brightness);
    /// The key presets store for the display: its persistent key, and for the
    /// second and later of identical twins that key with "#2", "#3", ...
    std::string displayKey(const DisplayState& state) const;
    /// displayKey as it is among the states of list.
    static std::string displayKeyIn(const DisplayState& state,
                                    const std::vector<std::shared_ptr<DisplayState>>& list);
    /// The features the display's monitor lists: known by its display key
    /// from an earlier read (this run's, or one kept in
    /// capabilitiesCachePath), else read from the monitor now and kept.
    /// None for a display without DDC/CI or whose monitor lists none. Main thread.
    runtime::Task<std::optional<ddc::Capabilities>> capabilities(DisplayID display);
    /// Writes a feature beyond the five levels through the display's DDC
    /// handle (its queue, pacing and newest-value-wins); true when the monitor
    /// took the value or a newer one replaced it. None for a display without DDC/CI.
    std::optional<runtime::Task<bool>> featureWrite(const DisplayState& state, std::uint8_t code,
                                                    std::uint16_t value);
    /// Reads a feature's current and maximum value; none (said in the log)
    /// when the monitor does not answer. Main thread.
    runtime::Task<std::optional<ddc::VCPValue>> featureRead(const DisplayState& state,
                                                            std::uint8_t code);
    /// What is known of them without asking the monitor.
    std::optional<ddc::Capabilities> knownCapabilities(const DisplayState& state) const;
    /// The adjustable features the monitor lists whose value this run has
    /// read or written, by code (what a preset keeps).
    std::map<std::uint8_t, std::uint16_t> knownFeatureValues(const DisplayState& state) const;
    /// Where capabilities strings are kept between runs (a JSON file of
    /// display key to string); empty keeps them for this run only.
    std::string capabilitiesCachePath;
    /// A user acted on the display: one that did not answer its probe is
    /// probed again now.
    void noteUserAction(DisplayID display);
    /// Whether displays that did not answer their probe are asked again on a
    /// timer (a one-shot run ends before any timer would fire).
    bool reprobeOnTimer = true;
    /// Whether the displays' probes run side by side (each display on a bus of
    /// its own) rather than one after another; the records keep the list's order.
    bool probeSideBySide = false;
    /// How new dimmers darken a display: gamma where the session cannot show
    /// overlay windows.
    controls::SoftwareDimmer::Method dimmingMethod = controls::SoftwareDimmer::Method::overlay;
    /// Keeps the gamma tables of dimmed displays across a crash; the start
    /// puts back what an earlier run left. Set before start; none keeps nothing.
    std::shared_ptr<controls::GammaJournal> gammaJournal;

    // Key and shortcut actions, each across every external display: the state
    // changes first, then the write starts, then the panel shows.
    void adjustBrightness(double delta, bool includeBuiltIn);
    void adjustContrast(double delta);
    void adjustVolume(double delta);
    void toggleMute();
    /// The hot-key manager's action handler.
    void performShortcutAction(input::ShortcutAction action);
    // The one write path of each level, whoever asks: keys, URL commands,
    // presets and the popover. Each counts as the user's action on the
    // display, goes to the controller in charge when it is called (the task
    // keeps it alive), and is none when the display does not take that
    // control. The task's result: written (true), or failed and logged.
    // Brightness is writeBrightness.

    /// The state takes the contrast (clamped to 0...100) first.
    std::optional<runtime::Task<bool>> contrastWrite(DisplayState& state, double contrast);
    /// Through DDC or the display's audio device; the caller sets the state.
    std::optional<runtime::Task<bool>> volumeWrite(const DisplayState& state, double volume);
    std::optional<runtime::Task<bool>> inputWrite(const DisplayState& state,
                                                  const controls::InputSource& source);
    /// To target; none toggles (on goes to standby, anything else on).
    std::optional<runtime::Task<bool>> powerWrite(
        const DisplayState& state, std::optional<controls::DisplayPowerState> target);
    /// The user's key settings: interception flags, steps, panels on or off.
    void applyKeyPreferences(const input::KeyPreferences& preferences);

    const std::shared_ptr<input::MediaKeyInterceptor>& mediaKeyInterceptor() const {
        return mediaKeyInterceptor_;
    }
    const std::shared_ptr<input::ShortcutManager>& shortcutManager() const { return shortcuts_; }
    const std::shared_ptr<input::OSDManager>& osdManager() const { return osd_; }

    const std::vector<std::shared_ptr<DisplayState>>& displays() const { return displays_; }
    std::vector<std::shared_ptr<DisplayState>> externalDisplays() const;
    /// What the registry holds for each display, by ID.
    const std::map<DisplayID, DisplayRecord>& records() const { return records_; }
    /// The display's record; null when it has none.
    const DisplayRecord* record(DisplayID display) const;
    bool isReady() const { return isReady_; }
    const DisplayServices& services() const { return services_; }

    [[nodiscard]] std::shared_ptr<void> observe(runtime::ChangeNotifier::Observer observer) {
        return notifier_.observe(std::move(observer));
    }

  private:
    void setupControllers(const std::vector<std::shared_ptr<DisplayState>>& states,
                          std::map<DisplayID, std::shared_ptr<ddc::DDCDisplay>> handles);
    void makeDDCControllers(DisplayRecord& record);
    /// The audio device a display's volume goes through, when it has one.
    std::optional<controls::AudioDeviceMatch> audioDeviceFor(const DisplayInfo& info);
    /// False (state unchanged) when neither the backlight nor dimming took it.
    bool setPanelBrightness(DisplayState& state, double brightness);
    runtime::Task<bool> applyBrightness(std::shared_ptr<DisplayState> state,
                                        std::shared_ptr<controls::BrightnessController> controller,
                                        double brightness, bool sayFailure);
    runtime::Task<void> rescanWhenQuiet();
    void scheduleReprobe(DisplayID display, std::size_t attempt);
    runtime::Task<bool> reprobe(DisplayID display);
    /// What a probe found becomes the display's controls; false when the
    /// display has another handle by now.
    bool adoptProbe(DisplayID display, const std::shared_ptr<ddc::DDCDisplay>& handle,
                    bool partial);
    /// A probe the scan did not wait for has ended.
    void lateProbeEnded(DisplayID display, const std::shared_ptr<ddc::DDCDisplay>& handle);
    void finishScan();
    void setupMediaKeys();
    void refreshExternalDisplayFlag();
    void sendVolume(const DisplayState& state, double volume, std::optional<bool> mute);
    void stopAudioListeners();
    void publish(std::string_view field) { notifier_.notify(field); }

    runtime::Executor& main_;
    runtime::Clock& clock_;
    DisplayServices services_;
    runtime::Logger& log_;
    runtime::ChangeNotifier notifier_;
    platform::Subscription displayWatch_;
    bool stopped_ = false;
    std::stop_source stopSource_;  // ends the sleeps of pending rescans and re-probes

    // Rescans: one pending at a time, pushed back by each event; at most one scan running.
    std::uint64_t configGeneration_ = 0;
    std::optional<runtime::TimePoint> rescanDue_;
    runtime::TimePoint burstStart_{};  // the first event the scheduled rescan waits out
    bool rescanScheduled_ = false;
    bool scanning_ = false;
    runtime::WaitList scanIdle_;
    std::size_t scanCount_ = 0;
    std::set<DisplayID> reprobing_;
    /// Displays added or removed since the last scan ended.
    std::set<DisplayID> replugged_;
    std::set<DisplayID> departed_;  // removed since the last scan: no re-probe is promised
    /// Per display: the back-off period now in force, and when a user action
    /// last started a re-probe.
    std::map<DisplayID, runtime::Duration> backoff_;
    std::map<DisplayID, runtime::TimePoint> userReprobe_;
    /// No code answered its probe, or some code got no answer at all.
    static bool awaitsReprobe(const ddc::DDCDisplay& handle);

    std::vector<std::shared_ptr<DisplayState>> displays_;  // the states of records_, sorted
    std::map<DisplayID, DisplayRecord> records_;
    /// What displays that went away had, by display key: a display that comes
    /// back gets it again.
    struct RememberedValues {
        double brightness;
        std::optional<double> contrast, volume;
    };
    std::map<std::string, RememberedValues> lastValues_;
    /// Capabilities strings by display key; loaded from the cache file on first use.
    mutable std::optional<std::map<std::string, std::string>> capabilityStrings_;
    std::map<std::string, std::string>& capabilityStrings() const;
    /// Gives a new record the values its display had: from its previous record
    /// while it stayed, from lastValues_ when it comes back.
    void carryValues(DisplayRecord& entry, const std::string& key);
    bool isReady_ = false;
    std::shared_ptr<input::MediaKeyInterceptor> mediaKeyInterceptor_;
    std::shared_ptr<input::ShortcutManager> shortcuts_;
    std::shared_ptr<input::OSDManager> osd_;
};

}  // namespace orvane::displays
