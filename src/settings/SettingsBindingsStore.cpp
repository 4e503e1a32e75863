// SPDX-License-Identifier: MIT
#include "settings/SettingsBindingsStore.h"

#include <filesystem>
#include <fstream>

#include "settings/AppSettings.h"

namespace orvane::settings {

input::ShortcutBindings SettingsBindingsStore::shortcutBindings() {
    return fetchOrCreateSettings(context_)->shortcutBindings();
}

void SettingsBindingsStore::setShortcutBindings(const input::ShortcutBindings& bindings) {
    auto settings = fetchOrCreateSettings(context_);
    const auto& stored = settings->shortcutBindingsJSON();
    if (stored && !input::tryDecodeShortcutBindings(*stored)) {
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::create_directories(backupDirectory_, ec);
        fs::path path;
        for (int n = 1; path.empty() || fs::exists(path, ec); ++n)
            path = fs::path(backupDirectory_) /
                   ("shortcutBindings.unreadable." + std::to_string(n) + ".json");
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(stored->data()),
                  static_cast<std::streamsize>(stored->size()));
        if (!out) {
            // Without a copy, the unreadable document stays where it is.
            log_.line("[AppSettings] Cannot keep unreadable shortcut bindings in " + path.string() +
                      "; not replacing them");
            return;
        }
        log_.line("[AppSettings] Kept unreadable shortcut bindings in " + path.string());
    }
    settings->setShortcutBindings(bindings);
}

void SettingsBindingsStore::save() {
    try {
        context_.save();
    } catch (const store::StoreError&) {
        // Ignored: the change stays pending for the next save.
    }
}

}  // namespace orvane::settings
