// SPDX-License-Identifier: MIT
#include "settings/AppSettings.h"

#include "store/ModelContext.h"

namespace orvane::settings {

const std::vector<std::string> AppSettings::kColumns{"interceptBrightnessKeys",
                                                     "interceptVolumeKeys",
                                                     "brightnessSyncEnabled",
                                                     "showOSD",
                                                     "launchAtLogin",
                                                     "brightnessStep",
                                                     "volumeStep",
                                                     "defaultPresetName",
                                                     "shortcutBindingsJSON",
                                                     "latitude",
                                                     "longitude"};

input::ShortcutBindings AppSettings::shortcutBindings() const {
    return input::decodeShortcutBindings(shortcutBindingsJSON_);
}

void AppSettings::setShortcutBindings(const input::ShortcutBindings& bindings) {
    setShortcutBindingsJSON(input::encodeShortcutBindings(bindings));
}

input::KeyPreferences AppSettings::keyPreferences() const {
    return {interceptBrightnessKeys_, interceptVolumeKeys_, brightnessStep_, volumeStep_, showOSD_};
}

void AppSettings::bindColumns(store::SQLiteStatement& s) const {
    s.bind(1, interceptBrightnessKeys_);
    s.bind(2, interceptVolumeKeys_);
    s.bind(3, brightnessSyncEnabled_);
    s.bind(4, showOSD_);
    s.bind(5, launchAtLogin_);
    s.bind(6, brightnessStep_);
    s.bind(7, volumeStep_);
    s.bind(8, defaultPresetName_);
    s.bind(9, shortcutBindingsJSON_);
    s.bind(10, latitude_);
    s.bind(11, longitude_);
}

std::shared_ptr<AppSettings> AppSettings::fromRow(const store::SQLiteStatement& r, int f) {
    auto s = std::make_shared<AppSettings>();
    s->interceptBrightnessKeys_ = r.int64(f) != 0;
    s->interceptVolumeKeys_ = r.int64(f + 1) != 0;
    s->brightnessSyncEnabled_ = r.int64(f + 2) != 0;
    s->showOSD_ = r.int64(f + 3) != 0;
    s->launchAtLogin_ = r.int64(f + 4) != 0;
    s->brightnessStep_ = r.real(f + 5);
    s->volumeStep_ = r.real(f + 6);
    s->defaultPresetName_ = r.optionalText(f + 7);
    s->shortcutBindingsJSON_ = r.optionalBlob(f + 8);
    s->latitude_ = r.optionalReal(f + 9);
    s->longitude_ = r.optionalReal(f + 10);
    return s;
}

std::shared_ptr<AppSettings> fetchOrCreateSettings(store::ModelContext& context) {
    try {
        auto all = context.fetch<AppSettings>();
        if (!all.empty()) return all.front();
    } catch (const store::StoreError&) {
        // As if nothing was found.
    }
    auto settings = std::make_shared<AppSettings>();
    context.insert(settings);
    try {
        context.save();
    } catch (const store::StoreError&) {
        // The record is in the context and reaches the disk with a later save.
    }
    return settings;
}

}  // namespace orvane::settings
