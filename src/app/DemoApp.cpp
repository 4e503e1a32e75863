// SPDX-License-Identifier: MIT
#include "app/DemoApp.h"

#include <memory>

#include "ddc/AVServiceDDC.h"
#include "ddc/DDCDisplay.h"
#include "ddc/DDCManager.h"

namespace orvane::app {

runtime::Task<void> runDemo(runtime::Runtime& runtime, platform::sim::SimMachine& machine,
                            runtime::Logger& log) {
    const platform::Platform platform = machine.platform();
    auto i2c = ddc::DDCManager::create(runtime, platform, log, kBundleIdentifier);
    auto av = ddc::AVServiceDDC::create(runtime, platform, log, kBundleIdentifier);

    for (DisplayID id : machine.displayIDs()) {
        if (machine.isBuiltIn(id)) continue;
        auto display = std::make_shared<ddc::DDCDisplay>(
            id, ddc::DDCTransports{i2c, av, platform.framebufferI2C, runtime.clock(), log});
        co_await display->probeCapabilities();
        log.line("[Demo] Display " + std::to_string(id) + ": transport " +
                 ddc::rawValue(display->transportType()) + ", " +
                 std::to_string(display->supportedCodes().size()) + " of 5 features answer");
    }
    i2c->clearCache();
}

}  // namespace orvane::app
