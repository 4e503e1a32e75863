// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

#include "platform/DesktopShortcuts.h"

namespace orvane::test {

/// A desktop's own shortcuts, as GNOME's keep them, in memory.
struct FakeDesktopShortcuts final : platform::DesktopShortcuts {
    std::vector<Entry> entries;
    bool fails = false;
    std::string place() const override { return "GNOME's keyboard shortcuts"; }
    bool write(const std::vector<Entry>& e, std::string& why) override {
        if (fails) {
            why = "the settings are read-only";
            return false;
        }
        entries = e;
        return true;
    }
    std::vector<std::string> installed() override {
        std::vector<std::string> actions;
        for (const auto& e : entries)
            actions.push_back(e.action);
        return actions;
    }
};

}  // namespace orvane::test
