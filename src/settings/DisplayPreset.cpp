// SPDX-License-Identifier: MIT
#include "settings/DisplayPreset.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "ddc/MCCSNames.h"
#include "runtime/Format.h"
#include "store/SQLiteDatabase.h"

namespace orvane::settings {

using nlohmann::json;

const std::vector<std::string> DisplayPreset::kColumns{"name",      "createdAt",   "lastUsedAt",
                                                       "sortOrder", "entriesJSON", "scheduleJSON"};

namespace {
/// A member that must be a number when present; false when it is of another type.
template <typename T>
bool readNumber(const json& object, const char* name, std::optional<T>& out) {
    auto it = object.find(name);
    // A typed decoder reads null for an optional member as absent.
    if (it == object.end() || it->is_null()) return true;
    if (!it->is_number()) return false;
    if constexpr (std::is_floating_point_v<T>) {
        out = it->get<double>();
        return true;
    } else {
        // Integers: whole values in range only, as a typed decoder reads them.
        if (it->is_number_unsigned()) {
            const auto u = it->get<std::uint64_t>();
            if (u > static_cast<std::uint64_t>(std::numeric_limits<T>::max())) return false;
            out = static_cast<T>(u);
            return true;
        }
        if (it->is_number_integer()) {
            const auto i = it->get<std::int64_t>();
            if (i < static_cast<std::int64_t>(std::numeric_limits<T>::min()) ||
                (i > 0 && static_cast<std::uint64_t>(i) >
                              static_cast<std::uint64_t>(std::numeric_limits<T>::max())))
                return false;
            out = static_cast<T>(i);
            return true;
        }
        // Range before anything else: casting a double out of range is undefined.
        const double d = it->get<double>();
        if (!(d >= static_cast<double>(std::numeric_limits<T>::min()) &&
              d < static_cast<double>(std::numeric_limits<T>::max()) + 1.0)) {
            return false;
        }
        if (d != std::trunc(d)) return false;
        out = static_cast<T>(d);
        return true;
    }
}
/// A whole number as an integer ("contrast":75, not 75.0), as a default
/// encoder writes it; any other as a double.
nlohmann::ordered_json number(double v) {
    constexpr double kExact = 9007199254740992.0;  // 2^53
    if (v == std::trunc(v) && std::abs(v) < kExact) return static_cast<std::int64_t>(v);
    return v;
}
}  // namespace

std::optional<std::vector<DisplayPresetEntry>> decodePresetEntries(
    const std::vector<std::uint8_t>& bytes) {
    const auto doc = json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (doc.is_discarded() || !doc.is_array()) return std::nullopt;
    std::vector<DisplayPresetEntry> entries;
    for (const auto& item : doc) {
        if (!item.is_object()) return std::nullopt;
        auto key = item.find("displayKey");
        auto name = item.find("displayName");
        if (key == item.end() || !key->is_string() || name == item.end() || !name->is_string())
            return std::nullopt;
        DisplayPresetEntry e;
        e.displayKey = key->get<std::string>();
        e.displayName = name->get<std::string>();
        bool ok = readNumber(item, "brightness", e.brightness) &&
                  readNumber(item, "contrast", e.contrast) &&
                  readNumber(item, "volume", e.volume) &&
                  readNumber(item, "inputSource", e.inputSource) &&
                  readNumber(item, "resolutionWidth", e.resolutionWidth) &&
                  readNumber(item, "resolutionHeight", e.resolutionHeight) &&
                  readNumber(item, "refreshRate", e.refreshRate);
        if (auto hi = item.find("isHiDPI"); hi != item.end() && !hi->is_null()) {
            if (!hi->is_boolean())
                ok = false;
            else
                e.isHiDPI = hi->get<bool>();
        }
        if (!ok) return std::nullopt;
        if (auto f = item.find("features"); f != item.end() && f->is_object()) {
            for (const auto& [code, value] : f->items()) {
                const auto c = ddc::parseCode(code);
                if (c && value.is_number_unsigned() && value.get<std::uint64_t>() <= 0xFFFF)
                    e.features[*c] = static_cast<std::uint16_t>(value.get<std::uint64_t>());
            }
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

std::optional<std::vector<std::uint8_t>> encodePresetEntries(
    const std::vector<DisplayPresetEntry>& entries) {
    // nlohmann's ordered_json keeps the members in the order written.
    nlohmann::ordered_json doc = nlohmann::ordered_json::array();
    for (const auto& e : entries) {
        // JSON has no NaN or infinity; a typed encoder refuses them.
        for (const auto& v : {e.brightness, e.contrast, e.volume, e.refreshRate}) {
            if (v && !std::isfinite(*v)) return std::nullopt;
        }
        nlohmann::ordered_json o;
        // EDID names can hold any bytes; JSON text cannot.
        o["displayKey"] = runtime::validUTF8(e.displayKey);
        o["displayName"] = runtime::validUTF8(e.displayName);
        if (e.brightness) o["brightness"] = number(*e.brightness);
        if (e.contrast) o["contrast"] = number(*e.contrast);
        if (e.volume) o["volume"] = number(*e.volume);
        if (e.inputSource) o["inputSource"] = *e.inputSource;
        if (e.resolutionWidth) o["resolutionWidth"] = *e.resolutionWidth;
        if (e.resolutionHeight) o["resolutionHeight"] = *e.resolutionHeight;
        if (e.refreshRate) o["refreshRate"] = number(*e.refreshRate);
        if (e.isHiDPI) o["isHiDPI"] = *e.isHiDPI;
        if (!e.features.empty()) {
            nlohmann::ordered_json features = nlohmann::ordered_json::object();
            for (const auto& [code, value] : e.features)
                features[ddc::hexByte(code)] = value;
            o["features"] = std::move(features);
        }
        doc.push_back(std::move(o));
    }
    try {
        const auto text = doc.dump();
        return std::vector<std::uint8_t>(text.begin(), text.end());
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;  // a name that is not valid UTF-8, or a non-finite number
    }
}

std::vector<DisplayPresetEntry> DisplayPreset::entries() const {
    if (!entriesJSON_) return {};
    return decodePresetEntries(*entriesJSON_).value_or(std::vector<DisplayPresetEntry>{});
}

void DisplayPreset::setEntries(const std::vector<DisplayPresetEntry>& entries) {
    setEntriesJSON(encodePresetEntries(entries));
}

void DisplayPreset::bindColumns(store::SQLiteStatement& s) const {
    s.bind(1, name_);
    s.bind(2, createdAt_);
    s.bind(3, lastUsedAt_);
    s.bind(4, sortOrder_);
    s.bind(5, entriesJSON_);
    s.bind(6, scheduleJSON_);
}

std::shared_ptr<DisplayPreset> DisplayPreset::fromRow(const store::SQLiteStatement& r, int f) {
    auto p = std::make_shared<DisplayPreset>(r.text(f), r.real(f + 1), r.int64(f + 3));
    p->lastUsedAt_ = r.optionalReal(f + 2);
    p->entriesJSON_ = r.optionalBlob(f + 4);
    p->scheduleJSON_ = r.optionalBlob(f + 5);
    return p;
}

}  // namespace orvane::settings
