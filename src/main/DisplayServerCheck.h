// SPDX-License-Identifier: MIT
#pragma once

#include "main/CommandLine.h"

namespace orvane::cli {

/// A desktop session shows the tray: a display server answers and nothing
/// asked for a run without windows. A stale DISPLAY (a closed session, an
/// ssh login) is said once and runs without windows: Qt would abort on it.
/// Sets QT_QPA_PLATFORM to wayland when only the Wayland server answers.
bool wantsGui(const Options& options);

}  // namespace orvane::cli
