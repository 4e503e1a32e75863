// SPDX-License-Identifier: MIT
#include "controls/ColorProfileManager.h"

#include <algorithm>
#include <cctype>

#include "runtime/Format.h"

namespace orvane::controls {

namespace {
bool endsWith(const std::string& s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string withoutExtension(const std::string& name) {
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool isProfileFile(const std::string& name) {
    return endsWith(name, ".icc") || endsWith(name, ".icm") || endsWith(name, ".colorprofile");
}

}  // namespace

std::vector<std::string> ColorProfileManager::profileDirectories() const {
    return files_.colorProfileDirectories();
}

std::string ColorProfileManager::profileName(DisplayID display) const {
    auto screen = platform::screenForDisplay(toolkit_, display);
    if (!screen) return "Unknown";
    if (!screen->colorSpace || !screen->colorSpace->localizedName) return "Default";
    return *screen->colorSpace->localizedName;
}

std::optional<std::string> ColorProfileManager::activeProfileURL(DisplayID display) const {
    auto screen = platform::screenForDisplay(toolkit_, display);
    if (!screen || !screen->colorSpace || !screen->colorSpace->iccProfileData) return std::nullopt;
    const auto& data = *screen->colorSpace->iccProfileData;
    for (const auto& dir : profileDirectories()) {
        auto entries = files_.contentsOfDirectory(dir);
        if (!entries) continue;
        for (const auto& entry : *entries) {
            if (!isProfileFile(entry)) continue;  // a note or backup with the same bytes is none
            const std::string path = dir + "/" + entry;
            auto bytes = files_.contentsOfFile(path);
            if (bytes && *bytes == data) return path;
        }
    }
    return std::nullopt;
}

std::vector<ColorProfileInfo> ColorProfileManager::listProfiles(DisplayID display) const {
    const auto active = activeProfileURL(display);
    std::vector<ColorProfileInfo> result;
    for (const auto& dir : profileDirectories()) {
        auto entries = files_.contentsOfDirectory(dir);
        if (!entries) continue;
        for (const auto& entry : *entries) {
            if (!isProfileFile(entry)) continue;
            ColorProfileInfo info;
            info.url = dir + "/" + entry;
            info.name = withoutExtension(entry);
            info.isActive = active && *active == info.url;
            result.push_back(std::move(info));
        }
    }
    std::stable_sort(result.begin(), result.end(), [](const auto& a, const auto& b) {
        return runtime::lowercased(a.name) < runtime::lowercased(b.name);
    });
    return result;
}

}  // namespace orvane::controls
