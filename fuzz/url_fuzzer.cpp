// SPDX-License-Identifier: MIT
// URLs of the orvane scheme reach Orvane from any web page through xdg-open:
// each input is handled by the real URL handler on a simulated desk. An
// invalid URL (not one, another scheme, an unknown command) changes nothing.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "InputBudget.h"
#include "ddc/AVServiceDDC.h"
#include "ddc/DDCManager.h"
#include "displays/DisplayManager.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRig.h"
#include "runtime/Logger.h"
#include "runtime/ManualExecutor.h"
#include "runtime/Runtime.h"
#include "runtime/Spawn.h"
#include "settings/CLIHandler.h"
#include "settings/PresetManager.h"

namespace {
using namespace orvane;

struct Desk {
    runtime::VirtualRuntime rt;
    runtime::CapturingLogger log;
    platform::sim::SimMachine machine{platform::sim::SimRig::defaultRig(), rt.clock()};
    platform::Platform platform = machine.platform();
    std::shared_ptr<displays::DisplayManager> registry;
    std::shared_ptr<settings::PresetManager> presets;
    std::unique_ptr<settings::CLIHandler> cli;

    Desk() {
        registry = displays::DisplayManager::create(
            rt,
            {platform, ddc::DDCManager::create(rt, platform, log, "fuzz"),
             ddc::AVServiceDDC::create(rt, platform, log, "fuzz")},
            log);
        registry->reprobeOnTimer = false;
        runtime::spawn(rt.main(), registry->start());
        rt.executor().runUntilIdle();
        presets = std::make_shared<settings::PresetManager>(registry, log);
        cli = std::make_unique<settings::CLIHandler>(registry, presets, rt.main(), log);
    }
};

/// What a URL could change on the desk: every monitor's features, gamma and
/// the overlays on screen.
std::string fingerprint(platform::sim::SimMachine& machine) {
    std::string out;
    std::uint32_t ids[16], count = 0;
    machine.getActiveDisplayList(16, ids, count);
    for (std::uint32_t i = 0; i < count; ++i) {
        out += std::to_string(ids[i]) + (machine.gammaIsOriginal(ids[i]) ? "g" : "G");
        if (auto monitor = machine.monitor(ids[i])) {
            for (const auto& [code, f] : monitor->features())
                out += ":" + std::to_string(code) + "=" + std::to_string(f.current);
        }
        out += ";";
    }
    for (const auto& w : machine.windows())
        out += "w" + std::to_string(w.alpha) + (w.visible ? "v" : "h");
    return out;
}

bool invalid(const std::string& text) {
    static const std::set<std::string> commands{"brightness", "contrast", "volume", "input",
                                                "power",      "preset",   "info"};
    const auto url = settings::CommandURL::parse(text);
    return !url || url->scheme != "orvane" || !commands.count(url->host);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Desk desk;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const bool bad = invalid(text);
    const auto before = bad ? fingerprint(desk.machine) : std::string();
    // Handling a URL twice is what a script that repeats itself does.
    orvane::fuzz::withinBudget([&] {
        desk.cli->handle(text);
        desk.rt.executor().runUntilIdle();
    });
    desk.log.clear();
    desk.machine.clearTranscript();
    if (bad && fingerprint(desk.machine) != before) __builtin_trap();
    return 0;
}
