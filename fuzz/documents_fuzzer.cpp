// SPDX-License-Identifier: MIT
// The documents the store keeps as blobs: shortcut bindings and preset
// entries. A file edited or damaged on disk must read as nothing, never crash,
// and what reads must write back to the same thing.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "InputBudget.h"
#include "input/KeyCombo.h"
#include "settings/DisplayPreset.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    orvane::fuzz::withinBudget([&] {
        if (const auto bindings = orvane::input::tryDecodeShortcutBindings(bytes)) {
            const auto again = orvane::input::encodeShortcutBindings(*bindings);
            if (!again || orvane::input::tryDecodeShortcutBindings(*again) != bindings)
                __builtin_trap();
        }
        if (const auto entries = orvane::settings::decodePresetEntries(bytes)) {
            const auto again = orvane::settings::encodePresetEntries(*entries);
            if (!again || orvane::settings::decodePresetEntries(*again) != entries)
                __builtin_trap();
        }
    });
    return 0;
}
