// SPDX-License-Identifier: MIT
// Message encode/decode throughput, a capability probe of 16 simulated displays
// (virtual time against the protocol floor), and the CPU cost of one awaited
// attempt through the runtime.

#include <algorithm>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "ddc/AVServiceDDC.h"
#include "ddc/DDCDisplay.h"
#include "ddc/DDCManager.h"
#include "ddc/DDCMessage.h"
#include "platform/sim/SimMachine.h"
#include "runtime/Logger.h"
#include "runtime/ManualExecutor.h"
#include "runtime/OnQueue.h"
#include "runtime/Runtime.h"
#include "runtime/Spawn.h"

namespace {

using namespace orvane;
using namespace std::chrono_literals;

void EncodeDecode(benchmark::State& state) {
    const std::vector<std::uint8_t> reply{0x6E, 0x88, 0x02, 0x00, 0x10, 0x00,
                                          0x00, 0x64, 0x00, 0x32, 0xF2};
    std::uint16_t v = 0;
    for (auto _ : state) {
        auto get = ddc::DDCMessage::encodeGetVCP(ddc::VCPCode::brightness);
        auto set = ddc::DDCMessage::encodeSetVCP(ddc::VCPCode::contrast, v++);
        auto value = ddc::DDCMessage::decodeFramed(reply, ddc::VCPCode::brightness, nullptr);
        auto scanned = ddc::DDCMessage::decodeScanning(reply, ddc::VCPCode::brightness);
        benchmark::DoNotOptimize(get);
        benchmark::DoNotOptimize(set);
        benchmark::DoNotOptimize(value);
        benchmark::DoNotOptimize(scanned);
    }
    state.SetItemsProcessed(state.iterations() * 4);
}
BENCHMARK(EncodeDecode);

/// Monitor id of a desk of distinct monitors, on path.
platform::sim::SimDisplaySpec monitorSpec(DisplayID id, platform::sim::SimDDCPath path) {
    platform::sim::SimDisplaySpec d;
    d.id = id;
    d.vendor = 0x1000 + id;
    d.model = id;
    d.ddc = path;
    return d;
}

// 16 displays: 8 on framebuffer I2C, 8 behind audio/video service proxies, each
// answering four of five codes (volume unsupported: three attempts, two sleeps).
void Probe16Displays(benchmark::State& state) {
    double ratio = 0, virtualMs = 0, floorMs = 0;
    for (auto _ : state) {
        runtime::VirtualRuntime rt;
        runtime::CapturingLogger log;
        platform::sim::SimRig rig;
        for (DisplayID id = 1; id <= 16; ++id) {
            auto d = monitorSpec(id, id <= 8 ? platform::sim::SimDDCPath::i2c
                                             : platform::sim::SimDDCPath::avService);
            d.monitor.features = {
                {0x10, {50, 100}}, {0x12, {50, 100}}, {0x60, {15, 18}}, {0xD6, {1, 5}}};
            rig.displays.push_back(d);
        }
        platform::sim::SimMachine machine(rig, rt.clock());
        auto platform = machine.platform();
        auto i2c = ddc::DDCManager::create(rt, platform, log, "bench.orvane");
        auto av = ddc::AVServiceDDC::create(rt, platform, log, "bench.orvane");
        std::vector<std::shared_ptr<ddc::DDCDisplay>> displays;
        for (DisplayID id = 1; id <= 16; ++id) {
            displays.push_back(std::make_shared<ddc::DDCDisplay>(
                id, ddc::DDCTransports{{i2c, av}, rt.clock(), log}));
            runtime::spawn(rt.main(), displays.back()->probeCapabilities());
        }
        rt.executor().runUntilIdle();
        // Floor: every read transaction's mandated 50 ms reply delay, serial per
        // display; displays run side by side. Each display makes 4 good reads
        // and 3 failed volume reads.
        const double perDisplayReads = 4 + 3;
        floorMs = perDisplayReads * 50;
        virtualMs = std::chrono::duration<double, std::milli>(rt.executor().now()).count();
        ratio = virtualMs / floorMs;
        i2c->clearCache();
    }
    state.counters["virtual_ms"] = virtualMs;
    state.counters["floor_ms"] = floorMs;
    state.counters["ratio"] = ratio;
}
BENCHMARK(Probe16Displays)->Unit(benchmark::kMillisecond);

// A brightness change on 15 healthy monitors, with the 16th healthy, then with
// it holding the bus for a second at every attempt (as a locked-up monitor
// does): the 15 finish at the same virtual time either way.
void DeadMonitorCostsTheOthersNothing(benchmark::State& state) {
    double healthyMs = 0, withDeadMs = 0;
    for (auto _ : state) {
        for (bool dead : {false, true}) {
            runtime::VirtualRuntime rt;
            runtime::CapturingLogger log;
            platform::sim::SimRig rig;
            for (DisplayID id = 1; id <= 16; ++id) {
                auto d = monitorSpec(id, platform::sim::SimDDCPath::i2c);
                d.monitor.features = {{0x10, {50, 100}}};
                if (dead && id == 16) {
                    platform::sim::SimFault hang;
                    hang.kind = platform::sim::SimFaultKind::hangs;
                    hang.bytes = 1000;
                    d.monitor.faults = {hang};
                }
                rig.displays.push_back(d);
            }
            platform::sim::SimMachine machine(rig, rt.clock());
            auto platform = machine.platform();
            auto i2c = ddc::DDCManager::create(rt, platform, log, "bench.orvane");
            std::vector<std::shared_ptr<ddc::DDCDisplay>> displays;
            for (DisplayID id = 1; id <= 16; ++id) {
                displays.push_back(std::make_shared<ddc::DDCDisplay>(
                    id, ddc::DDCTransports{{i2c}, rt.clock(), log}));
                runtime::spawn(rt.main(),
                               [](std::shared_ptr<ddc::DDCDisplay> d) -> runtime::Task<void> {
                                   co_await d->readValue(ddc::VCPCode::brightness);
                               }(displays.back()));
            }
            rt.executor().runUntilIdle();
            // The change: a write to each, read back where the monitor answers.
            const auto asked = rt.executor().now();
            runtime::TimePoint lastHealthy = asked;
            for (DisplayID id = 1; id <= 16; ++id) {
                runtime::spawn(
                    rt.main(),
                    [](std::shared_ptr<ddc::DDCDisplay> d) -> runtime::Task<void> {
                        co_await d->writeValue(80, ddc::VCPCode::brightness);
                    }(displays[id - 1]),
                    [&, id](std::exception_ptr) {
                        if (id != 16) lastHealthy = std::max(lastHealthy, rt.executor().now());
                    });
            }
            rt.executor().runUntilIdle();
            (dead ? withDeadMs : healthyMs) =
                std::chrono::duration<double, std::milli>(lastHealthy - asked).count();
        }
    }
    state.counters["healthy_ms"] = healthyMs;
    state.counters["with_dead_ms"] = withDeadMs;
}
BENCHMARK(DeadMonitorCostsTheOthersNothing)->Unit(benchmark::kMillisecond);

// One attempt handed to a serial queue and awaited back on the main executor.
void AwaitedAttempt(benchmark::State& state) {
    runtime::ManualExecutor ex;
    auto lane = ex.makeLane("bench.io");
    const int n = 1000;
    auto loop = [&]() -> runtime::Task<void> {
        for (int i = 0; i < n; ++i)
            benchmark::DoNotOptimize(co_await runtime::onQueue(*lane, ex, [i] { return i; }));
    };
    for (auto _ : state) {
        runtime::spawn(ex, loop());
        ex.runUntilIdle();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(AwaitedAttempt);

}  // namespace

BENCHMARK_MAIN();
