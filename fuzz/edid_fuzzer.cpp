// SPDX-License-Identifier: MIT
// EDID bytes from a connector: anything a broken or hostile monitor sends.
#include <cstddef>
#include <cstdint>
#include <span>

#include "InputBudget.h"
#include "platform/linux/EDID.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orvane::fuzz::withinBudget([&] {
        const auto edid = orvane::platform::linux_::EDID::parse(std::span(data, size));
        if (edid && size < orvane::platform::linux_::EDID::kBlockSize) __builtin_trap();
    });
    return 0;
}
