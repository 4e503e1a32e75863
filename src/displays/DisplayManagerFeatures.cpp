// SPDX-License-Identifier: MIT
// The features monitors list beyond the five probed codes, and the cache of
// their capabilities strings by display key.
#include <filesystem>
#include <fstream>
#include <system_error>

#include <nlohmann/json.hpp>

#include "ddc/MCCSNames.h"
#include "displays/DisplayManager.h"

namespace orvane::displays {

namespace {

constexpr int kCacheVersion = 1;

std::map<std::string, std::string> readCache(const std::string& path) {
    std::map<std::string, std::string> strings;
    std::ifstream in(path);
    if (!in) return strings;
    // A cache that cannot be read is a cache that is empty: the monitors are asked again.
    auto doc = nlohmann::json::parse(in, nullptr, false);
    if (!doc.is_object() || doc.value("version", 0) != kCacheVersion) return strings;
    const auto displays = doc.find("capabilities");
    if (displays == doc.end() || !displays->is_object()) return strings;
    for (const auto& [key, text] : displays->items()) {
        if (text.is_string()) strings[key] = text.get<std::string>();
    }
    return strings;
}

/// Written whole to a temporary file and renamed over the old one, so a crash
/// leaves the old cache or the new one, never half of it.
bool writeCache(const std::string& path, const std::map<std::string, std::string>& strings) {
    nlohmann::json doc{{"version", kCacheVersion}, {"capabilities", strings}};
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << doc.dump(2) << '\n';
        if (!out.flush()) return false;
    }
    std::filesystem::rename(temporary, path, ec);
    return !ec;
}

}  // namespace

std::map<std::string, std::string>& DisplayManager::capabilityStrings() const {
    if (!capabilityStrings_) {
        capabilityStrings_ = capabilitiesCachePath.empty() ? std::map<std::string, std::string>{}
                                                           : readCache(capabilitiesCachePath);
    }
    return *capabilityStrings_;
}

std::optional<ddc::Capabilities> DisplayManager::knownCapabilities(
    const DisplayState& state) const {
    auto& strings = capabilityStrings();
    auto it = strings.find(displayKey(state));
    if (it == strings.end()) return std::nullopt;
    return ddc::parseCapabilities(it->second);
}

std::map<std::uint8_t, std::uint16_t> DisplayManager::knownFeatureValues(
    const DisplayState& state) const {
    std::map<std::uint8_t, std::uint16_t> values;
    const auto caps = knownCapabilities(state);
    const auto* entry = record(state.info.id);
    if (!caps || !entry || !entry->ddc) return values;
    for (const auto& f : caps->features) {
        if (!ddc::mccsAdjustable(f.code)) continue;
        if (auto v = entry->ddc->lastValue(static_cast<ddc::VCPCode>(f.code))) values[f.code] = *v;
    }
    return values;
}

runtime::Task<std::optional<ddc::Capabilities>> DisplayManager::capabilities(DisplayID display) {
    std::shared_ptr<DisplayState> state;
    for (const auto& s : displays_) {
        if (s->info.id == display) state = s;
    }
    if (!state) co_return std::nullopt;
    if (auto known = knownCapabilities(*state)) co_return known;
    const auto* entry = record(display);
    auto handle = entry ? entry->ddc : nullptr;
    if (!handle) co_return std::nullopt;
    const std::string key = displayKey(*state);
    auto caps = co_await handle->capabilities();
    if (!caps || caps->raw.empty()) co_return caps;
    capabilityStrings()[key] = caps->raw;
    if (!capabilitiesCachePath.empty() && !writeCache(capabilitiesCachePath, capabilityStrings())) {
        log_.line("[DisplayManager] Could not write " + capabilitiesCachePath +
                  ": the monitors' capabilities are asked for again next time");
    }
    co_return caps;
}

std::optional<runtime::Task<bool>> DisplayManager::featureWrite(const DisplayState& state,
                                                                std::uint8_t code,
                                                                std::uint16_t value) {
    noteUserAction(state.info.id);
    const auto* entry = record(state.info.id);
    auto handle = entry ? entry->ddc : nullptr;
    if (!handle || handle->transportType() == ddc::DDCTransportType::none) return std::nullopt;
    return [](std::shared_ptr<ddc::DDCDisplay> handle, DisplayID display, std::uint8_t code,
              std::uint16_t value, runtime::Logger& log) -> runtime::Task<bool> {
        const auto vcp = static_cast<ddc::VCPCode>(code);
        try {
            co_await handle->writeValue(value, vcp);
            co_return true;
        } catch (const ddc::DDCError& error) {
            log.line("[DisplayManager] Display " + std::to_string(display) + ": " +
                     ddc::displayName(vcp) + "=" + std::to_string(value) +
                     " failed: " + error.errorDescription());
            co_return false;
        }
    }(handle, state.info.id, code, value, log_);
}

runtime::Task<std::optional<ddc::VCPValue>> DisplayManager::featureRead(const DisplayState& state,
                                                                        std::uint8_t code) {
    const auto* entry = record(state.info.id);
    auto handle = entry ? entry->ddc : nullptr;
    const auto vcp = static_cast<ddc::VCPCode>(code);
    if (!handle || handle->transportType() == ddc::DDCTransportType::none) co_return std::nullopt;
    try {
        const ddc::VCPValue value = co_await handle->readValue(vcp);
        co_return value;
    } catch (const ddc::DDCError& error) {
        log_.line("[DisplayManager] Display " + std::to_string(state.info.id) + ": reading " +
                  ddc::displayName(vcp) + " failed: " + error.errorDescription());
        co_return std::nullopt;
    }
}

}  // namespace orvane::displays
