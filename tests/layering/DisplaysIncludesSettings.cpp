// SPDX-License-Identifier: MIT
// Must not compile: the display registry sits below the settings.
#include "displays/DisplayManager.h"
#include "settings/AppSettings.h"
