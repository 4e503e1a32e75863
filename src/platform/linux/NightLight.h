// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace orvane::platform::linux_ {

/// The night light that sets the gamma ramps in this session, by name:
/// gammastep, redshift or wlsunset while one runs (from root's /proc), or
/// GNOME's Night Light when gnome and its setting is on. Empty for none.
std::string activeNightLight(const std::string& root, bool gnome);

}  // namespace orvane::platform::linux_
