// SPDX-License-Identifier: MIT
#include "platform/sim/InfoDictionary.h"

namespace orvane::platform::sim {

void InfoDictionary::set(std::string key, InfoValue value) {
    for (auto& [k, v] : entries_) {
        if (k == key) {
            v = std::move(value);
            return;
        }
    }
    entries_.emplace_back(std::move(key), std::move(value));
}

const InfoValue* InfoDictionary::find(std::string_view key) const {
    for (const auto& [k, v] : entries_) {
        if (k == key) return &v;
    }
    return nullptr;
}

std::optional<std::uint32_t> InfoDictionary::number(std::string_view key) const {
    const InfoValue* v = find(key);
    if (!v || !v->asNumber()) return std::nullopt;
    return static_cast<std::uint32_t>(*v->asNumber());
}

}  // namespace orvane::platform::sim
