// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <optional>
#include <string>

#include "runtime/Logger.h"

namespace orvane::settings {

/// A small key-value file of flags ("onboardingShown", "SUAutomaticallyUpdate").
/// Writes replace the file atomically. A file that cannot be read is kept
/// aside before the first write replaces it.
class UserDefaults {
  public:
    UserDefaults(std::string path, runtime::Logger& log);

    bool boolForKey(const std::string& key) const;
    std::optional<bool> objectForKey(const std::string& key) const;
    void setBool(const std::string& key, bool value);
    /// Values read when a key was never written.
    void registerDefaults(const std::map<std::string, bool>& defaults);

    /// "$XDG_CONFIG_HOME/orvane/defaults.json", or under ~/.config.
    static std::string defaultPath();

  private:
    void write();

    std::string path_;
    runtime::Logger& log_;
    std::map<std::string, bool> values_;
    std::map<std::string, bool> registered_;
    bool unreadable_ = false;
};

}  // namespace orvane::settings
