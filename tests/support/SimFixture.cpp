// SPDX-License-Identifier: MIT
#include "support/SimFixture.h"

namespace orvane::test {

using platform::sim::SimDDCPath;
using platform::sim::SimDisplaySpec;

std::vector<int> vcpWrites(const platform::sim::SimMachine& machine, DisplayID display,
                           std::uint8_t code) {
    std::vector<int> values;
    for (const auto& t : machine.transcript()) {
        // 51 84 03 <code> <high> <low> <checksum>, sent and taken by the bus
        if (t.display == display && t.status == platform::sim::kIOReturnSuccess &&
            t.record.result == platform::sim::kIOReturnSuccess && t.sent.size() >= 6 &&
            t.sent[2] == 0x03 && t.sent[3] == code)
            values.push_back(t.sent[4] << 8 | t.sent[5]);
    }
    return values;
}

std::vector<float> linearRamp(std::size_t n, float top) {
    std::vector<float> ramp(n);
    for (std::size_t i = 0; i < n; ++i)
        ramp[i] = static_cast<float>(i) / static_cast<float>(n - 1) * top;
    return ramp;
}

bool setTables(platform::sim::SimMachine& machine, DisplayID display, const std::vector<float>& red,
               const std::vector<float>& green, const std::vector<float>& blue) {
    return machine.setDisplayTransferByTable(display, static_cast<std::uint32_t>(red.size()),
                                             red.data(), green.data(),
                                             blue.data()) == platform::sim::kCGErrorSuccess;
}

platform::sim::SimRig rigOf(std::vector<SimDisplaySpec> displays) {
    platform::sim::SimRig rig;
    rig.name = "test";
    rig.displays = std::move(displays);
    return rig;
}

SimDisplaySpec simDisplay(DisplayID id, SimDDCPath path, std::uint32_t vendor, std::uint32_t model,
                          std::uint32_t serial) {
    SimDisplaySpec d;
    d.id = id;
    d.name = "Sim " + std::to_string(id);
    d.vendor = vendor;
    d.model = model;
    d.serial = serial;
    d.ddc = path;
    d.monitor.features = {
        {0x10, {50, 100}}, {0x12, {60, 100}}, {0x62, {20, 100}}, {0x60, {15, 18}}, {0xD6, {1, 5}}};
    return d;
}

platform::sim::SimDisplaySpec named(platform::sim::SimDisplaySpec d, std::string name) {
    d.name = name;
    d.screen.name = name;
    return d;
}

platform::sim::SimDisplaySpec builtInPanel(DisplayID id, float brightness) {
    platform::sim::SimDisplaySpec d;
    d.id = id;
    d.name = "Panel";
    d.builtIn = true;
    d.vendor = 0x610;
    d.panelBrightness = brightness;
    return d;
}

platform::sim::SimDisplaySpec airPlayDisplay(DisplayID id, std::string name) {
    auto d =
        named(simDisplay(id, platform::sim::SimDDCPath::none, 0x610, 0xa000 + id), std::move(name));
    d.inRegistry = false;
    return d;
}

SimFixture::SimFixture(platform::sim::SimRig rig)
    : machine_(std::make_unique<platform::sim::SimMachine>(rig, runtime_.clock())) {
    machine_->setMainExecutor(executor());
    machine_->setLog(log_);
}

SimFixture::~SimFixture() {
    // Whatever a test did, nothing it opened may stay open.
    i2c_.reset();
    av_.reset();
    executor().runUntilIdle();
    machine_->ddcBuses().forget();
    EXPECT_EQ(machine_->openConnections(), 0);
    EXPECT_EQ(machine_->liveAVServices(), 0);
    EXPECT_EQ(machine_->outstandingReferences(), 0);
    EXPECT_EQ(machine_->registry().overReleases(), 0);
}

void SimFixture::useRig(const platform::sim::SimRig& rig) {
    i2c_.reset();
    av_.reset();
    machine_ = std::make_unique<platform::sim::SimMachine>(rig, runtime_.clock());
    machine_->setMainExecutor(executor());
    machine_->setLog(log_);
}

std::shared_ptr<ddc::DDCManager> SimFixture::i2c() {
    if (!i2c_) i2c_ = ddc::DDCManager::create(runtime_, machine_->platform(), log_, "test.orvane");
    return i2c_;
}

std::shared_ptr<ddc::AVServiceDDC> SimFixture::av() {
    if (!av_) av_ = ddc::AVServiceDDC::create(runtime_, machine_->platform(), log_, "test.orvane");
    return av_;
}

std::shared_ptr<ddc::DDCDisplay> SimFixture::makeDisplay(DisplayID id) {
    return std::make_shared<ddc::DDCDisplay>(
        id, ddc::DDCTransports{{i2c(), av()}, runtime_.clock(), log_});
}

void SimFixture::addFault(DisplayID id, platform::sim::SimFaultKind kind,
                          std::optional<std::uint8_t> code, int times,
                          platform::sim::IOReturn status, int bytes) {
    platform::sim::SimFault f;
    f.kind = kind;
    f.code = code;
    f.times = times;
    f.status = status;
    f.bytes = bytes;
    machine_->addFault(id, f);
}

}  // namespace orvane::test
