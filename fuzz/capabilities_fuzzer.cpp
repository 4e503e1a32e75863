// SPDX-License-Identifier: MIT
// A capabilities string as a monitor answers it: anything a broken or
// hostile monitor sends, up to the length Orvane reads.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "InputBudget.h"
#include "ddc/Capabilities.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orvane::fuzz::withinBudget([&] {
        const std::string_view text(reinterpret_cast<const char*>(data), size);
        const auto caps = orvane::ddc::parseCapabilities(text);
        if (!caps) return;
        // Each code once, and never more values than the string has bytes.
        for (std::size_t i = 0; i < caps->features.size(); ++i) {
            if (caps->features[i].values.size() > size / 2) __builtin_trap();
            for (std::size_t j = 0; j < i; ++j)
                if (caps->features[j].code == caps->features[i].code) __builtin_trap();
        }
    });
    return 0;
}
