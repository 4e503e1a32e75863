// SPDX-License-Identifier: MIT
#include "platform/linux/GnomeCustomShortcuts.h"

#include <gio/gio.h>

#include <filesystem>
#include <memory>

#include "platform/linux/X11Keys.h"

namespace orvane::platform::linux_ {

namespace {

struct Unref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
using Settings = std::unique_ptr<GSettings, Unref>;

constexpr const char* kPrefix = "orvane-";

bool schemaInstalled(const char* id) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr;
    if (schema) g_settings_schema_unref(schema);
    return schema != nullptr;
}

std::string pathOf(const std::string& action) {
    return std::string(GnomeCustomShortcuts::kBase) + kPrefix + action + "/";
}

/// The action of one of Orvane's paths; empty for anyone else's.
std::string actionOf(const std::string& path) {
    const std::string mine = std::string(GnomeCustomShortcuts::kBase) + kPrefix;
    if (path.rfind(mine, 0) != 0 || path.back() != '/') return {};
    return path.substr(mine.size(), path.size() - mine.size() - 1);
}

std::vector<std::string> paths(GSettings* list) {
    std::vector<std::string> out;
    gchar** values = g_settings_get_strv(list, "custom-keybindings");
    for (gchar** v = values; v && *v; ++v)
        out.emplace_back(*v);
    g_strfreev(values);
    return out;
}

/// Shell words: the URL in single quotes, which it never holds itself.
std::string shellWord(const std::string& word) {
    std::string out = "'";
    for (char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

std::string GnomeCustomShortcuts::orvane() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return "orvane";
    if (self.filename() != "orvane-gui") return self.string();
    for (const auto& candidate :
         {self.parent_path() / "orvane", self.parent_path() / ".." / ".." / "bin" / "orvane"}) {
        if (fs::exists(candidate, ec)) return fs::weakly_canonical(candidate, ec).string();
    }
    return "orvane";
}

std::optional<GnomeCustomShortcuts> GnomeCustomShortcuts::open(std::string program) {
    if (!schemaInstalled(kSchema) || !schemaInstalled(kEntrySchema)) return std::nullopt;
    return GnomeCustomShortcuts(std::move(program));
}

bool GnomeCustomShortcuts::write(const std::vector<Entry>& entries, std::string& why) {
    Settings list(g_settings_new(kSchema));
    std::vector<std::string> kept;
    std::vector<std::string> gone;
    for (auto& path : paths(list.get())) {
        (actionOf(path).empty() ? kept : gone).push_back(std::move(path));
    }
    for (const auto& entry : entries) {
        const std::string path = pathOf(entry.action);
        Settings one(g_settings_new_with_path(kEntrySchema, path.c_str()));
        const std::string binding =
            entry.keyCode ? gtkAccelerator(entry.keyCode, entry.modifiers) : std::string();
        const std::string command =
            shellWord(program_) + " " + shellWord("orvane://key?action=" + entry.action);
        if (!g_settings_set_string(one.get(), "name", entry.name.c_str()) ||
            !g_settings_set_string(one.get(), "command", command.c_str()) ||
            !g_settings_set_string(one.get(), "binding", binding.c_str())) {
            why = "GNOME's settings refused the entry " + path;
            return false;
        }
        kept.push_back(path);
        std::erase(gone, path);
    }
    // An entry no longer listed leaves no settings behind.
    for (const auto& path : gone) {
        Settings one(g_settings_new_with_path(kEntrySchema, path.c_str()));
        for (const char* key : {"name", "command", "binding"})
            g_settings_reset(one.get(), key);
    }
    std::vector<const gchar*> values;
    for (const auto& p : kept)
        values.push_back(p.c_str());
    values.push_back(nullptr);
    if (!g_settings_set_strv(list.get(), "custom-keybindings", values.data())) {
        why = "GNOME's settings refused the list of custom shortcuts";
        return false;
    }
    g_settings_sync();
    return true;
}

std::vector<std::string> GnomeCustomShortcuts::installed() {
    Settings list(g_settings_new(kSchema));
    std::vector<std::string> actions;
    for (const auto& path : paths(list.get())) {
        if (auto action = actionOf(path); !action.empty()) actions.push_back(action);
    }
    return actions;
}

}  // namespace orvane::platform::linux_
