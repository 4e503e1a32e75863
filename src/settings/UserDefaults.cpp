// SPDX-License-Identifier: MIT
#include "settings/UserDefaults.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "runtime/Environment.h"

namespace orvane::settings {

UserDefaults::UserDefaults(std::string path, runtime::Logger& log)
    : path_(std::move(path)), log_(log) {
    std::ifstream in(path_);
    if (!in) return;  // no file yet
    std::stringstream text;
    text << in.rdbuf();
    const auto doc = nlohmann::json::parse(text.str(), nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        unreadable_ = true;
        return;
    }
    for (const auto& [key, value] : doc.items()) {
        if (value.is_boolean()) values_[key] = value.get<bool>();
    }
}

std::optional<bool> UserDefaults::objectForKey(const std::string& key) const {
    if (auto it = values_.find(key); it != values_.end()) return it->second;
    if (auto it = registered_.find(key); it != registered_.end()) return it->second;
    return std::nullopt;
}

bool UserDefaults::boolForKey(const std::string& key) const {
    return objectForKey(key).value_or(false);
}

void UserDefaults::registerDefaults(const std::map<std::string, bool>& defaults) {
    for (const auto& [k, v] : defaults)
        registered_[k] = v;
}

void UserDefaults::setBool(const std::string& key, bool value) {
    values_[key] = value;
    write();
}

void UserDefaults::write() {
    if (path_.empty()) return;  // no home: kept for this run only
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path(path_);
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
    if (unreadable_) {
        const auto aside = path_ + ".unreadable";
        fs::rename(path, aside, ec);
        log_.line("[UserDefaults] Kept the unreadable " + path_ + " as " + aside);
        unreadable_ = false;
    }
    nlohmann::json doc = nlohmann::json::object();
    for (const auto& [k, v] : values_)
        doc[k] = v;
    const auto temp = path_ + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << doc.dump(2) << '\n';
        if (!out) {
            log_.line("[UserDefaults] Cannot write " + temp);
            return;
        }
    }
    fs::rename(temp, path, ec);
    if (ec) log_.line("[UserDefaults] Cannot replace " + path_ + ": " + ec.message());
}

std::string UserDefaults::defaultPath() {
    const auto dir = runtime::xdgDirectory("XDG_CONFIG_HOME", ".config");
    return dir ? *dir + "/orvane/defaults.json" : std::string();
}

}  // namespace orvane::settings
