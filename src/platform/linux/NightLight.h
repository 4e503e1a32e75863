// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace orvane::platform::linux_ {

/// The night light that sets the gamma ramps in this session, by name:
/// gammastep, redshift or wlsunset while one runs (from root's /proc), GNOME's
/// Night Light when the desktop (XDG_CURRENT_DESKTOP) is GNOME and its
/// setting is on, or KDE's Night Color when the desktop is KDE and KWin says
/// it runs (on the session bus). Empty for none.
std::string activeNightLight(const std::string& root, const std::string& desktop);

}  // namespace orvane::platform::linux_
