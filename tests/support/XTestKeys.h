// SPDX-License-Identifier: MIT
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <vector>

namespace orvane::test {

/// A press and release of key through XTest, as a keyboard would, while the
/// modifier keys are held.
inline void pressKey(Display* x, KeySym key, const std::vector<KeySym>& modifiers = {}) {
    for (auto m : modifiers)
        XTestFakeKeyEvent(x, XKeysymToKeycode(x, m), True, CurrentTime);
    XTestFakeKeyEvent(x, XKeysymToKeycode(x, key), True, CurrentTime);
    XTestFakeKeyEvent(x, XKeysymToKeycode(x, key), False, CurrentTime);
    for (auto m : modifiers)
        XTestFakeKeyEvent(x, XKeysymToKeycode(x, m), False, CurrentTime);
    XSync(x, False);
}

}  // namespace orvane::test
