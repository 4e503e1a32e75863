// SPDX-License-Identifier: MIT
#include "settings/CLIHandler.h"

#include <locale.h>
#include <stdlib.h>
#include <uriparser/Uri.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "controls/InputController.h"
#include "controls/PowerController.h"
#include "ddc/MCCSNames.h"
#include "input/ShortcutAction.h"
#include "runtime/Format.h"
#include "runtime/Percent.h"
#include "runtime/Spawn.h"

namespace orvane::settings {

using runtime::clampPercent;

namespace {

std::string range(const UriTextRangeA& r) {
    return r.first && r.afterLast ? std::string(r.first, r.afterLast) : std::string();
}

std::optional<double> number(const std::map<std::string, std::string>& p, const char* name) {
    auto it = p.find(name);
    if (it == p.end()) return std::nullopt;
    return parseDecimal(it->second);
}

}  // namespace

std::optional<CommandURL> CommandURL::parse(const std::string& text) {
    // The parser stops at a NUL; text that goes on after one is not one URL.
    if (text.empty() || text.size() > kMaxURLLength || text.find('\0') != std::string::npos)
        return std::nullopt;
    UriUriA uri;
    const char* error = nullptr;
    if (uriParseSingleUriA(&uri, text.c_str(), &error) != URI_SUCCESS) return std::nullopt;
    CommandURL url;
    url.scheme = range(uri.scheme);
    url.host = range(uri.hostText);
    if (uri.query.first) {
        UriQueryListA* items = nullptr;
        int count = 0;
        // '+' stays a plus: query items are not form data.
        if (uriDissectQueryMallocExA(&items, &count, uri.query.first, uri.query.afterLast,
                                     URI_FALSE, URI_BR_DONT_TOUCH) == URI_SUCCESS) {
            for (auto* item = items; item; item = item->next) {
                if (!item->key) continue;
                if (item->value) {
                    url.parameters[item->key] = item->value;
                } else {
                    url.parameters.erase(item->key);
                }
            }
        }
        uriFreeQueryListA(items);
    }
    uriFreeUriMembersA(&uri);
    return url;
}

std::optional<double> parseDecimal(const std::string& text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front())) ||
        std::isspace(static_cast<unsigned char>(text.back())))
        return std::nullopt;
    // Hexadecimal floats are C's, not decimal numbers.
    if (text.find_first_of("xX") != std::string::npos) return std::nullopt;
    // "62.5" whatever LC_NUMERIC says: a German locale would stop at the dot.
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    errno = 0;
    char* end = nullptr;
    const double v =
        cLocale ? strtod_l(text.c_str(), &end, cLocale) : std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || std::isnan(v)) return std::nullopt;
    return v;  // out-of-range values come back as ±HUGE_VAL and clamp like any other
}

std::string quotedURL(std::string_view text) {
    return std::string(text.substr(0, kMaxQuotedURLLength));
}

std::optional<std::uint16_t> parseUInt16(const std::string& text) {
    std::size_t i = text.size() > 1 && text[0] == '+' ? 1 : 0;
    if (i == text.size() || text.size() - i > 5) return std::nullopt;
    unsigned v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        v = v * 10 + static_cast<unsigned>(text[i] - '0');
    }
    if (v > 0xFFFF) return std::nullopt;
    return static_cast<std::uint16_t>(v);
}

void CLIHandler::handle(const std::string& text) {
    runtime::spawn(main_, run(text));
}

runtime::Task<bool> CLIHandler::run(std::string text, Documents documents) {
    if (text.size() > kMaxURLLength) {
        log_.line("[CLIHandler] Refused URL of " + std::to_string(text.size()) +
                  " bytes (at most " + std::to_string(kMaxURLLength) + ")");
        co_return false;
    }
    const auto url = CommandURL::parse(text);
    if (!url || url->scheme != "orvane") {
        log_.line("[CLIHandler] Not an orvane:// URL: " + quotedURL(text));
        co_return false;
    }
    log_.line("[CLIHandler] Received URL: " + quotedURL(text));
    const auto& p = url->parameters;
    const auto& command = url->host;
    if (command == "brightness") co_return co_await brightness(p);
    if (command == "contrast") co_return co_await contrast(p);
    if (command == "volume") co_return co_await volume(p);
    if (command == "input") co_return co_await input(p);
    if (command == "power") co_return co_await power(p);
    if (command == "preset") co_return co_await preset(p);
    if (command == "vcp") co_return co_await vcp(p);
    if (command == "key") co_return key(p);
    if (command == "schedule") co_return scheduleCommand(p);
    if (command == "location") co_return locationCommand(p);
    if (command == "info") {
        if (documents) {
            documents(infoDocument());
        } else {
            info();
        }
        co_return true;
    }
    log_.line("[CLIHandler] Unknown command: " + command);
    co_return false;
}

const char* CLIHandler::parameter(const Parameters& p, const char* name) {
    auto it = p.find(name);
    return it == p.end() ? nullptr : it->second.c_str();
}

bool CLIHandler::badValue(const std::string& command, const std::string& wanted) {
    log_.line("[CLIHandler] " + command + " command requires " + wanted);
    return false;
}

std::optional<CLIHandler::States> CLIHandler::selectDisplays(const Parameters& p) const {
    auto selection = resolveDisplays(parameter(p, "display"));
    // Setting nothing is no success: a script must learn that no monitor took it.
    if (selection.error.empty() && selection.displays.empty())
        selection.error = registry_->displays().empty() ? "No display connected"
                                                        : "No external display connected";
    if (selection.error.empty()) return std::move(selection.displays);
    log_.line("[CLIHandler] " + selection.error);
    return std::nullopt;
}

CLIHandler::Selection CLIHandler::resolveDisplays(const char* value) const {
    const auto& all = registry_->displays();
    if (!value || !*value) return {all, {}};
    const std::string selector = runtime::lowercased(value);
    if (selector == "all") return {all, {}};
    if (selector == "external") return {registry_->externalDisplays(), {}};
    // A 1-based index first: it is what the listing of info shows.
    std::size_t i = selector.size() > 1 && selector[0] == '+' ? 1 : 0;
    const bool number = selector.find_first_not_of("0123456789", i) == std::string::npos;
    std::size_t n = 0;
    for (; number && i < selector.size(); ++i) {
        if (n < 1'000'000'000) n = n * 10 + static_cast<std::size_t>(selector[i] - '0');
    }
    if (number && n >= 1 && n <= all.size()) return {States{all[n - 1]}, {}};
    // Then its name, or what stays when a monitor is unplugged: its
    // connector ("DP-1"), its EDID serial or the key presets use.
    auto& windows = registry_->services().platform.windowServer;
    std::vector<std::string> candidates{"all", "external"};
    if (!all.empty()) candidates.push_back("1-" + std::to_string(all.size()));
    States matches;
    for (const auto& state : all) {
        std::vector<std::string> names{state->info.displayName()};
        if (auto connector = windows.connectorName(state->info.id)) names.push_back(*connector);
        if (state->info.serialNumber) names.push_back(*state->info.serialNumber);
        names.push_back(registry_->displayKey(*state));
        bool match = false;
        for (const auto& name : names) {
            // A number is an index, never a serial that happens to be digits
            // (the key, which holds the serial, names that display).
            if (name.find_first_not_of("0123456789") == std::string::npos) continue;
            match = match || runtime::lowercased(name) == selector;
            candidates.push_back(name);
        }
        if (match) matches.push_back(state);
    }
    if (matches.size() == 1) return {matches, {}};
    std::string list;
    for (const auto& c : candidates)
        list += (list.empty() ? "" : ", ") + c;
    if (matches.size() > 1) {
        std::string names;
        for (const auto& m : matches)
            names += (names.empty() ? "" : ", ") + m->info.displayName();
        return {{},
                "Display " + quotedURL(value) + " names more than one: " + names +
                    " - use one of " + list};
    }
    // Naming no display is no reason to set them all.
    if (number)
        return {{},
                "No display " + quotedURL(value) + ": there " +
                    (all.size() == 1 ? "is 1" : "are " + std::to_string(all.size()))};
    return {{}, "No display " + quotedURL(value) + " - use one of " + list};
}

runtime::Task<bool> CLIHandler::brightness(Parameters p) {
    const auto value = number(p, "value");
    const auto delta = number(p, "delta");
    if (!value && !delta) co_return badValue("brightness", "'value' or 'delta' as a number");
    const auto selected = selectDisplays(p);
    if (!selected) co_return false;
    std::vector<runtime::Task<bool>> writes;
    for (const auto& state : *selected) {
        const double target = clampPercent(value ? *value : state->brightness + *delta);
        state->brightness = target;  // what info and the popover show from now on
        // The panel through its backlight, an external display through DDC.
        writes.push_back(registry_->writeBrightness(state->info.id, target));
    }
    // Side by side: each display has its own queue, and a hung one delays no other.
    co_return co_await runtime::allSucceed(main_, std::move(writes));
}

runtime::Task<bool> CLIHandler::contrast(Parameters p) {
    const auto value = number(p, "value");
    if (!value) co_return badValue("contrast", "'value' as a number");
    const auto selected = selectDisplays(p);
    if (!selected) co_return false;
    std::vector<runtime::Task<bool>> writes;
    for (const auto& state : *selected) {
        if (auto write = registry_->contrastWrite(*state, *value))
            writes.push_back(std::move(*write));
    }
    co_return co_await allOrNone(std::move(writes), "contrast");
}

runtime::Task<bool> CLIHandler::allOrNone(std::vector<runtime::Task<bool>> writes,
                                          const char* control) {
    if (writes.empty()) {
        log_.line(std::string("[CLIHandler] No selected display takes ") + control);
        co_return false;
    }
    co_return co_await runtime::allSucceed(main_, std::move(writes));
}

runtime::Task<bool> CLIHandler::volume(Parameters p) {
    const auto value = number(p, "value");
    if (!value) co_return badValue("volume", "'value' as a number");
    const auto selected = selectDisplays(p);
    if (!selected) co_return false;
    std::vector<runtime::Task<bool>> writes;
    for (const auto& state : *selected) {
        if (!state->supportsVolume) {
            registry_->noteUserAction(state->info.id);
            continue;
        }
        const double v = clampPercent(*value);
        state->volume = v;
        if (auto write = registry_->volumeWrite(*state, v)) writes.push_back(std::move(*write));
    }
    co_return co_await allOrNone(std::move(writes), "volume");
}

runtime::Task<bool> CLIHandler::input(Parameters p) {
    const char* value = parameter(p, "value");
    const auto raw = value ? parseUInt16(value) : std::nullopt;
    if (!raw) co_return badValue("input", "'value' as an input number (15 is DisplayPort 1)");
    const auto selected = selectDisplays(p);
    if (!selected) co_return false;
    const auto source = controls::InputSource::fromRaw(*raw);
    std::vector<runtime::Task<bool>> writes;
    for (const auto& state : *selected) {
        if (auto write = registry_->inputWrite(*state, source)) writes.push_back(std::move(*write));
    }
    co_return co_await allOrNone(std::move(writes), "input switching");
}

runtime::Task<bool> CLIHandler::power(Parameters p) {
    const char* value = parameter(p, "value");
    const std::string word = value ? runtime::lowercased(value) : std::string();
    std::optional<controls::DisplayPowerState> target;
    bool toggle = false;
    if (word == "on") {
        target = controls::DisplayPowerState::on;
    } else if (word == "standby") {
        target = controls::DisplayPowerState::standby;
    } else if (word == "off") {
        target = controls::DisplayPowerState::off;
    } else if (word == "toggle") {
        toggle = true;
    } else if (auto n = parseUInt16(word); n && *n >= 1 && *n <= 5) {
        target = controls::displayPowerStateFromRaw(*n);
    }
    if (!target && !toggle) co_return badValue("power", "'value': on, standby, off, toggle or 1-5");
    const auto selected = selectDisplays(p);
    if (!selected) co_return false;
    std::vector<runtime::Task<bool>> writes;
    for (const auto& state : *selected) {
        if (auto write = registry_->powerWrite(*state, toggle ? std::nullopt : target))
            writes.push_back(std::move(*write));
    }
    co_return co_await allOrNone(std::move(writes), "power control");
}

runtime::Task<bool> CLIHandler::preset(Parameters p) {
    const char* name = parameter(p, "name");
    if (!name) {
        log_.line("[CLIHandler] preset command requires 'name' parameter");
        co_return false;
    }
    if (auto preset = presets_->preset(name)) {
        runtime::spawnRetaining(main_, presets_, presets_->apply(preset));
        log_.line("[CLIHandler] Applied preset: " + std::string(name));
        co_return true;
    }
    log_.line("[CLIHandler] Preset not found: " + std::string(name));
    co_return false;
}

bool CLIHandler::scheduleCommand(const Parameters& p) {
    const char* name = parameter(p, "preset");
    const char* at = parameter(p, "at");
    if (!name || !at) return badValue("schedule", "'preset' and 'at' (21:30, sunset-30 or none)");
    auto preset = presets_->preset(name);
    if (!preset) {
        log_.line("[CLIHandler] Preset not found: " + std::string(name));
        return false;
    }
    std::optional<schedule::PresetSchedule> when;
    if (std::string_view(at) != "none") {
        when = schedule::PresetSchedule::parse(at);
        if (!when) return badValue("schedule", "'at' as 21:30, sunrise, sunset, sunset-30 or none");
    }
    return presets_->setSchedule(*preset, when);
}

bool CLIHandler::locationCommand(const Parameters& p) {
    const char* clear = parameter(p, "clear");
    if (clear) return presets_->setLocation(std::nullopt);
    const auto lat = number(p, "latitude");
    const auto lon = number(p, "longitude");
    if (!lat || !lon || *lat < -90 || *lat > 90 || *lon < -180 || *lon > 180)
        return badValue("location", "'latitude' (-90 to 90) and 'longitude' (-180 to 180)");
    return presets_->setLocation(schedule::Location{*lat, *lon});
}

bool CLIHandler::key(const Parameters& p) {
    const char* value = parameter(p, "action");
    const std::string wanted = value ? runtime::lowercased(value) : std::string();
    // The six shortcut actions, and the mute key.
    std::optional<input::ShortcutAction> action;
    for (auto a : input::kAllShortcutActions) {
        if (input::keyCommand(a) == wanted) action = a;
    }
    if (!action && wanted != "mute")
        return badValue("key",
                        "'action': brightness-up, brightness-down, contrast-up, "
                        "contrast-down, volume-up, volume-down or mute");
    const std::string control = action ? wanted.substr(0, wanted.find('-')) : "volume";
    // They reach every external display, brightness the panel too.
    const auto takes = [&control](const displays::DisplayState& s) {
        if (control == "brightness") return !s.info.isBuiltIn || s.supportsBrightness;
        if (s.info.isBuiltIn) return false;
        return control == "contrast" ? s.supportsContrast.get() : s.supportsVolume.get();
    };
    const auto& all = registry_->displays();
    // A key on a desk where no display takes it changes nothing: said, not
    // reported as done.
    if (std::none_of(all.begin(), all.end(), [&](const auto& s) { return takes(*s); })) {
        log_.line("[CLIHandler] No display takes " + control);
        return false;
    }
    if (action) {
        registry_->performShortcutAction(*action);
    } else {
        registry_->toggleMute();
    }
    return true;
}

void CLIHandler::info() {
    int n = 0;
    for (const auto& state : registry_->displays()) {
        log_.line("Display " + std::to_string(++n) + ": " + state->info.summary());
        log_.line(std::string("  DDC: ") + (state->info.ddcSupported ? "Yes" : "No"));
        const auto percent = [](double v) {
            return std::to_string(runtime::integerPart(clampPercent(v))) + "%";
        };
        log_.line("  Brightness: " + percent(state->brightness));
        if (state->supportsContrast) log_.line("  Contrast: " + percent(state->contrast));
        if (state->supportsVolume) log_.line("  Volume: " + percent(state->volume));
        log_.line("  Connection: " + displays::rawValue(state->info.connectionType));
    }
}

namespace {

/// "DEL" from an EDID manufacturer number: three letters of five bits each.
std::string pnpID(std::uint32_t vendor) {
    std::string id;
    for (int shift : {10, 5, 0}) {
        const auto letter = (vendor >> shift) & 0x1F;
        if (letter < 1 || letter > 26) return {};
        id += static_cast<char>('A' + letter - 1);
    }
    return id;
}

}  // namespace

std::string CLIHandler::infoDocument() const {
    using nlohmann::ordered_json;
    auto& windows = registry_->services().platform.windowServer;
    const auto optional = [](const std::optional<std::string>& v) {
        return v ? ordered_json(*v) : ordered_json(nullptr);
    };
    const auto percent = [](bool supported, double v) {
        return supported ? ordered_json(runtime::integerPart(clampPercent(v)))
                         : ordered_json(nullptr);
    };
    auto list = ordered_json::array();
    int n = 0;
    for (const auto& state : registry_->displays()) {
        const auto& info = state->info;
        ordered_json ddc{{"supported", info.ddcSupported}};
        if (info.ddcSupported) {
            ddc["reason"] = nullptr;
        } else if (info.isBuiltIn) {
            ddc["reason"] = "built-in display: its backlight is used";
        } else {
            ddc["reason"] = windows.ddcProblem(info.id).value_or("the display does not answer");
        }
        const auto vendor = pnpID(info.vendorID);
        list.push_back({
            {"index", ++n},
            {"id", info.id},
            {"name", info.displayName()},
            {"connector", optional(windows.connectorName(info.id))},
            {"vendor", vendor.empty() ? ordered_json(nullptr) : ordered_json(vendor)},
            {"vendorId", info.vendorID},
            {"productId", info.productID},
            {"serial", optional(info.serialNumber)},
            {"key", registry_->displayKey(*state)},
            {"builtIn", info.isBuiltIn},
            {"connection", displays::rawValue(info.connectionType)},
            {"resolution",
             {{"width", runtime::integerPart(info.currentResolution.width)},
              {"height", runtime::integerPart(info.currentResolution.height)},
              {"refreshRate", info.refreshRate}}},
            {"ddc", std::move(ddc)},
            {"brightness", percent(true, state->brightness)},
            {"contrast", percent(state->supportsContrast, state->contrast)},
            {"volume", percent(state->supportsVolume, state->volume)},
        });
        // Once read (orvane://vcp, the card), the features the monitor lists:
        // an object by code, as D-Bus dictionaries carry it too.
        if (auto caps = registry_->knownCapabilities(*state)) {
            ordered_json features = ordered_json::object();
            for (const auto& f : caps->features) {
                ordered_json feature{{"name", ddc::featureLabel(f.code)}};
                if (!f.values.empty()) {
                    ordered_json values = ordered_json::object();
                    for (auto v : f.values)
                        values[ddc::hexByte(v)] = ddc::valueLabel(f.code, v);
                    feature["values"] = std::move(values);
                }
                features[ddc::hexByte(f.code)] = std::move(feature);
            }
            list.back()["features"] = std::move(features);
        }
    }
    // Names come from EDIDs and users: bytes that are not UTF-8 are replaced,
    // never a reason to throw.
    return ordered_json{{"displays", std::move(list)}}.dump(-1, ' ', false,
                                                            ordered_json::error_handler_t::replace);
}

}  // namespace orvane::settings
