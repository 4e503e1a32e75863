// SPDX-License-Identifier: MIT
// A full registry scan of 16 simulated displays (virtual time against the probe
// floor), a desk with a dead and a hung monitor beside healthy ones (virtual
// time, probes one after another or side by side), and one brightness change
// across all 16 (real CPU time).

#include <algorithm>
#include <memory>

#include <benchmark/benchmark.h>

#include "ddc/AVServiceDDC.h"
#include "ddc/DDCManager.h"
#include "displays/DisplayManager.h"
#include "platform/sim/SimMachine.h"
#include "runtime/Logger.h"
#include "runtime/ManualExecutor.h"
#include "runtime/Runtime.h"
#include "runtime/Spawn.h"

namespace {

using namespace orvane;

/// 16 external displays, half on framebuffer I2C and half behind their own
/// audio/video service proxy, each answering all five probed codes.
platform::sim::SimRig sixteenDisplays() {
    platform::sim::SimRig rig;
    for (DisplayID id = 1; id <= 16; ++id) {
        platform::sim::SimDisplaySpec d;
        d.id = id;
        d.name = "Bench " + std::to_string(id);
        d.vendor = 0x1000 + id;
        d.model = id;
        d.ddc = id <= 8 ? platform::sim::SimDDCPath::i2c : platform::sim::SimDDCPath::avService;
        d.monitor.features = {{0x10, {50, 100}},
                              {0x12, {50, 100}},
                              {0x62, {20, 100}},
                              {0x60, {15, 18}},
                              {0xD6, {1, 5}}};
        rig.displays.push_back(d);
    }
    return rig;
}

struct Bench {
    runtime::VirtualRuntime rt;
    runtime::CapturingLogger log;
    platform::sim::SimMachine machine{sixteenDisplays(), rt.clock()};
    std::shared_ptr<displays::DisplayManager> manager = displays::DisplayManager::create(
        rt,
        {machine.platform(), ddc::DDCManager::create(rt, machine.platform(), log, "bench.orvane"),
         ddc::AVServiceDDC::create(rt, machine.platform(), log, "bench.orvane")},
        log);
    ~Bench() { manager->stop(); }
};

void Scan16Displays(benchmark::State& state) {
    double virtualMs = 0;
    for (auto _ : state) {
        Bench b;
        runtime::spawn(b.rt.main(), b.manager->scanDisplays());
        b.rt.executor().runUntilIdle();
        virtualMs = std::chrono::duration<double, std::milli>(b.rt.executor().now()).count();
        if (b.manager->displays().size() != 16) state.SkipWithError("not every display registered");
    }
    // Probes run one display after another: five reads each, each with its
    // mandated 50 ms reply delay.
    const double floorMs = 16 * 5 * 50.0;
    state.counters["virtual_ms"] = virtualMs;
    state.counters["floor_ms"] = floorMs;
    state.counters["ratio"] = virtualMs / floorMs;
}
BENCHMARK(Scan16Displays)->Unit(benchmark::kMillisecond);

/// Four healthy monitors (IDs 3 to 6), and with faulty set a dead one (no DDC
/// answer) and one that holds its bus a second per attempt.
platform::sim::SimRig desk(bool faulty) {
    auto rig = sixteenDisplays();
    rig.displays.resize(6);
    for (auto& d : rig.displays)
        d.ddc = platform::sim::SimDDCPath::i2c;
    if (faulty) {
        // First in the list, where they hold up most when probed in turn.
        rig.displays[0].monitor.answers = false;
        platform::sim::SimFault hang;
        hang.kind = platform::sim::SimFaultKind::hangs;
        hang.bytes = 1000;
        rig.displays[1].monitor.faults = {hang};
    } else {
        rig.displays.erase(rig.displays.begin(), rig.displays.begin() + 2);
    }
    return rig;
}

/// Arguments: faulty desk (0/1), probes side by side (0/1). virtual_ms is
/// until every probe has ended; healthy_ms is when the last healthy monitor's
/// probe had; registry_ms is when the scan published the displays, from when
/// on cards and URLs use them.
void ScanDeskWithDeadAndHungMonitors(benchmark::State& state) {
    const bool faulty = state.range(0) != 0, sideBySide = state.range(1) != 0;
    double virtualMs = 0, healthyMs = 0, readyMs = 0;
    for (auto _ : state) {
        runtime::VirtualRuntime rt;
        runtime::CapturingLogger log;
        platform::sim::SimMachine machine{desk(faulty), rt.clock()};
        auto manager = displays::DisplayManager::create(
            rt,
            {machine.platform(), ddc::DDCManager::create(rt, machine.platform(), log, "bench"),
             ddc::AVServiceDDC::create(rt, machine.platform(), log, "bench")},
            log);
        manager->probeSideBySide = sideBySide;
        manager->reprobeOnTimer = false;  // the scan alone
        runtime::spawn(rt.main(), manager->scanDisplays(), [&](std::exception_ptr) {
            readyMs = std::chrono::duration<double, std::milli>(rt.executor().now()).count();
        });
        rt.executor().runUntilIdle();
        virtualMs = std::chrono::duration<double, std::milli>(rt.executor().now()).count();
        healthyMs = 0;
        for (DisplayID id = 3; id <= 6; ++id) {
            const auto read = manager->record(id)->ddc->lastReadTime();
            if (read)
                healthyMs =
                    std::max(healthyMs, std::chrono::duration<double, std::milli>(*read).count());
        }
        manager->stop();
    }
    state.counters["virtual_ms"] = virtualMs;
    state.counters["healthy_ms"] = healthyMs;
    state.counters["registry_ms"] = readyMs;
}
BENCHMARK(ScanDeskWithDeadAndHungMonitors)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"faulty", "side_by_side"})
    ->Unit(benchmark::kMillisecond);

void BrightnessChange16Displays(benchmark::State& state) {
    Bench b;
    runtime::spawn(b.rt.main(), b.manager->scanDisplays());
    b.rt.executor().runUntilIdle();
    double level = 10;
    for (auto _ : state) {
        level = level >= 90 ? 10 : level + 1;
        for (const auto& display : b.manager->externalDisplays()) {
            display->brightness = level;
            runtime::spawn(b.rt.main(),
                           b.manager->record(display->info.id)->brightness->setBrightness(level));
        }
        b.rt.executor().runUntilIdle();
    }
    state.SetItemsProcessed(state.iterations() * 16);
    if (b.machine.monitor(16)->feature(0x10)->current != static_cast<std::uint16_t>(level))
        state.SkipWithError("the last write did not arrive");
}
BENCHMARK(BrightnessChange16Displays)->Unit(benchmark::kMicrosecond);

}  // namespace
