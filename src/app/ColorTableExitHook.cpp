// SPDX-License-Identifier: MIT
#include "app/ColorTableExitHook.h"

#include <atomic>
#include <cstdlib>

namespace orvane::app {

namespace {
std::atomic<platform::WindowServer*> armed{nullptr};
std::atomic<bool> registered{false};

void restoreAtExit() {
    if (auto* ws = armed.exchange(nullptr)) ws->restoreGamma();
}
}  // namespace

void ColorTableExitHook::arm(platform::WindowServer& windowServer) {
    armed = &windowServer;
    if (!registered.exchange(true)) std::atexit(restoreAtExit);
}

void ColorTableExitHook::disarm() {
    restoreAtExit();
}

}  // namespace orvane::app
