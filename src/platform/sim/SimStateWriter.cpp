// SPDX-License-Identifier: MIT
#include "platform/sim/SimStateWriter.h"

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

namespace orvane::platform::sim {

namespace {
std::string hexCode(std::uint8_t code) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02x", code);
    return buf;
}
}  // namespace

std::string SimStateWriter::json(SimMachine& machine) {
    using nlohmann::ordered_json;
    ordered_json doc;
    doc["name"] = machine.name();
    ordered_json displays = ordered_json::array();
    for (DisplayID id : machine.displayIDs()) {
        ordered_json d;
        d["id"] = id;
        d["builtIn"] = machine.isBuiltIn(id);
        if (auto* monitor = machine.monitor(id)) {
            ordered_json vcp = ordered_json::object();
            for (const auto& [code, f] : monitor->features())
                vcp[hexCode(code)] = {f.current, f.max};
            d["vcp"] = vcp;
        }
        if (auto mode = machine.currentMode(id)) {
            d["mode"] = {{"width", mode->width},
                         {"height", mode->height},
                         {"pixelWidth", mode->pixelWidth},
                         {"pixelHeight", mode->pixelHeight},
                         {"refresh", mode->refreshRate}};
        } else {
            d["mode"] = nullptr;
        }
        if (machine.gammaIsOriginal(id)) {
            d["gamma"] = "original";
        } else {
            const auto tables = machine.gammaTables(id);
            d["gamma"] = {{"red", tables[0]}, {"green", tables[1]}, {"blue", tables[2]}};
        }
        if (auto b = machine.panelBrightness(id)) d["panelBrightness"] = *b;
        displays.push_back(std::move(d));
    }
    doc["displays"] = displays;

    ordered_json windows = ordered_json::array();
    for (const auto& w : machine.windows()) {
        windows.push_back({{"screen", w.screenNumber ? ordered_json(*w.screenNumber) : nullptr},
                           {"level", w.level},
                           {"alpha", w.alpha},
                           {"visible", w.visible},
                           {"frame", {w.frame.x, w.frame.y, w.frame.width, w.frame.height}}});
    }
    doc["windows"] = windows;

    ordered_json audio = ordered_json::array();
    for (const auto& device : machine.audio().devices()) {
        ordered_json a;
        a["id"] = device.id;
        a["name"] = device.name;
        if (auto v = machine.audio().volume(device.id)) a["volume"] = *v;
        if (auto m = machine.audio().muted(device.id)) a["mute"] = *m;
        audio.push_back(std::move(a));
    }
    doc["audioDevices"] = audio;
    return doc.dump(2) + "\n";
}

bool SimStateWriter::write(SimMachine& machine, const std::string& path) {
    std::ofstream out(path, std::ios::trunc);
    out << json(machine);
    return static_cast<bool>(out);
}

}  // namespace orvane::platform::sim
