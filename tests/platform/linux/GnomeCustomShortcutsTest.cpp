// SPDX-License-Identifier: MIT
// GNOME's custom shortcuts through GIO, on its memory backend with GNOME's
// own schema: Orvane's entries come and go, everyone else's stay.

#include "platform/linux/GnomeCustomShortcuts.h"

#include <gio/gio.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace orvane::platform::linux_ {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

constexpr const char* kBase = GnomeCustomShortcuts::kBase;

std::vector<std::string> listed() {
    GSettings* list = g_settings_new(GnomeCustomShortcuts::kSchema);
    gchar** values = g_settings_get_strv(list, "custom-keybindings");
    std::vector<std::string> out;
    for (gchar** v = values; *v; ++v)
        out.emplace_back(*v);
    g_strfreev(values);
    g_object_unref(list);
    return out;
}

std::string key(const std::string& path, const char* name) {
    GSettings* one = g_settings_new_with_path(GnomeCustomShortcuts::kEntrySchema, path.c_str());
    gchar* value = g_settings_get_string(one, name);
    std::string out = value;
    g_free(value);
    g_object_unref(one);
    return out;
}

TEST(GnomeCustomShortcuts, OrvanesEntriesComeAndGoAndEveryoneElsesStay) {
    setenv("GSETTINGS_BACKEND", "memory", 1);
    auto shortcuts = GnomeCustomShortcuts::open("/usr/bin/orvane");
    if (!shortcuts)
        GTEST_SKIP() << "needs GNOME's schema (gnome-settings-daemon-common; scripts/setup.sh)";
    // The user's own entry, there before Orvane.
    const std::string theirs = std::string(kBase) + "custom0/";
    {
        GSettings* list = g_settings_new(GnomeCustomShortcuts::kSchema);
        const gchar* values[] = {theirs.c_str(), nullptr};
        g_settings_set_strv(list, "custom-keybindings", values);
        g_object_unref(list);
        GSettings* one =
            g_settings_new_with_path(GnomeCustomShortcuts::kEntrySchema, theirs.c_str());
        g_settings_set_string(one, "name", "Terminal");
        g_object_unref(one);
    }
    std::string why;
    // Control-Option-Up, and an action the user has not bound yet.
    ASSERT_TRUE(shortcuts->write({{"brightness-up", "Orvane: Brightness Up", 126, 0x1000 | 0x800},
                                  {"volume-down", "Orvane: Volume Down", 0, 0}},
                                 why))
        << why;
    const std::string up = std::string(kBase) + "orvane-brightness-up/";
    const std::string down = std::string(kBase) + "orvane-volume-down/";
    EXPECT_THAT(listed(), ElementsAre(theirs, up, down));
    EXPECT_EQ(key(up, "name"), "Orvane: Brightness Up");
    EXPECT_EQ(key(up, "command"), "'/usr/bin/orvane' 'orvane://key?action=brightness-up'");
    EXPECT_EQ(key(up, "binding"), "<Control><Alt>Up");
    EXPECT_EQ(key(down, "binding"), "") << "bound by the user in GNOME Settings";
    EXPECT_THAT(shortcuts->installed(), UnorderedElementsAre("brightness-up", "volume-down"));

    // Rewritten: a rebound key changes, an entry no longer listed leaves
    // nothing behind, and the user's own is untouched throughout.
    ASSERT_TRUE(
        shortcuts->write({{"brightness-up", "Orvane: Brightness Up", 126, 0x1000 | 0x200}}, why));
    EXPECT_THAT(listed(), ElementsAre(theirs, up));
    EXPECT_EQ(key(up, "binding"), "<Control><Shift>Up");
    EXPECT_EQ(key(down, "command"), "");
    ASSERT_TRUE(shortcuts->write({}, why));
    EXPECT_THAT(listed(), ElementsAre(theirs));
    EXPECT_EQ(key(theirs, "name"), "Terminal");
    EXPECT_TRUE(shortcuts->installed().empty());
}

}  // namespace
}  // namespace orvane::platform::linux_
