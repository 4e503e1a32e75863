// SPDX-License-Identifier: MIT
// Rig files: a user's --rig argument, parsed into a simulated machine.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "InputBudget.h"
#include "platform/sim/SimRig.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orvane::fuzz::withinBudget([&] {
        try {
            const auto rig = orvane::platform::sim::SimRig::parse(
                std::string_view(reinterpret_cast<const char*>(data), size));
            // What parses is within the limits the machine relies on.
            for (const auto& d : rig.displays) {
                for (const auto& f : d.monitor.faults) {
                    if (f.bytes > orvane::platform::sim::kMaxSimFaultBytes) __builtin_trap();
                }
            }
        } catch (const std::runtime_error&) {
            // Refused, with the reason: what a bad file must get.
        }
    });
    return 0;
}
