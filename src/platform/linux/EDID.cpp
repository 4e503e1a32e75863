// SPDX-License-Identifier: MIT
#include "platform/linux/EDID.h"

#include <array>
#include <numeric>

namespace orvane::platform::linux_ {

namespace {
constexpr std::array<std::uint8_t, 8> kHeader{0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
constexpr std::size_t kDescriptors = 54;
constexpr std::size_t kDescriptorSize = 18;

std::string descriptorText(std::span<const std::uint8_t> d) {
    std::string text;
    for (std::size_t i = 5; i < kDescriptorSize; ++i) {
        const std::uint8_t c = d[i];
        if (c == 0x0A) break;
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}
}  // namespace

std::optional<EDID> EDID::parse(std::span<const std::uint8_t> data) {
    if (data.size() < kBlockSize) return std::nullopt;
    const auto b = data.first(kBlockSize);
    if (!std::equal(kHeader.begin(), kHeader.end(), b.begin())) return std::nullopt;
    if (std::accumulate(b.begin(), b.end(), 0u) % 256 != 0) return std::nullopt;

    EDID e;
    e.vendorNumber = static_cast<std::uint16_t>(b[8] << 8 | b[9]);
    for (int shift : {10, 5, 0}) {
        const int letter = (e.vendorNumber >> shift) & 0x1F;
        e.vendor += (letter >= 1 && letter <= 26) ? static_cast<char>('A' + letter - 1) : '?';
    }
    e.productCode = static_cast<std::uint16_t>(b[10] | b[11] << 8);
    e.serialNumber = static_cast<std::uint32_t>(b[12]) | static_cast<std::uint32_t>(b[13]) << 8 |
                     static_cast<std::uint32_t>(b[14]) << 16 |
                     static_cast<std::uint32_t>(b[15]) << 24;
    e.week = b[16];
    e.year = b[17] == 0 ? 0 : 1990 + b[17];

    for (std::size_t at = kDescriptors; at + kDescriptorSize <= 126; at += kDescriptorSize) {
        const auto d = b.subspan(at, kDescriptorSize);
        const unsigned clock = d[0] | d[1] << 8;  // in 10 kHz
        if (clock != 0) {
            if (e.preferredMode) continue;
            const unsigned h = d[2] | (d[4] & 0xF0) << 4, hBlank = d[3] | (d[4] & 0x0F) << 8;
            const unsigned v = d[5] | (d[7] & 0xF0) << 4, vBlank = d[6] | (d[7] & 0x0F) << 8;
            if (h == 0 || v == 0) continue;
            const double total = static_cast<double>(h + hBlank) * (v + vBlank);
            e.preferredMode = Mode{h, v, clock * 10000.0 / total};
            continue;
        }
        if (d[3] == 0xFC) e.name = descriptorText(d);
        if (d[3] == 0xFF) e.serialText = descriptorText(d);
    }
    return e;
}

}  // namespace orvane::platform::linux_
