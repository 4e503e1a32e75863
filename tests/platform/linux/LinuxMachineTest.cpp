// SPDX-License-Identifier: MIT
#include "platform/linux/LinuxMachine.h"
#include "platform/linux/NightLight.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "controls/SoftwareDimmer.h"
#include "ddc/DDCDisplay.h"
#include "ddc/DDCManager.h"
#include "displays/DisplayManager.h"
#include "displays/ResolutionManager.h"
#include "platform/sim/SimMonitor.h"
#include "runtime/Logger.h"
#include "runtime/ManualExecutor.h"
#include "runtime/Runtime.h"
#include "support/LinuxSession.h"
#include "support/SimFixture.h"
#include "support/SysfsTree.h"
#include "support/TempDirectory.h"

namespace orvane::platform::linux_ {
namespace {

using test::edidFile;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

/// A bus with a simulated monitor at 0x37 and an EDID at 0x50.
class SimBus final : public I2CBus {
  public:
    explicit SimBus(std::vector<std::uint8_t> edid = {}) : edid_(std::move(edid)) {
        monitor.setFeature(0x10, {40, 100});
        monitor.setFeature(0x12, {50, 100});
    }
    int write(std::uint8_t address, std::span<const std::uint8_t> bytes) override {
        writes.emplace_back(address, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        if (address == 0x50) return edid_.empty() ? ENXIO : 0;
        if (address != 0x37 || silent) return ENXIO;
        monitor.receive(bytes);
        return 0;
    }
    int read(std::uint8_t address, std::span<std::uint8_t> bytes) override {
        if (address == 0x50 && !edid_.empty()) {
            std::copy_n(edid_.begin(), std::min(bytes.size(), edid_.size()), bytes.begin());
            return 0;
        }
        if (address != 0x37 || silent) return ENXIO;
        auto reply = monitor.reply(bytes.size());
        std::copy(reply.begin(), reply.end(), bytes.begin());
        return 0;
    }
    /// Another process holds the bus for this many tries (-1: for ever).
    int lockedFor = 0;
    int locks = 0, unlocks = 0;
    int tryLock() override {
        if (lockedFor != 0) {
            if (lockedFor > 0) --lockedFor;
            return EWOULDBLOCK;
        }
        ++locks;
        return 0;
    }
    void unlock() override { ++unlocks; }
    platform::sim::SimMonitor monitor;
    std::vector<std::pair<std::uint8_t, std::vector<std::uint8_t>>> writes;
    bool silent = false;

  private:
    std::vector<std::uint8_t> edid_;
};

class LinuxMachineTest : public ::testing::Test {
  protected:
    LinuxMachineTest() : tree(dir.path()) {
        // No logind here: the backlight falls back to its file.
        setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/orvane-test", 1);
        tree.adapter(4, "0x030000");
        tree.adapter(6, "0x030000");
        tree.adapter(2, "0x0c0500", "0000:00:1f.4");  // SMBus, memory SPD at 0x50
        for (int bus : {2, 4, 6})
            tree.deviceNode(bus);
        tree.connector("card0-DP-1", true, edidFile("office-27.bin"), 4);
        tree.connector("card0-eDP-1", true, edidFile("no-descriptors.bin"));
        tree.connector("card0-HDMI-A-1", false, {});
        tree.connector("card1-HDMI-A-2", true, edidFile("tv-hdmi.bin"), std::nullopt, 9);
        buses[4] = std::make_shared<SimBus>();
        buses[6] = std::make_shared<SimBus>(edidFile("hostile-name.bin"));
        buses[2] = std::make_shared<SimBus>(edidFile("office-27.bin"));
    }
    LinuxMachine& machine() {
        if (!machine_) {
            machine_ = std::make_unique<LinuxMachine>(
                dir.path().string(),
                [this](int bus, int& error) -> std::unique_ptr<I2CBus> {
                    opened.insert(bus);
                    if (openError) {
                        error = openError;
                        return nullptr;
                    }
                    auto it = buses.find(bus);
                    if (it == buses.end()) {
                        error = ENOENT;
                        return nullptr;
                    }
                    return std::make_unique<Forward>(it->second);
                },
                runtime_.clock(), log_);
        }
        return *machine_;
    }
    std::vector<DisplayID> ids() {
        std::vector<DisplayID> v;
        for (const auto& d : machine().displays())
            v.push_back(d.id);
        return v;
    }

    /// The tests keep the bus; the machine owns a forwarder to it.
    struct Forward final : I2CBus {
        explicit Forward(std::shared_ptr<SimBus> b) : bus(std::move(b)) {}
        int write(std::uint8_t a, std::span<const std::uint8_t> s) override {
            return bus->write(a, s);
        }
        int read(std::uint8_t a, std::span<std::uint8_t> s) override { return bus->read(a, s); }
        int tryLock() override { return bus->tryLock(); }
        void unlock() override { bus->unlock(); }
        std::shared_ptr<SimBus> bus;
    };

    test::TempDirectory dir;
    test::SysfsTree tree;
    runtime::VirtualRuntime runtime_;
    runtime::CapturingLogger log_;
    std::map<int, std::shared_ptr<SimBus>> buses;
    std::set<int> opened;
    int openError = 0;
    std::unique_ptr<LinuxMachine> machine_;
};

TEST_F(LinuxMachineTest, ConnectedConnectorsAreTheDisplaysWithStableIDsAndTheirBuses) {
    // card<c>-<type>-<n> is c << 16 | type << 8 | n; bus 6's monitor has no connector.
    EXPECT_THAT(ids(), ElementsAre(0x0A01, 0x0E01, 0x10B02, 0xF00006));
    const auto displays = machine().displays();
    EXPECT_EQ(displays[0].bus, 4);
    EXPECT_FALSE(displays[1].bus);
    EXPECT_TRUE(displays[1].builtIn);
    EXPECT_EQ(displays[2].bus, 9);  // the DP AUX child
    EXPECT_EQ(displays[3].edid->name, "Bad???Name");
    // The connector as the desktop names it, for display= selectors.
    EXPECT_EQ(machine().connectorName(0x0A01), "DP-1");
    EXPECT_EQ(machine().connectorName(0x10B02), "HDMI-A-2");
    EXPECT_EQ(machine().connectorName(0xF00006), std::nullopt) << "seen only on a bus";
    // The SMBus adapter's 0x50 is memory, never a monitor: it is never opened.
    EXPECT_EQ(opened.count(2), 0u);

    auto& ws = static_cast<WindowServer&>(machine());
    EXPECT_EQ(ws.vendorNumber(0x0A01), 0x10ACu);
    EXPECT_EQ(ws.serialNumber(0x0A01), 0x4C4F4F42u);
    EXPECT_TRUE(ws.displayIsBuiltin(0x0E01));
}

TEST_F(LinuxMachineTest, DDCGoesToTheConnectorsBusByteForByte) {
    runtime::VirtualRuntime& rt = runtime_;
    const auto platform = machine().platform();
    auto i2c = ddc::DDCManager::create(rt, platform, log_, "test");
    EXPECT_EQ(test::runTask(rt.executor(), i2c->readVCP(0x0A01, ddc::VCPCode::brightness)),
              (ddc::VCPValue{40, 100}));
    test::runTask(rt.executor(), i2c->writeVCP(0x0A01, ddc::VCPCode::brightness, 60));
    EXPECT_EQ(buses[4]->monitor.feature(0x10)->current, 60);
    // (The bytes on the bus, through the real ioctl: the end-to-end Linux tests.)
    // The reply waited the 50 ms the standard asks for.
    EXPECT_GE(rt.executor().now(), std::chrono::milliseconds(50));

    // A silent monitor is a failed request, never a value, in the kernel's words.
    buses[4]->silent = true;
    EXPECT_THAT(test::errorOf(rt.executor(), i2c->readVCP(0x0A01, ddc::VCPCode::brightness)),
                ::testing::HasSubstr("I2C request returned error ENXIO (No such device or "
                                     "address)"));
    // The panel has no bus: no transport reaches it.
    EXPECT_FALSE(i2c->reaches(0x0E01));
}

TEST_F(LinuxMachineTest, ABusAnotherProgramHoldsIsWaitedForThenReportedBusy) {
    runtime::VirtualRuntime& rt = runtime_;
    const auto platform = machine().platform();
    auto i2c = ddc::DDCManager::create(rt, platform, log_, "test");
    // Held for a while: the request waits for it and then goes through whole.
    buses[4]->lockedFor = 20;
    EXPECT_EQ(test::runTask(rt.executor(), i2c->readVCP(0x0A01, ddc::VCPCode::brightness)),
              (ddc::VCPValue{40, 100}));
    EXPECT_GE(rt.executor().now(), std::chrono::milliseconds(200 + 50));
    EXPECT_EQ(buses[4]->locks, buses[4]->unlocks) << "every transaction lets go";
    // Held for ever: busy, in so many words, and not one byte went out meanwhile.
    const auto written = buses[4]->writes.size();
    buses[4]->lockedFor = -1;
    EXPECT_THAT(test::errorOf(rt.executor(), i2c->writeVCP(0x0A01, ddc::VCPCode::brightness, 70)),
                ::testing::HasSubstr("/dev/i2c-4 is held by another program"));
    EXPECT_EQ(buses[4]->writes.size(), written);
    EXPECT_EQ(buses[4]->monitor.feature(0x10)->current, 40);
    EXPECT_EQ(log_.countStartingWith("[Linux] /dev/i2c-4 is held by another program"), 1u);
    EXPECT_EQ(buses[4]->locks, buses[4]->unlocks);
}

TEST_F(LinuxMachineTest, EachMissingPermissionOrModuleIsSaidOnceWithItsRemedy) {
    auto& ddc = static_cast<DDCBuses&>(machine());
    openError = EACCES;
    const std::uint8_t message[] = {0x51, 0x82, 0x01, 0x10, 0xAC};
    const auto openFails = [&] {
        auto result = ddc.transfer(DDCLink::i2c, 0x0A01, message, {}, 11);
        auto* failure = std::get_if<DDCBusFailure>(&result);
        return failure && failure->step == DDCBusFailure::Step::open &&
               failure->error.code == std::errc::permission_denied;
    };
    EXPECT_TRUE(openFails());
    EXPECT_TRUE(openFails());
    const auto denied = log_.linesStartingWith("[Linux] Permission denied opening ");
    ASSERT_EQ(denied.size(), 1u);
    EXPECT_EQ(denied[0],
              "[Linux] Permission denied opening /dev/i2c-4: install the udev rule "
              "('sudo cmake --install' puts 60-orvane-i2c.rules in " ORVANE_TEST_PREFIX
              "/lib/udev/rules.d), run 'sudo udevadm control --reload && sudo udevadm "
              "trigger' and start Orvane again; or join the group that owns the "
              "device (often i2c)");
    // A bus that cannot be opened has no DDC/CI, and is not asked again.
    EXPECT_FALSE(ddc.reaches(DDCLink::i2c, 0x0A01));
    EXPECT_FALSE(ddc.reaches(DDCLink::i2c, 0x0A01));
    EXPECT_THAT(log_.lines(), Contains("[Linux] DELL U2720Q on DP-1: no DDC/CI - no access to "
                                       "/dev/i2c-4"));
    EXPECT_EQ(log_.countStartingWith("[Linux] DELL U2720Q on DP-1:"), 1u);

    // With the rule installed, the likelier causes instead.
    std::filesystem::create_directories(dir.path() / "etc/udev/rules.d");
    std::ofstream(dir.path() / "etc/udev/rules.d/60-orvane-i2c.rules") << "\n";
    openError = EPERM;
    ddc.transfer(DDCLink::i2c, 0x0A01, message, {}, 11);
    EXPECT_THAT(log_.lines(), Contains(::testing::HasSubstr(
                                  "although /etc/udev/rules.d/60-orvane-i2c.rules is installed: "
                                  "the rule opens the buses only to the user logged in at the "
                                  "seat (not over ssh or su)")));

    // Adapters without device nodes: the module is missing.
    test::TempDirectory other;
    test::SysfsTree bare(other.path() / "root");
    bare.adapter(3, "0x030000");
    bare.connector("card0-DP-2", true, edidFile("office-27.bin"), 3);
    runtime::CapturingLogger log;
    LinuxMachine m((other.path() / "root").string(),
                   [](int, int& e) -> std::unique_ptr<I2CBus> {
                       e = ENOENT;
                       return nullptr;
                   },
                   runtime_.clock(), log);
    EXPECT_THAT(log.lines(), ElementsAre("[Linux] I2C adapters exist but no /dev/i2c-* device: "
                                         "load the i2c-dev module (sudo modprobe i2c-dev; 'sudo "
                                         "cmake --install' keeps it loaded with orvane-i2c.conf "
                                         "in " ORVANE_TEST_PREFIX "/lib/modules-load.d)"));
    // The display says why it has no DDC/CI, in a word a user can act on.
    EXPECT_EQ(m.checkDDC(), 0u);
    EXPECT_THAT(log.lines(),
                Contains("[Linux] DELL U2720Q on DP-2: no DDC/CI - no i2c-dev module"));
}

TEST_F(LinuxMachineTest, ThePanelsBrightnessIsItsFirmwareBacklight) {
    tree.backlight("intel_backlight", "raw", 500, 1000);
    tree.backlight("acpi_video0", "firmware", 5, 10);
    auto& connectors = static_cast<DisplayConnectors&>(machine());
    EXPECT_FLOAT_EQ(connectors.panelBrightness().value_or(-1), 0.5f);
    EXPECT_EQ(connectors.setPanelBrightness(0.8f), std::nullopt);
    EXPECT_EQ(tree.read("sys/class/backlight/acpi_video0/brightness"), "8");
    EXPECT_EQ(tree.read("sys/class/backlight/intel_backlight/brightness"), "500");
}

TEST_F(LinuxMachineTest, ANightLightIsFoundByItsProcess) {
    EXPECT_EQ(activeNightLight(tree.root().string(), "sway"), "");
    tree.process(1, "systemd");
    tree.process(880, "gammastep-indic");
    EXPECT_EQ(activeNightLight(tree.root().string(), "sway"), "") << "its indicator sets nothing";
    tree.process(881, "gammastep");
    EXPECT_EQ(activeNightLight(tree.root().string(), "sway"), "gammastep");
}

struct Change {
    DisplayID display;
    DisplayChange change;
    bool operator==(const Change&) const = default;
};

TEST_F(LinuxMachineTest, ARescanReportsUnpluggedAndPluggedConnectors) {
    std::vector<Change> changes;
    auto& ws = static_cast<WindowServer&>(machine());
    auto watch = ws.watchDisplays([&](DisplayID d, DisplayChange c) { changes.push_back({d, c}); });
    machine().rescan();
    EXPECT_THAT(changes, IsEmpty());
    tree.setStatus("card0-DP-1", false);
    tree.connector("card0-HDMI-A-1", true, edidFile("tv-hdmi.bin"));
    machine().rescan();
    EXPECT_THAT(changes, ElementsAre(Change{0x0A01, DisplayChange::removed},
                                     Change{0x0B01, DisplayChange::added}));
    watch.reset();
    tree.setStatus("card0-DP-1", true);
    machine().rescan();
    EXPECT_EQ(changes.size(), 2u) << "no one is told once the watch has ended";
}

TEST_F(LinuxMachineTest, WithoutADisplayServerTheConnectorsModesAreReadOnly) {
    tree.modes("card0-DP-1", "3840x2160\n1920x1080\n1920x1080i\nbogus\n");
    machine().rescan();
    auto& ws = static_cast<WindowServer&>(machine());
    const auto modes = ws.displayModes(0x0A01, false);
    ASSERT_TRUE(modes);
    ASSERT_EQ(modes->size(), 3u);
    EXPECT_EQ((*modes)[0].width, 3840u);
    // The server would know the current mode; without one, the monitor's own
    // preferred mode is what it shows.
    const auto mode = ws.currentMode(0x0A01);
    ASSERT_TRUE(mode);
    EXPECT_EQ(mode->width, 3840u);
    EXPECT_EQ(mode->height, 2160u);
    // An EDID without a preferred mode: the first the kernel lists.
    tree.modes("card0-eDP-1", "1366x768\n1024x768\n");
    machine().rescan();
    ASSERT_TRUE(ws.currentMode(0x0E01));
    EXPECT_EQ(ws.currentMode(0x0E01)->width, 1366u);
    displays::ResolutionManager resolutions(ws, log_);
    EXPECT_FALSE(resolutions.setMode(0x0A01, 1920, 1080, false, 0));
    EXPECT_THAT(log_.lines(),
                Contains("[Linux] Display modes are read only: switching them needs a desktop "
                         "session, and none is running"));
    // Said in the session's words, not in another platform's status codes.
    EXPECT_THAT(log_.lines(),
                Contains("[ResolutionManager] The mode switch failed: switching modes needs a "
                         "desktop session, and none is running"));
}

}  // namespace
}  // namespace orvane::platform::linux_

namespace orvane::platform::linux_ {
namespace {

/// A display server whose CRTC keeps a ramp of a size Xvfb has not (1024),
/// holding a curve that resampling would bend.
class LargeRampServer final : public DisplayConfig {
  public:
    explicit LargeRampServer(std::vector<std::uint8_t> edid) {
        output_.name = "DP-1";
        output_.crtc = 1;
        output_.edid = std::move(edid);
        for (auto* ramp : {&red, &green, &blue}) {
            ramp->resize(1024);
            for (std::size_t i = 0; i < ramp->size(); ++i)
                (*ramp)[i] = std::round(float(std::pow(double(i) / 1023.0, 2.2)) * 65535) / 65535;
        }
    }
    std::vector<SessionOutput> outputs() override { return {output_}; }
    bool setMode(const SessionOutput&, std::int32_t) override { return false; }
    int gammaSize(const SessionOutput&) override { return int(red.size()); }
    bool getGamma(const SessionOutput&, std::vector<float>& r, std::vector<float>& g,
                  std::vector<float>& b) override {
        r = red, g = green, b = blue;
        return true;
    }
    bool setGamma(const SessionOutput&, const std::vector<float>& r, const std::vector<float>& g,
                  const std::vector<float>& b) override {
        if (r.size() != red.size()) return false;
        red = r, green = g, blue = b;
        return true;
    }
    void startEvents() override {}
    std::vector<float> red, green, blue;

  private:
    SessionOutput output_;
};

TEST(LinuxGamma, ADimmingGivesACrtcOfAnySizeExactlyItsOwnRampBack) {
    test::TempDirectory dir;
    test::SysfsTree tree(dir.path());
    tree.connector("card0-DP-1", true, edidFile("office-27.bin"), 4);
    runtime::ManualExecutor clock;
    runtime::CapturingLogger log;
    DesktopSession session;
    auto server = std::make_unique<LargeRampServer>(edidFile("office-27.bin"));
    auto* ramps = server.get();
    const auto original = ramps->green;
    session.displayConfig = std::move(server);
    auto machine = test::sessionMachine(tree, clock, log, std::move(session));
    const DisplayID office = 0x0A01;
    test::NoScreens toolkit;
    controls::SoftwareDimmer dimmer(office, *machine, toolkit, log, machine->platform().texts);
    dimmer.method = controls::SoftwareDimmer::Method::gamma;
    ASSERT_TRUE(dimmer.applyLevel(0.5));
    EXPECT_FLOAT_EQ(ramps->green[700], original[700] * 0.5f) << "dimmed from the CRTC's own ramp";
    ASSERT_TRUE(dimmer.applyLevel(0));
    EXPECT_EQ(ramps->green, original) << "not an interpolation of it";
}

}  // namespace
}  // namespace orvane::platform::linux_
