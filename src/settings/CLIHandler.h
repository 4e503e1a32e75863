// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "displays/DisplayManager.h"
#include "runtime/Executor.h"
#include "runtime/Logger.h"
#include "settings/PresetManager.h"

namespace orvane::settings {

/// An "orvane://command?name=value" URL taken apart. Parsing is uriparser's;
/// the query rules (a later item replaces an earlier one, an item without a
/// value removes its name) are ours.
/// Longer URLs are refused before anything parses them.
inline constexpr std::size_t kMaxURLLength = 64 * 1024;
/// Log lines quote at most this much of a URL.
inline constexpr std::size_t kMaxQuotedURLLength = 512;

/// The part of a URL a log line may quote.
std::string quotedURL(std::string_view text);

struct CommandURL {
    std::string scheme;
    std::string host;
    std::map<std::string, std::string> parameters;

    /// None when the text is not a URL at all, or longer than kMaxURLLength.
    static std::optional<CommandURL> parse(const std::string& text);
};

/// Number rules of the URL commands: decimal numbers with fraction and
/// exponent, no surrounding spaces; NaN counts as absent.
std::optional<double> parseDecimal(const std::string& text);
/// Decimal integers that fit in 16 unsigned bits, with an optional "+".
std::optional<std::uint16_t> parseUInt16(const std::string& text);

/// Drives the displays from URLs of the "orvane" scheme. Every outcome is a
/// log line or an effect on the displays; a URL that did not do what it
/// asked says so in one line. Main thread only.
class CLIHandler {
  public:
    CLIHandler(std::shared_ptr<displays::DisplayManager> registry,
               std::shared_ptr<PresetManager> presets, runtime::Executor& main,
               runtime::Logger& log)
        : registry_(std::move(registry)), presets_(std::move(presets)), main_(main), log_(log) {}

    /// Takes the JSON document of an info command instead of its listing in
    /// the log; one line of JSON.
    using Documents = std::function<void(const std::string& json)>;

    /// Runs url on a later turn without waiting for it.
    void handle(const std::string& url);
    /// Runs url and waits for every write it started: true when it did what
    /// it asked, false (after its one line saying why) when it did not.
    runtime::Task<bool> run(std::string url, Documents documents = {});

    /// The displays as info lists them: index, id, name, connector, vendor,
    /// model, serial, key, connection, DDC with why not, and each level
    /// (null where the display has no such control).
    std::string infoDocument() const;

    using States = std::vector<std::shared_ptr<displays::DisplayState>>;
    /// The displays a selector names (null or empty: every display), or why
    /// it names none or several, in the words of the log line.
    struct Selection {
        States displays;
        std::string error;
    };
    Selection resolveDisplays(const char* selector) const;

  private:
    using Parameters = std::map<std::string, std::string>;
    /// The parameter's text, or null when the URL has none of that name.
    static const char* parameter(const Parameters& p, const char* name);
    /// The displays a URL names; none (with its line said) when it names one
    /// that is not there.
    std::optional<States> selectDisplays(const Parameters& p) const;
    runtime::Task<bool> brightness(Parameters p);
    runtime::Task<bool> contrast(Parameters p);
    runtime::Task<bool> volume(Parameters p);
    runtime::Task<bool> input(Parameters p);
    runtime::Task<bool> power(Parameters p);
    /// Any VCP feature: lists a display's features, reads one, or sets one.
    runtime::Task<bool> vcp(Parameters p);
    /// Why the feature (or that value of it) is not the monitor's to take;
    /// empty when it is, or the monitor lists nothing.
    std::string featureRefusal(const displays::DisplayState& state, std::uint8_t code,
                               std::optional<std::uint16_t> value) const;
    /// Every write's outcome; "No selected display takes <control>" without any.
    runtime::Task<bool> allOrNone(std::vector<runtime::Task<bool>> writes, const char* control);
    runtime::Task<bool> preset(Parameters p);
    /// Gives a preset its daily moment, or takes it away.
    bool scheduleCommand(const Parameters& p);
    /// Where sunrise and sunset are computed for.
    bool locationCommand(const Parameters& p);
    /// What a key or shortcut does, for a desktop's own shortcut to call.
    bool key(const Parameters& p);
    void info();
    /// The line of a command whose value is missing or not one it takes.
    bool badValue(const std::string& command, const std::string& wanted);

    std::shared_ptr<displays::DisplayManager> registry_;
    std::shared_ptr<PresetManager> presets_;
    runtime::Executor& main_;
    runtime::Logger& log_;
};

}  // namespace orvane::settings
